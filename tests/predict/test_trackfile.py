"""The track file as written: layout, angles, window, reach test, atomic write."""
import os
import tempfile
import unittest
from datetime import datetime, timezone
from unittest import mock

from trackpredict import trackfile
from trackpredict.settings import ConsoleSettings, single
from trackpredict.trackfile import (MAX_POINTS, MAX_UPLOAD, Point, TrackText, choose_window,
                                    pending_end, read_angle, to_minutes, write_whole)


def _read(path):
    with open(path) as f:
        return f.read()


class Angles(unittest.TestCase):
    def test_degrees_and_minutes(self):
        cases = [  # azimuth, elevation -> az deg, az min, el deg, el min
            ((10.5, 45.25), (10, 30, 45, 15)),
            ((359.999, 0.0), (0, 0, 0, 0)),       # 360 deg 00' is written 0 deg 00'
            ((359.99, 1.0), (359, 59, 1, 0)),
            ((0.0083, 89.9999), (0, 0, 90, 0)),   # 0.5' rounds up
            ((5.0, -0.5), (5, 0, -1, 30)),        # the console reads -1 30 as -0.5
            ((5.0, -0.004), (5, 0, 0, 0)),
            ((5.0, -12.76), (5, 0, -13, 14)),
            ((5.0, -1.0), (5, 0, -1, 0)),
        ]
        for (az, el), expected in cases:
            with self.subTest(az=az, el=el):
                written = to_minutes(az, el)
                self.assertEqual(written, expected)
                self.assertAlmostEqual(read_angle(written[2], written[3]) * 57.29577951308232, el, delta=1 / 120 + 1e-9)


class Layout(unittest.TestCase):
    def render(self, points):
        return TrackText("ISS (ZARYA)", datetime(2026, 1, 2, 3, 4, 5, tzinfo=timezone.utc), 12345,
                         ("a", "b", "c"), points).render()

    def test_header_columns_and_last_line(self):
        lines = self.render([Point(7, 5, -1, 30), Point(123, 45, 80, 0)]).split("\n")
        self.assertEqual(lines[:6], ["Satellite: ISS (ZARYA)", "Start date & time: 2026-01-02 03:04:05 UTC",
                                     "Orbit: 12345", "a", "b", "c"])
        self.assertEqual(len(lines), 9)
        self.assertEqual(lines[-1], "")  # the empty line that ends the point list
        # The console reads fixed columns: 11-13, 15-16, 20-22, 24-25.
        for line, expected in ((lines[6], ("  7", "05", " -1", "30")), (lines[7], ("123", "45", " 80", "00"))):
            self.assertEqual((line[11:14], line[15:17], line[20:23], line[24:26]), expected)
        self.assertTrue(lines[7].startswith("03:04:06"))
        # Start line: year 2 after the first ':', hour 9 before "UTC".
        l2 = lines[1]
        self.assertEqual(l2[l2.index(":") + 2:][:4], "2026")
        self.assertEqual(l2[l2.index("UTC") - 9:][:2], "03")


class Window(unittest.TestCase):
    def test_centred_on_the_reachable_part(self):
        flags = [False] * 3000
        for i in range(1500, 1550):
            flags[i] = True
        first, last = choose_window(flags, len(flags))
        self.assertEqual(last - first + 1, MAX_POINTS)
        self.assertLessEqual(abs((first + last) - (1500 + 1549)), 1)

    def test_cut_to_the_upload_limit(self):
        flags = [False] * 100 + [True] * 700 + [False] * 100
        first, last = choose_window(flags, len(flags))
        self.assertEqual(sum(flags[first:last + 1]), MAX_UPLOAD)
        self.assertEqual((first - 100, 800 - last - 1), (102, 102))

    def test_near_the_edges_and_nothing_reachable(self):
        self.assertIsNone(choose_window([False] * 10, 10))
        flags = [True] * 3 + [False] * 2000
        self.assertEqual(choose_window(flags, len(flags)), (0, MAX_POINTS - 1))


class Reach(unittest.TestCase):
    def test_like_the_console(self):
        # Radius 500.9 reaches 500 mm only; korr in single precision.
        s = ConsoleSettings("/x/Track.txt", single(1400.0), single(500.9), single(1.0))
        import math
        at_500 = math.atan(1400.0 / 500.0)
        at_500_5 = math.atan(1400.0 / 500.5)
        self.assertTrue(s.reachable(at_500 + 1e-9))
        self.assertFalse(s.reachable(at_500_5))
        self.assertFalse(s.reachable(0.0))
        self.assertFalse(s.reachable(-1.4))  # below the horizon: negative radius
        self.assertTrue(s.reachable(read_angle(90, 0)))


class Writing(unittest.TestCase):
    def test_whole_or_not_at_all(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "Track.txt")
            write_whole(path, "old\n")
            with mock.patch.object(trackfile.os, "replace", side_effect=OSError(28, "No space left")):
                with self.assertRaises(OSError):
                    write_whole(path, "new\n")
            self.assertEqual(_read(path), "old\n")
            self.assertEqual(os.listdir(d), ["Track.txt"])  # no temporary left
            write_whole(path, "new\n")
            self.assertEqual(_read(path), "new\n")

    def test_pending_end_of_a_file_still_there(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "Track.txt")
            self.assertIsNone(pending_end(path))
            text = TrackText("S", datetime(2026, 1, 2, 3, 4, 5, tzinfo=timezone.utc), 1, ("", "", ""),
                             [Point(0, 0, 10, 0)] * 20).render()
            write_whole(path, text)
            self.assertEqual(pending_end(path), datetime(2026, 1, 2, 3, 4, 24, tzinfo=timezone.utc))


if __name__ == "__main__":
    unittest.main()
