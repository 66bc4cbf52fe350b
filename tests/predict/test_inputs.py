"""Element formats, the station's settings and bad input: one line naming the
file and line, exit code 2, no track file."""
import contextlib
import io
import json
import os
import shutil
import tempfile
import unittest

from trackpredict import cli
from trackpredict.elements import ElementStore, parse_elements

HERE = os.path.dirname(os.path.abspath(__file__))
TLE = open(os.path.join(HERE, "..", "data", "predict", "overhead.tle")).read()
NOW = "2026-12-08 00:00:00"
INI = ("Tuvarn_ini_file\nStationName\nT\nTrackPath\ntrack/Track.txt\nFocus\n1400\nRadius\n500\nPort\n3\n"
       "TimeCorr\ndisable\nMaxDeviation\n40\nDeviationStep\n4\nDeviationPorog\n0.2\nDemodulator\nenable\n"
       "Feedback\ndisable\nScanModeRL\ndisable\nScanModeFB\ndisable\nkorr\n1.0\n")
PREDICT = ("Latitude 59.9375\nLongitude 30.3086\nHeight 10\nElements el.tle\nSatellite 90001 1 5\n"
           "Satellite 90002 2 5\n")

OMM = {"OBJECT_NAME": "TESTSAT", "OBJECT_ID": "2026-001A", "EPOCH": "2026-12-07T12:00:00.000000",
       "MEAN_MOTION": "15.21936487", "ECCENTRICITY": "0.0001", "INCLINATION": "97.5",
       "RA_OF_ASC_NODE": "165.2562", "ARG_OF_PERICENTER": "0", "MEAN_ANOMALY": "236.2728",
       "EPHEMERIS_TYPE": "0", "CLASSIFICATION_TYPE": "U", "NORAD_CAT_ID": "90001",
       "ELEMENT_SET_NO": "999", "REV_AT_EPOCH": "12345", "BSTAR": "0", "MEAN_MOTION_DOT": "0",
       "MEAN_MOTION_DDOT": "0"}


class Station:
    def __init__(self, ini=INI, predict=PREDICT, elements=TLE):
        self.dir = tempfile.mkdtemp()
        os.mkdir(os.path.join(self.dir, "track"))
        for name, text in (("tuvarn.ini", ini), ("predict.ini", predict), ("el.tle", elements)):
            if text is not None:
                with open(os.path.join(self.dir, name), "w") as f:
                    f.write(text)

    def run(self, *args):
        out, err = io.StringIO(), io.StringIO()
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            code = cli.main(["--station", self.dir, "--now", NOW, *args])
        return code, out.getvalue(), err.getvalue()

    def track_files(self):
        return os.listdir(os.path.join(self.dir, "track"))

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class Formats(unittest.TestCase):
    def test_omm_forms_give_the_tle_orbit(self):
        tle = parse_elements(TLE, "t")[0]
        csv_text = ",".join(OMM) + "\n" + ",".join(OMM.values()) + "\n"
        xml_text = ("<ndm><omm><body><segment><metadata>" + "".join(
            f"<{k}>{OMM[k]}</{k}>" for k in ("OBJECT_NAME", "OBJECT_ID")) + "</metadata><data><meanElements>"
            + "".join(f"<{k}>{OMM[k]}</{k}>" for k in ("EPOCH", "MEAN_MOTION", "ECCENTRICITY", "INCLINATION",
                                                         "RA_OF_ASC_NODE", "ARG_OF_PERICENTER", "MEAN_ANOMALY"))
            + "</meanElements><tleParameters>" + "".join(
                f"<{k}>{OMM[k]}</{k}>" for k in ("EPHEMERIS_TYPE", "CLASSIFICATION_TYPE", "NORAD_CAT_ID",
                                                 "ELEMENT_SET_NO", "REV_AT_EPOCH", "BSTAR", "MEAN_MOTION_DOT",
                                                 "MEAN_MOTION_DDOT"))
            + "</tleParameters></data></segment></body></omm></ndm>")
        json_text = json.dumps([dict(OMM, MEAN_MOTION=15.21936487, EPOCH="2026-12-07T12:00:00")])
        for form, text in (("csv", csv_text), ("xml", xml_text), ("json", json_text)):
            with self.subTest(form=form):
                s = parse_elements(text, "omm")[0]
                self.assertEqual((s.catalog, s.name, s.epoch), (90001, "TESTSAT", tle.epoch))
                _, r1, _ = s.satrec.sgp4(2461383.0, 0.25)
                _, r2, _ = tle.satrec.sgp4(2461383.0, 0.25)
                self.assertLess(max(abs(a - b) for a, b in zip(r1, r2)), 1.0)  # km

    def test_names_and_folders(self):
        lines = TLE.split("\n")
        self.assertEqual(parse_elements("\n".join(lines[1:3]), "t")[0].display_name, "NORAD 90001")
        self.assertEqual(parse_elements("0 " + "\n".join(lines[:3]), "t")[0].display_name, "TESTSAT")
        with tempfile.TemporaryDirectory() as d:
            with open(os.path.join(d, "a.tle"), "w") as f:
                f.write("\n".join(lines[:3]) + "\n")
            store = ElementStore(d)
            self.assertTrue(store.refresh())
            self.assertFalse(store.refresh())
            self.assertEqual(sorted(store.sets), [90001])
            with open(os.path.join(d, "b.tle"), "w") as f:
                f.write("\n".join(lines[3:6]) + "\n")
            self.assertTrue(store.refresh())  # a new file is read
            self.assertEqual(sorted(store.sets), [90001, 90002])


class BadInput(unittest.TestCase):
    def check(self, station, fragment, *args):
        try:
            code, _, err = station.run(*(args or ("--once",)))
            self.assertEqual(code, 2, err)
            self.assertEqual(err.count("\n"), 1, err)
            self.assertIn(fragment, err)
            self.assertEqual(station.track_files(), [])
        finally:
            station.close()

    def test_cases(self):
        lines = TLE.split("\n")
        broken = TLE.replace(" 97.5000 165", " 97.6000 165")
        cases = [
            (Station(elements=broken), "el.tle line 3: checksum"),
            (Station(elements="\n".join(lines[:2]) + "\n"), "el.tle line 3: not a TLE line 2"),
            (Station(elements="[{\"NORAD_CAT_ID\": 1}]"), "el.tle line 1: EPOCH missing"),
            (Station(predict=PREDICT + "Satellite 99999 2 5\n"), "predict.ini line 7: satellite 99999 not in the elements"),
            (Station(predict=PREDICT.replace("Height 10", "Height ten")), "predict.ini line 3: Height wants a number"),
            (Station(predict=PREDICT + "Colour blue\n"), "predict.ini line 7: unknown setting \"Colour\""),
            (Station(ini=None), "tuvarn.ini: cannot be read"),
            (Station(ini=INI.replace("korr\n1.0\n", "")), "tuvarn.ini: key korr missing"),
            (Station(ini=INI.replace("track/Track.txt", "nowhere/Track.txt")), "TrackPath folder"),
        ]
        for station, fragment in cases:
            with self.subTest(fragment=fragment):
                self.check(station, fragment)

    def test_list_names_the_bad_line_too(self):
        self.check(Station(predict=PREDICT + "Satellite 99999 2 5\n"), "predict.ini line 7", "--list")


class Planning(unittest.TestCase):
    def test_once_writes_and_lists(self):
        station = Station()
        try:
            code, out, err = station.run("--list")
            self.assertEqual(code, 0, err)
            self.assertRegex(out, r"TESTSAT +2026-12-08 02:5\d:\d\d +[\d.]+ +03:00:\d\d +8\d\.\d .* 4\d +in 2 h 5\d min +chosen")
            code, out, err = station.run("--once")
            self.assertEqual(code, 0, err)
            self.assertEqual(station.track_files(), ["Track.txt"])
            # The pass is not over: a second run leaves the file alone.
            track = os.path.join(station.dir, "track", "Track.txt")
            with open(track) as f:
                written = f.read()
            code, _, err = station.run("--once")
            self.assertEqual(code, 3)
            self.assertIn("holds a pass until", err)
            # Taken by the console (renamed beside it): the next pass must not overlap it.
            os.rename(track, os.path.join(station.dir, "track", "TESTSAT(12355)_081226_000000.txt"))
            code, out, err = station.run("--once")
            self.assertEqual(code, 0, err)
            with open(track) as f:
                self.assertNotEqual(f.read(), written)
            self.assertIn("written: OTHER", out)
        finally:
            station.close()

    def test_running_program_writes_at_the_lead_time(self):
        from datetime import datetime, timedelta, timezone
        from types import SimpleNamespace
        station = Station()
        clock = SimpleNamespace(now=datetime(2026, 12, 8, tzinfo=timezone.utc))
        waits = []
        stop = SimpleNamespace(wait=waits.append, is_set=lambda: False)
        log = cli.Log(os.path.join(station.dir, "predict.log"), io.StringIO())
        runner = cli.Runner(cli.Station(station.dir), lambda: clock.now, 24, log, stop)
        try:
            runner.step()
            self.assertRegex(log.out.getvalue(), r"next: TESTSAT, first reachable 2026-12-08 03:00:\d\d UTC, "
                                                 r"4\d s; written at 2026-12-08 02:50:\d\d UTC")
            self.assertEqual(waits, [60])  # wakes to look again, well before the write
            first = runner.chosen[0].upload_first
            clock.now = first - timedelta(seconds=601)
            runner.step()
            self.assertEqual(station.track_files(), [])
            clock.now = first - timedelta(seconds=600)
            runner.step()
            self.assertEqual(station.track_files(), ["Track.txt"])
            self.assertIn("written: TESTSAT (orbit ", log.out.getvalue())
            # Taken by the console: still nothing new until the pass is over.
            os.rename(os.path.join(station.dir, "track", "Track.txt"), os.path.join(station.dir, "track", "taken"))
            clock.now = first + timedelta(seconds=30)
            runner.step()
            self.assertIn("waiting: the pass written last is not over until", log.out.getvalue().splitlines()[-1])
            self.assertEqual(station.track_files(), ["taken"])
        finally:
            station.close()

    def test_stale_elements(self):
        station = Station()
        try:
            _, out, _ = station.run("--list")
            self.assertNotIn("warning", out)
        finally:
            station.close()
        for now, expected, code in (("2026-12-11 00:00:00", "3.5 days old", None),
                                    ("2026-12-23 00:00:00", "15.5 days old: not planned", 3)):
            station = Station()
            try:
                out, err = io.StringIO(), io.StringIO()
                with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
                    listed = cli.main(["--station", station.dir, "--now", now, "--list"])
                    once = cli.main(["--station", station.dir, "--now", now, "--once"])
                self.assertEqual(listed, 0)
                self.assertIn(f"warning: elements of TESTSAT (90001) are {expected}", out.getvalue())
                if code is not None:
                    self.assertEqual(once, code, err.getvalue())
                    self.assertIn("not planned", out.getvalue())
                    self.assertEqual(station.track_files(), [])
            finally:
                station.close()


if __name__ == "__main__":
    unittest.main()
