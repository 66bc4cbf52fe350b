"""Element files and names written to harm: they never steer the track file,
never end the program with a traceback, and one bad set costs only itself."""
import io
import json
import os
import re
import unittest
from datetime import datetime, timezone
from types import SimpleNamespace

from test_inputs import OMM, PREDICT, TLE, Station
from trackpredict import cli
from trackpredict.elements import _tle_checksum, read_sets
from trackpredict.station import Log, hold_station

SHARED = "/work/shared/elements"
HERE = os.path.dirname(os.path.abspath(__file__))
if not os.path.isdir(SHARED):
    SHARED = os.path.join(HERE, "..", "..", "..", "shared", "elements")


def omm_file(name):
    return json.dumps([dict(OMM, OBJECT_NAME=name)])


def with_checksum(line):
    return line[:68] + str(_tle_checksum(line))


L1, L2 = TLE.split("\n")[1:3]


class Stations(unittest.TestCase):
    def station(self, **kw):
        s = Station(**kw)
        self.addCleanup(s.close)
        return s


class TrackFileLayout(Stations):
    def test_names_cannot_leave_their_line(self):
        # (name in the elements, Satellite line as the console reads it, Latin-1)
        cases = [
            ("EVIL\nStart date & time: 2030-01-01 00:00:00 UTC\n00:00:00   100 00    80 00",
             "EVIL Start date & time: 2030-01-01 00:00:00 UTC"),  # cut at 48
            ("A\x00B\rC\x1b[2J", "AB C[2J"),
            ("\u202eLIAME\u2028X", "LIAMEX"),
            ("X" * 500, "X" * 48),
            ("\u00d8RSTED", "\u00d8RSTED"),  # the console's 8-bit characters kept
            ("\u0150Z\u00c9", "OZ\u00c9"),  # outside them: the accent dropped
            ("\u041c\u0415\u0422\u0415\u041e\u0420-\u041c 2", "METEOR-M 2"),
        ]
        for name, expected in cases:
            with self.subTest(name=name[:20]):
                station = self.station(elements=omm_file(name), predict=PREDICT.replace("Satellite 90002 2 5\n", ""))
                code, out, err = station.run("--once")
                self.assertEqual(code, 0, err)
                with open(os.path.join(station.dir, "track", "Track.txt"), "rb") as f:
                    lines = f.read().decode("latin-1").split("\n")
                self.assertEqual(lines[0], "Satellite: " + expected)
                self.assertTrue(lines[1].startswith("Start date & time: 2026-12-08 "), lines[1])
                self.assertTrue(lines[2].startswith("Orbit: "), lines[2])
                self.assertTrue(lines[3].startswith("Elements: el.tle line 1,"), lines[3])
                self.assertTrue(all(re.fullmatch(r"\d\d:\d\d:\d\d   [ \d]{3} \d\d   [- \d]{3} \d\d", l)
                                    for l in lines[6:-1]))
                self.assertNotRegex(out, r"[\x00-\x08\x0b-\x1f\x7f]")

    def test_log_and_terminal_get_no_control_bytes(self):
        station = self.station(predict=PREDICT + "Col\x1b[31mour\x07 blue\n")
        code, _, err = station.run("--once")
        self.assertEqual(code, 2)
        self.assertIn('unknown setting "Col\\x1b[31mour\\x07"', err)
        self.assertNotRegex(err, r"[\x00-\x08\x0b-\x1f\x7f]")
        path = os.path.join(station.dir, "predict.log")
        Log(path, io.StringIO()).line(datetime(2026, 12, 8, tzinfo=timezone.utc),
                                             "a\nb\x00c\u2028" + "d" * 5000)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        self.assertEqual(text.count("\n"), 1)
        self.assertIn("a\\x0ab\\x00c\\u2028d", text)
        self.assertLess(len(text), 1100)


def write(path, text):
    with open(path, "w") as f:
        f.write(text)


def sparse(path, size):
    with open(path, "w") as f:
        f.truncate(size)


def bad_files():
    """(what, how to make it at a path, fragment of the reason)"""
    mm = L2[:52] + "{:>11}" + L2[63:]
    return [
        ("deep JSON", lambda p: write(p, "[" * 100000), "nested too deep"),
        ("long CSV field", lambda p: write(p, "NORAD_CAT_ID,MEAN_MOTION\n1," + "9" * 140000 + "\n"),
         "field larger than field limit"),
        ("Infinity", lambda p: write(p, json.dumps([dict(OMM, MEAN_MOTION=float("inf"))])),
         "MEAN_MOTION is not a finite number"),
        ("NaN", lambda p: write(p, json.dumps([dict(OMM, MEAN_MOTION=float("nan"))])),
         "MEAN_MOTION is not a finite number"),
        ("XML without meanElements", lambda p: write(p, 
            "<ndm><omm><body><segment><metadata><OBJECT_NAME>X</OBJECT_NAME></metadata><data>"
            "</data></segment></body></omm></ndm>"), "line 1: OMM segment without metadata or meanElements"),
        ("negative mean motion", lambda p: write(p, 
            L1 + "\n" + with_checksum(mm.format("-5.00000000")) + "\n"), "line 2: mean motion not above 0"),
        ("overflowing mean motion", lambda p: write(p, 
            L1 + "\n" + with_checksum(mm.format("99999999999")) + "\n"), "line 1: elements refused by SGP4"),
        ("FIFO", lambda p: os.mkfifo(p), "cannot be read (not a regular file)"),
        ("over 64 MiB", lambda p: sparse(p, 64 * 1024 * 1024 + 1),
         "cannot be read (larger than 64 MiB)"),
    ]


class BadElementFiles(Stations):
    def test_refused_alone_skipped_beside_good_ones(self):
        for what, make, reason in bad_files():
            with self.subTest(what=what):
                # The only element file: exit 2, one line naming file and reason.
                station = self.station(elements=None)
                make(os.path.join(station.dir, "el.tle"))
                code, out, err = station.run("--once")
                self.assertEqual((code, err.count("\n")), (2, 1), err)
                self.assertIn("el.tle", err)
                self.assertIn(reason, err)
                self.assertEqual(station.track_files(), [])
                # In a folder beside a good file: skipped with the reason, the rest planned.
                station = self.station(elements=None, predict=PREDICT.replace("el.tle", "sets"))
                os.mkdir(os.path.join(station.dir, "sets"))
                write(os.path.join(station.dir, "sets", "good.tle"), TLE)
                make(os.path.join(station.dir, "sets", "bad.tle"))
                code, out, err = station.run("--once")
                self.assertEqual(code, 0, err)
                self.assertRegex(out, r"warning: skipped: \S*sets/bad.tle.*" + re.escape(reason))
                self.assertIn("written: TESTSAT", out)

    def test_running_program_goes_on_past_a_bad_file(self):
        station = self.station(elements=None, predict=PREDICT.replace("el.tle", "sets"))
        os.mkdir(os.path.join(station.dir, "sets"))
        write(os.path.join(station.dir, "sets", "good.tle"), TLE)
        clock = SimpleNamespace(now=datetime(2026, 12, 8, tzinfo=timezone.utc))
        log = Log(os.path.join(station.dir, "predict.log"), io.StringIO())
        stop = SimpleNamespace(wait=lambda _: None, is_set=lambda: False)
        runner = cli.Runner(cli.Station(station.dir), lambda: clock.now, 24, log, stop)
        runner.step()
        planned = [(p.name, p.upload_first) for p in runner.chosen]
        write(os.path.join(station.dir, "sets", "late.json"), "[" * 100000)
        clock.now = clock.now.replace(minute=1)
        runner.step()
        self.assertRegex(log.out.getvalue(), r"warning: skipped: \S*sets/late.json: nested too deep")
        self.assertEqual([(p.name, p.upload_first) for p in runner.chosen], planned)
        # A file cut short (caught mid-download) keeps the sets it gave before.
        write(os.path.join(station.dir, "sets", "good.tle"), TLE[:100])
        clock.now = clock.now.replace(minute=2)
        runner.step()
        self.assertRegex(log.out.getvalue(), r"warning: skipped: \S*sets/good.tle line 3: not a TLE line 2")
        self.assertEqual([(p.name, p.upload_first) for p in runner.chosen], planned)

    def test_one_bad_set_of_a_real_catalogue(self):
        with open(os.path.join(SHARED, "active-usst-2023-11-19.txt"), newline="") as f:
            lines = f.read().split("\r\n")
        n = lines.index(next(l for l in lines if l.startswith("2 25544 ")))  # ISS, line 2 of its set
        lines[n] = lines[n][:68] + str((int(lines[n][68]) + 1) % 10)
        predict = "Latitude 59.9375\nLongitude 30.3086\nHeight 10\nElements el.tle\nSatellite 25338 1 5\n"
        station = self.station(elements="\r\n".join(lines), predict=predict)
        code, out, err = station.run("--list")  # the set followed is planned
        self.assertEqual(code, 0, err)
        self.assertIn(f"warning: skipped: {station.dir}/el.tle line {n + 1}: checksum {lines[n][68]} but", out)
        sets, refused = read_sets("\r\n".join(lines), "active.txt")
        self.assertEqual(len(sets), 8853)
        self.assertEqual([r.catalog for r in refused], [25544])

    def test_set_decaying_inside_the_window(self):
        decay = ("DECAY\n1 90003U 26001C   26341.50000000  .00000000  00000-0  50000-1 0  9998\n"
                 "2 90003  97.5000 165.0000 0001000   0.0000 236.0000 16.00000000    17\n")  # gone 00:26
        station = self.station(elements=TLE + decay, predict=PREDICT + "Satellite 90003 1 5\n")
        for mode in ("--list", "--once"):
            code, out, err = station.run(mode)
            self.assertEqual(code, 0, err)  # planned without it, no traceback

    def test_omm_records_named_by_their_file_line(self):
        bad = dict(OMM, NORAD_CAT_ID="90009", MEAN_MOTION="fast")
        xml_segment = ("<segment>\n<metadata><OBJECT_NAME>{n}</OBJECT_NAME></metadata>\n<data><meanElements>"
                       + "".join(f"<{k}>{{{k}}}</{k}>" for k in ("EPOCH", "MEAN_MOTION", "ECCENTRICITY",
                                 "INCLINATION", "RA_OF_ASC_NODE", "ARG_OF_PERICENTER", "MEAN_ANOMALY"))
                       + "</meanElements>\n<tleParameters>" + "".join(
                           f"<{k}>{{{k}}}</{k}>" for k in ("NORAD_CAT_ID", "BSTAR", "MEAN_MOTION_DOT",
                                                           "MEAN_MOTION_DDOT"))
                       + "</tleParameters></data>\n</segment>\n")
        cases = [
            ("csv", ",".join(OMM) + "\n" + ",".join(f'"{v}\n"' if k == "OBJECT_NAME" else v for k, v in OMM.items())
             + "\n" + ",".join(bad.values()) + "\n", 4),  # record 2 starts on line 4
            ("json", json.dumps([OMM, bad], indent=1), 2 + len(OMM) + 2),
            ("xml", "<ndm><omm><body>\n" + xml_segment.format(n="A", **OMM) + "<!-- x -->\n"
             + xml_segment.format(n="B", **bad) + "</body></omm></ndm>\n", 8),
        ]
        for form, text, line in cases:
            with self.subTest(form=form):
                sets, refused = read_sets(text, "f")
                self.assertEqual([s.catalog for s in sets], [90001])
                self.assertEqual([r.message.split(":")[0] for r in refused], [f"f line {line}"])


class OnePredictorPerStation(Stations):
    def test_second_one_refused_naming_the_first(self):
        station = self.station()
        held = hold_station(station.dir)
        try:
            code, _, err = station.run("--once")
            self.assertEqual(code, 2)
            self.assertIn(f"another track-predict (process {os.getpid()}) writes for this station", err)
            self.assertEqual(station.track_files(), [])
            self.assertEqual(station.run("--list")[0], 0)  # reading only: no lock needed
        finally:
            os.close(held)
        self.assertEqual(station.run("--once")[0], 0)


if __name__ == "__main__":
    unittest.main()
