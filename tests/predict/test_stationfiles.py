"""tuvarn.ini read as the console reads it and refused where it refuses it;
predict.ini's own rules; what the program says about itself."""
import contextlib
import io
import math
import unittest

from test_hostile import Stations
from test_inputs import INI, PREDICT
from trackpredict import cli
from trackpredict.settings import console_float, console_int


class ConsoleNumbers(Stations):
    def test_read_as_the_console_reads_them(self):
        # (value line, float, int) as the console's Qt reading gives them
        cases = [
            ("500", 500.0, 500), (" \t500 ", 500.0, 500), ("\xa0500\u2003", 500.0, 500),
            ("500\x1f", 0.0, 0), ("\x1f500", 0.0, 0), ("500\x85", 500.0, 500),
            ("\uff15\uff10\uff10", 0.0, 0), ("\u0663", 0.0, 0),  # fullwidth, Arabic-Indic digits
            ("\u2212500", -500.0, -500), ("+5", 5.0, 5), ("1,000", 0.0, 0), ("0x10", 0.0, 0),
            ("1e5", 100000.0, 0), ("1E5", 100000.0, 0), ("1e", 0.0, 0), ("5.", 5.0, 0), (".5", 0.5, 0),
            ("nan", math.nan, 0), ("NaN", math.nan, 0), ("-nan", 0.0, 0), ("INF", math.inf, 0),
            ("-inf", -math.inf, 0), ("infinity", 0.0, 0), ("1e39", 0.0, 0), ("1e-50", 0.0, 0),
            ("2147483648", 2147483648.0, 0), ("-2147483648", -2147483648.0, -2147483648), ("", 0.0, 0),
        ]
        for text, number, whole in cases:
            with self.subTest(text=text):
                got = console_float(text)
                self.assertTrue(got == number or (math.isnan(got) and math.isnan(number)), got)
                self.assertEqual(console_int(text), whole)

    def test_refused_with_the_consoles_reason(self):
        cases = [
            ("Radius\n500\n", "Radius\n-500\n", "line 9: Radius -500 not from 0 to 1e+07; the console refuses it "
                                               "(\"ini file error in 1 string.\")"),
            ("Radius\n500\n", "Radius\nnan\n", "line 9: Radius nan not from 0"),
            ("korr\n1.0\n", "korr\n-1\n", "line 29: korr -1 not from 0 to 100"),
            ("Focus\n1400\n", "Focus\n1e8\n", "line 7: Focus 1e+08 not from 0"),
            ("Port\n3\n", "Port\n\uff13\n", "line 11: Port not 1 to 50; the console refuses it"),
            ("DeviationPorog\n0.2\n", "DeviationPorog\n-inf\n", "line 19: DeviationPorog -inf not from -1000"),
            ("korr\n1.0\n", "", "key korr missing; the console refuses it (\"ini file error in 3 string.\")"),
            ("StationName", "Station", "line 2: \"StationName\" missing; the console refuses it "
                                       "(\"ini file error in 2 string.\")"),
            ("track/Track.txt", "nowhere/Track.txt", "TrackPath folder"),  # checked when writing
            # Taken by the console, but nothing can be planned with it.
            ("Focus\n1400\n", "Focus\n0\n", "line 7: Focus is 0 (or not a number): no pass can be planned"),
            ("Radius\n500\n", "Radius\n500\x1f\n", "line 9: Radius is 0 (or not a number)"),
        ]
        for old, new, fragment in cases:
            with self.subTest(new=new):
                station = self.station(ini=INI.replace(old, new))
                code, _, err = station.run("--once")
                self.assertEqual((code, err.count("\n")), (2, 1), err)
                self.assertIn("tuvarn.ini" + (" " if fragment.startswith("line") else ": ") + fragment, err)
                if "TrackPath" in fragment:
                    self.assertIn("does not exist; the console refuses it (\"bad track path\")", err)


class PredictSettings(Stations):
    def test_rules(self):
        cases = [
            (PREDICT.replace("Height 10", "Height\t \t10"), 0, ""),
            (PREDICT + "MaxAgeDays 14\nWarnAgeDays 20\n", 2, "predict.ini line 8: WarnAgeDays 20 is above MaxAgeDays 14"),
            (PREDICT + "WarnAgeDays 20\n", 2, "predict.ini line 7: WarnAgeDays 20 is above MaxAgeDays 14"),
            (PREDICT.replace("Height 10", "Height \uff11\uff10"), 2, "predict.ini line 3: Height wants a number"),
            (PREDICT.replace("90002 2 5", "90002 \u0663 5"), 2, "predict.ini line 6: priority wants a whole number"),
        ]
        for text, code, fragment in cases:
            with self.subTest(text=text[-30:]):
                station = self.station(predict=text)
                got, _, err = station.run("--list")
                self.assertEqual(got, code, err)
                self.assertIn(fragment, err)


class AboutItself(unittest.TestCase):
    def test_version_and_help(self):
        for argument, expected in (("--version", "track-predict 9.87\n"), ("--help", "DIR/predict.ini")):
            with self.subTest(argument=argument):
                out = io.StringIO()
                with contextlib.redirect_stdout(out), self.assertRaises(SystemExit) as end:
                    cli.main([argument], version="9.87")
                self.assertEqual(end.exception.code, 0)
                self.assertIn(expected, out.getvalue())
        self.assertIn("DIR/tuvarn.ini", out.getvalue())


if __name__ == "__main__":
    unittest.main()
