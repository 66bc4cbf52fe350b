"""Choosing among passes and when to write: overlaps, lead time, limits of the
console, stale elements, a previous pass not over."""
import os
import tempfile
import unittest
from datetime import datetime, timedelta, timezone
from types import SimpleNamespace

from trackpredict import schedule
from trackpredict.passes import Pass
from trackpredict.schedule import Limits, choose, console_takes, write_time
from trackpredict.settings import Followed

NOW = datetime(2026, 12, 8, 0, 0, 0, tzinfo=timezone.utc)


def make_pass(name, start_min, seconds, priority=1, minimum=5, age=0.5):
    element = SimpleNamespace(display_name=name, age_days=lambda now: age)
    first = NOW + timedelta(minutes=start_min)
    p = Pass(element, Followed(1, priority, minimum, 1), first - timedelta(minutes=5), first, 80.0)
    if seconds:
        p.reach_first = p.upload_first = first
        p.upload_last = first + timedelta(seconds=seconds - 1)
        p.reach_seconds = p.upload_seconds = seconds
    return p


def limits(**kw):
    return Limits(NOW, kw.pop("travel", 60), kw.pop("max_age", 14.0), **kw)


class Choosing(unittest.TestCase):
    def decisions(self, passes, **kw):
        chosen = choose(passes, limits(**kw))
        return [p.name for p in chosen], {p.name: p.decision for p in passes}

    def test_overlaps(self):
        cases = [
            # (passes, chosen): priority first, then reachable seconds, then the earlier start
            ([make_pass("A", 60, 40, priority=2), make_pass("B", 60.5, 20, priority=1)], ["B"]),
            ([make_pass("A", 60, 40), make_pass("B", 60.5, 50)], ["B"]),
            ([make_pass("A", 60, 40), make_pass("B", 60.5, 40)], ["A"]),
            # The antenna travels to the start first: 30 s after A's finish is too close.
            ([make_pass("A", 60, 40), make_pass("B", 61.2, 40)], ["A"]),
            ([make_pass("A", 60, 40), make_pass("B", 62.5, 40)], ["A", "B"]),
            ([make_pass("A", 60, 40), make_pass("B", 61.2, 40)], ["A", "B"], {"travel": 10}),
        ]
        for case in cases:
            passes, expected = case[0], case[1]
            kw = case[2] if len(case) > 2 else {}
            with self.subTest(expected=expected, kw=kw):
                chosen, why = self.decisions(passes, **kw)
                self.assertEqual(chosen, expected)
                for p in passes:
                    if p.name not in expected:
                        self.assertTrue(why[p.name].startswith("overlaps "), why)

    def test_refusals(self):
        passes = [make_pass("low", 60, 0), make_pass("short", 70, 4, minimum=5),
                  make_pass("stale", 80, 40, age=14.5), make_pass("soon", 0.4, 40),
                  make_pass("ok", 90, 40)]
        chosen, why = self.decisions(passes)
        self.assertEqual(chosen, ["ok"])
        self.assertEqual(why["low"], "not reachable")
        self.assertEqual(why["short"], "under 5 s")
        self.assertEqual(why["stale"], "elements 14.5 days old")
        self.assertEqual(why["soon"], "too late")

    def test_previous_pass_not_over(self):
        passes = [make_pass("A", 10, 40), make_pass("B", 30, 40)]
        chosen, why = self.decisions(passes, busy_until=NOW + timedelta(minutes=10))
        self.assertEqual(chosen, ["B"])
        self.assertEqual(why["A"], "previous pass not over")


class Timing(unittest.TestCase):
    def test_lead_time(self):
        p = make_pass("A", 60, 40)
        self.assertEqual(write_time(p, 600), p.upload_first - timedelta(seconds=600))
        # Never earlier than the console takes a pass.
        self.assertEqual(write_time(p, 100000), p.upload_first - timedelta(seconds=86400))

    def test_console_window(self):
        p = make_pass("A", 0, 40)
        cases = [(-60, "too late"), (29, "too late"), (30, None), (86400, None), (86401, "too far ahead")]
        for ahead, expected in cases:
            with self.subTest(ahead=ahead):
                self.assertEqual(console_takes(p, p.upload_first - timedelta(seconds=ahead)), expected)


class RunnerWaits(unittest.TestCase):
    """The running program does not replace a track file whose pass is not over."""

    def test_pending_file_blocks_writing(self):
        from trackpredict import cli
        from trackpredict.trackfile import Point, TrackText, write_whole
        with tempfile.TemporaryDirectory() as d:
            track = os.path.join(d, "Track.txt")
            write_whole(track, TrackText("OLD", NOW + timedelta(seconds=100), 1, ("", "", ""),
                                         [Point(0, 0, 80, 0)] * 50).render())
            with open(track) as f:
                before = f.read()
            station = SimpleNamespace(load=lambda: False, track_path=track)
            log = SimpleNamespace(lines=[])
            log.once = lambda now, m: log.lines.append(m)
            stop = SimpleNamespace(waits=[])
            stop.wait = lambda s: stop.waits.append(s)
            runner = cli.Runner(station, lambda: NOW, 24, log, stop)
            runner.step()
            self.assertEqual(len(log.lines), 1)
            self.assertIn("holds a pass until 2026-12-08 00:02:29", log.lines[0])
            self.assertEqual(stop.waits, [60])
            with open(track) as f:
                self.assertEqual(f.read(), before)


if __name__ == "__main__":
    unittest.main()
