"""track-predict: pass predictions from orbital elements, written as track
files at the console's TrackPath."""

from __future__ import annotations

import argparse
import json
import os
import signal
import sys
import threading
import time
from datetime import datetime, timedelta, timezone
from typing import Callable, List, Optional

from .passes import Pass
from .schedule import Limits, MIN_AHEAD, busy, choose, console_takes, pass_key, write_time
from .demo import overhead_tle
from .settings import InputError, read_predict_settings
from .safetext import printable
from .station import Log, PassError, Station, hold_station, parse_now, utc_text
from .trackfile import pending_end, taken_until

EXIT_OK = 0
EXIT_BAD_INPUT = 2
EXIT_NO_PASS = 3

RETRY_SECONDS = 60  # after bad input or a failed write
REPLAN_SECONDS = 600


def _arguments(argv: Optional[List[str]], version: str) -> argparse.Namespace:
    p = argparse.ArgumentParser(
        prog="track-predict",
        description="Finds the passes of the satellites named in predict.ini that the "
                    "feed arm can reach and writes one track file at a time at the "
                    "console's TrackPath, ahead of each chosen pass. Settings: DIR/predict.ini "
                    "(position, Elements, Satellite lines; see man track-predict) and the console's "
                    "DIR/tuvarn.ini (TrackPath, Focus, Radius, korr).",
        epilog="Without --list or --once it runs until stopped (SIGINT/SIGTERM), logging "
               "one line per decision to standard output and predict.log. One track-predict "
               "writes for a station folder at a time. Exit codes: "
               "0 done, 2 bad input, 3 no pass chosen within the window.")
    p.add_argument("--version", action="version", version=f"track-predict {version}")
    mode = p.add_mutually_exclusive_group()
    mode.add_argument("--list", action="store_true", help="print the coming passes of the window and exit")
    mode.add_argument("--once", action="store_true", help="write the next chosen pass and exit")
    mode.add_argument("--demo-satellite", type=float, metavar="S",
                      help="print a made-up element set (TLE) whose satellite flies straight over the "
                           "station S seconds from now, under the first Satellite line's number, and exit")
    p.add_argument("--all", action="store_true",
                   help="with --list: every pass above the horizon, not only those the feed arm reaches")
    p.add_argument("--json", action="store_true", help="with --list: the same table as JSON")
    p.add_argument("--jobs", type=int, default=1, metavar="N",
                   help="share the search between N processes (default 1: about twice the memory "
                        "for about half the time on otherwise idle cores)")
    p.add_argument("--station", default=".", metavar="DIR",
                   help="station folder with tuvarn.ini and predict.ini (default: the current folder)")
    p.add_argument("--hours", type=float, default=24.0, metavar="H",
                   help="search window ahead, hours (default 24)")
    p.add_argument("--now", metavar="\"YYYY-MM-DD hh:mm:ss\"",
                   help="plan as if the UTC time were this (the clock is never set)")
    p.add_argument("--elements", metavar="PATH",
                   help="element file or folder instead of the Elements of predict.ini")
    args = p.parse_args(argv)
    if not 1 <= args.jobs <= 64:
        p.error("--jobs wants a whole number from 1 to 64")
    if not 0 < args.hours <= 24 * 14:
        p.error("--hours wants a number above 0 and at most 336")
    if args.now is not None:
        try:
            parse_now(args.now)
        except ValueError:
            p.error(f"--now wants \"YYYY-MM-DD hh:mm:ss\", not \"{printable(args.now)}\"")
    return args


def _clock(now_text: Optional[str]) -> Callable[[], datetime]:
    """The UTC time; with --now, that time going on from the moment of start."""
    if now_text is None:
        return lambda: datetime.now(timezone.utc)
    base = parse_now(now_text)
    began = time.monotonic()
    return lambda: base + timedelta(seconds=time.monotonic() - began)


def _plan(station: Station, now: datetime, hours: float, busy_until=None, strict=True, every=False,
          kept=None):
    targets, missing = station.targets()
    if missing and strict:
        raise InputError(missing[0])
    assert station.predict is not None
    passes = station.find(targets, now, hours, every)
    limits = Limits(now, station.predict.travel, station.predict.max_age_days, busy_until, kept=kept or {})
    chosen = choose(passes, limits)
    return targets, missing, passes, chosen


def _cell(t: Optional[datetime]) -> str:
    return utc_text(t) if t is not None else "-"


def _clock_of(t: Optional[datetime], day: datetime) -> str:
    """hh:mm:ss, with the days after `day` counted when there are any."""
    if t is None:
        return "-"
    later = (t.date() - day.date()).days
    return f"{t:%H:%M:%S}" + (f" +{later}d" if later else "")


def starts_in(p: Pass, now: datetime) -> str:
    """Time until the pass rises: "in 2 h 05 min", "in 7 min", "up now"."""
    seconds = int((p.rise - now).total_seconds())
    if seconds <= 0:
        return "up now"
    minutes = (seconds + 59) // 60
    if minutes < 60:
        return f"in {minutes} min"
    return f"in {minutes // 60} h {minutes % 60:02d} min"


def _decision(p: Pass) -> str:
    text = p.decision
    if p.upload_seconds and p.upload_seconds < p.reach_seconds:
        text += f"; uploads {p.upload_seconds} s from {p.upload_first:%H:%M:%S}"
    return "; ".join([text] + p.notes)


def _duration(p: Pass) -> str:
    if p.set is None:
        return "-"
    s = int((p.set - p.rise).total_seconds()) + 1
    return f"{s // 60}:{s % 60:02d}"


def print_table(passes: List[Pass], out, now: Optional[datetime] = None) -> None:
    now = now or (passes[0].rise if passes else datetime.now(timezone.utc))
    print(f"{'Satellite':<24} {'Rise (UTC)':<19} {'Az':>5}  {'Culm.':<11} {'El':>4} {'Az':>5}  "
          f"{'Set':<11} {'Az':>5}  {'Length':>6}  {'Reach':>5}  {'Starts':<14} Decision", file=out)
    print(f"{'':<24} {'':<19} {'deg':>5}  {'':<11} {'deg':>4} {'deg':>5}  {'':<11} {'deg':>5}  "
          f"{'min:s':>6}  {'s':>5}", file=out)
    for p in passes:
        print(f"{p.name[:24]:<24} {_cell(p.rise):<19} {p.rise_az:5.1f}  {_clock_of(p.culmination, p.rise):<11} "
              f"{p.culmination_el:4.1f} {p.culmination_az:5.1f}  {_clock_of(p.set, p.rise):<11} {p.set_az:5.1f}  "
              f"{_duration(p):>6}  {p.reach_seconds:5d}  {starts_in(p, now):<14} {_decision(p)}", file=out)


def _json_pass(p: Pass, now: datetime) -> dict:
    at = lambda t: utc_text(t) if t is not None else None
    return {"satellite": p.name, "catalog": p.element.catalog,
            "rise": at(p.rise), "rise_az_deg": round(p.rise_az, 2),
            "culmination": at(p.culmination), "culmination_el_deg": round(p.culmination_el, 3),
            "culmination_az_deg": round(p.culmination_az, 2),
            "set": at(p.set), "set_az_deg": round(p.set_az, 2),
            "duration_s": int((p.set - p.rise).total_seconds()) + 1 if p.set else None,
            "reach_s": p.reach_seconds, "first_reachable": at(p.reach_first),
            "upload_first": at(p.upload_first), "upload_last": at(p.upload_last),
            "upload_s": p.upload_seconds, "starts_in_s": int((p.rise - now).total_seconds()),
            "decision": p.decision, "notes": p.notes}


def list_passes(station: Station, now: datetime, hours: float, out=None, every=False, as_json=False) -> int:
    out = out or sys.stdout
    station.load()
    targets, _, passes, _ = _plan(station, now, hours, every=every)
    assert station.console is not None
    lowest = station.console.lowest_reachable_elevation() + 0.1
    warnings = station.refusals() + station.age_warnings(targets, now) + station.problems()
    shown = passes if every else [p for p in passes if p.reach_seconds > 0]
    if as_json:
        json.dump({"from": utc_text(now), "hours": hours, "reachable_from_deg": round(lowest, 1),
                   "warnings": warnings, "passes": [_json_pass(p, now) for p in shown]}, out, indent=1)
        print(file=out)
        return EXIT_OK
    print(f"Passes from {utc_text(now)} UTC for {hours:g} h; reachable from "
          f"{lowest:.1f} deg elevation", file=out)
    for w in warnings:
        print(f"warning: {printable(w)}", file=out)
    print_table(shown, out, now)
    if not every:
        print("(passes that do not reach the feed arm are left out; --all lists them)", file=out)
    return EXIT_OK


def print_demo_satellite(station: Station, now: datetime, seconds: float, out=None) -> int:
    if not 0 <= seconds <= 86400:
        raise InputError("--demo-satellite wants seconds from 0 to 86400")
    predict = read_predict_settings(station.folder)
    first = predict.satellites[0]
    print(overhead_tle(predict.latitude, predict.longitude, now + timedelta(seconds=seconds),
                       first.catalog, name="DEMOSAT"), end="", file=out or sys.stdout)
    return EXIT_OK


def _written_line(p: Pass, orbit: int, path: str) -> str:
    return (f"written: {p.name} (orbit {orbit}), first reachable {utc_text(p.upload_first)} UTC, "
            f"{p.upload_seconds} s, to {path}")


def once(station: Station, now: datetime, hours: float, log: Log) -> int:
    station.load()
    station.check_track_folder()
    pending = pending_end(station.track_path)
    if pending is not None and pending >= now:
        print(f"track-predict: {station.track_path} holds a pass until {utc_text(pending)} UTC",
              file=sys.stderr)
        return EXIT_NO_PASS
    # Taken by the console but not over: the next pass comes after it.
    taken = taken_until(station.track_path, now)
    targets, _, passes, chosen = _plan(station, now, hours, taken[0] if taken else None)
    for w in station.refusals() + station.age_warnings(targets, now) + station.problems():
        log.line(now, f"warning: {w}")
    for p in chosen:
        why = console_takes(p, now)
        if why is None:
            try:
                text = _write(station, p, now)
            except PassError as e:
                log.line(now, f"skipped: {e}")
                continue
            log.line(now, _written_line(p, text.orbit, station.track_path))
            return EXIT_OK
        p.decision = why
        log.line(now, f"not written: {p.name} at {utc_text(p.upload_first)} UTC, {why}")
    print(f"track-predict: no pass chosen within {hours:g} h", file=sys.stderr)
    return EXIT_NO_PASS


def _write(station: Station, p: Pass, now: datetime):
    try:
        return station.write(p, now)
    except OSError as e:
        raise InputError(f"{station.track_path}: cannot be written ({e.strerror})") from None


class Runner:
    """The running program: pass after pass, for as long as it runs."""

    def __init__(self, station: Station, clock: Callable[[], datetime], hours: float, log: Log,
                 stop: threading.Event) -> None:
        self.station = station
        self.clock = clock
        self.hours = hours
        self.log = log
        self.stop = stop
        self.written_end: Optional[datetime] = None  # busy end of the pass written last
        self.chosen: Optional[List[Pass]] = None
        self.planned_at: Optional[datetime] = None
        self.problems: set = set()
        self.failed: set = set()  # passes (catalogue, rise) that could not be written
        self.kept: dict = {}  # upload slices of the passes chosen, kept while their elements stay
        self._last_passes: list = []

    def wait(self, seconds: float) -> None:
        self.stop.wait(max(0.05, min(seconds, RETRY_SECONDS)))

    def step(self) -> None:
        """One decision; returns after waiting for the next."""
        now = self.clock()
        try:
            if self.station.load():
                self.chosen = None
                self.kept = {}
        except InputError as e:
            self.log.once(now, f"error: {e}")
            self.wait(RETRY_SECONDS)
            return
        if self.written_end is not None and now < self.written_end:
            self.log.once(now, f"waiting: the pass written last is not over until {utc_text(self.written_end)} UTC")
            self.wait((self.written_end - now).total_seconds())
            return
        pending = pending_end(self.station.track_path)
        if pending is not None and now < pending:
            self.log.once(now, f"waiting: {self.station.track_path} holds a pass until {utc_text(pending)} UTC")
            self.wait((pending - now).total_seconds())
            return
        taken = taken_until(self.station.track_path, now)
        if taken is not None:
            self.log.once(now, f"waiting: the pass of {taken[1]} is not over until {utc_text(taken[0])} UTC")
            self.wait((taken[0] - now).total_seconds())
            return
        if (self.chosen is None or self.planned_at is None
                or ((now - self.planned_at).total_seconds() > REPLAN_SECONDS and not self._due(now))):
            self._replan(now)
        assert self.chosen is not None and self.station.predict is not None
        for p in [p for p in self.chosen if p.upload_first < now + timedelta(seconds=MIN_AHEAD)]:
            self.log.line(now, f"not written: {p.name} at {utc_text(p.upload_first)} UTC, too late")
            self.chosen.remove(p)
        if not self.chosen:
            self.log.once(now, f"no pass chosen within {self.hours:g} h")
            self.wait(RETRY_SECONDS)
            return
        nxt = self.chosen[0]
        at = write_time(nxt, self.station.predict.lead)
        if now < at:
            self.log.once(now, f"next: {nxt.name}, first reachable {utc_text(nxt.upload_first)} UTC, "
                               f"{nxt.upload_seconds} s; written at {utc_text(at)} UTC")
            self.wait((at - now).total_seconds())
            return
        why = console_takes(nxt, now)
        if why is not None:
            self.log.line(now, f"not written: {nxt.name} at {utc_text(nxt.upload_first)} UTC, {why}")
            self.chosen.remove(nxt)
            return
        try:
            self.station.check_track_folder()
            text = _write(self.station, nxt, now)
        except PassError as e:
            self.log.line(now, f"skipped: {e}")
            self.failed.add((nxt.element.catalog, nxt.rise))
            self.chosen = None
            return
        except InputError as e:
            self.log.once(now, f"error: {e}")
            self.wait(RETRY_SECONDS)
            return
        self.log.line(now, _written_line(nxt, text.orbit, self.station.track_path))
        self.written_end = busy(nxt, 0)[1]
        self.chosen.remove(nxt)

    def _due(self, now: datetime) -> bool:
        """A chosen pass is to be written now: no new plan in between."""
        assert self.station.predict is not None
        return bool(self.chosen) and write_time(self.chosen[0], self.station.predict.lead) <= now

    def _replan(self, now: datetime) -> None:
        targets, missing, passes, chosen = _plan(self.station, now, self.hours, self.written_end, strict=False,
                                            kept=self.kept)
        # A problem is logged when it appears, not again at every plan (an
        # age warning counts as the same while its satellite stays stale).
        problems = {m: f"error: {m}" for m in missing}
        problems.update({r: f"warning: {r}" for r in self.station.refusals()})
        for w in self.station.age_warnings(targets, now):
            problems[w.split(" are ", 1)[0] + (" stale" if "not planned" in w else "")] = f"warning: {w}"
        for w in self.station.problems():
            problems[w.split(" fail from ", 1)[0] + " fail"] = f"warning: {w}"
        for key, message in problems.items():
            if key not in self.problems:
                self.log.line(now, message)
        self.problems = set(problems)
        chosen = [p for p in chosen if (p.element.catalog, p.rise) not in self.failed]
        # A pass chosen before and not chosen now is said so, with the reason.
        if self.chosen:
            now_chosen = {(pass_key(p), p.upload_first) for p in chosen}
            for p in self.chosen:
                if (pass_key(p), p.upload_first) not in now_chosen:
                    self.log.line(now, f"dropped: {p.name} at {utc_text(p.upload_first)} UTC, "
                                       f"{self._reason(p, self._last_passes)}")
        self.kept = {}
        for p in chosen:
            self.kept.setdefault(pass_key(p), []).append((p.upload_first, p.upload_last))
        self._last_passes = passes
        self.chosen = chosen
        self.planned_at = now

    @staticmethod
    def _reason(p: Pass, passes) -> str:
        same = [q for q in passes or [] if pass_key(q) == pass_key(p) and q.reach_first is not None
                and q.reach_first <= p.upload_first <= q.reach_first + timedelta(seconds=q.reach_seconds)]
        return same[0].decision if same else "no longer found"

    def run(self) -> int:
        while not self.stop.is_set():
            self.step()
        return EXIT_OK


def main(argv: Optional[List[str]] = None, version: str = "(from the source tree)") -> int:
    args = _arguments(argv, version)
    clock = _clock(args.now)
    station = Station(args.station, args.elements)
    held = None
    station.jobs = args.jobs
    try:
        if args.demo_satellite is not None:
            return print_demo_satellite(station, clock(), args.demo_satellite)
        if args.list:
            return list_passes(station, clock(), args.hours, every=args.all, as_json=args.json)
        log = Log(os.path.join(station.folder, "predict.log"))
        held = hold_station(station.folder)
        if args.once:
            return once(station, clock(), args.hours, log)
        return _run(station, clock, args.hours, log)
    except InputError as e:
        print(f"track-predict: {printable(str(e))}", file=sys.stderr)
        return EXIT_BAD_INPUT
    except BrokenPipeError:
        # The reader of --list went away (| head): not an error of ours.
        sys.stderr.close()
        return EXIT_OK
    finally:
        if held is not None:
            os.close(held)


def _run(station: Station, clock: Callable[[], datetime], hours: float, log: Log) -> int:
    stop = threading.Event()
    for s in (signal.SIGINT, signal.SIGTERM):
        signal.signal(s, lambda *_: stop.set())
    log.line(clock(), f"started in {station.folder}")
    code = Runner(station, clock, hours, log, stop).run()
    log.line(clock(), "stopped")
    return code
