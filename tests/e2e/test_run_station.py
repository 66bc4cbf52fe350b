#!/usr/bin/python3
"""scripts/run-station.sh as an operator runs it: Ctrl+C ends the console
first (its log ends with "The end"), a stand-in that fails stops the script
with its error, and no free display number is an error, not a shell abort."""
import argparse
import os
import shlex
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SCRIPT = os.path.join(ROOT, "scripts", "run-station.sh")
BIN = None


def wait_for(predicate, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.1)
    return predicate()


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return b""


class RunStation(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory(prefix="run-station-")
        self.station = os.path.join(self.tmp.name, "station")
        self.env = dict(os.environ, TUVARN_BIN=BIN, TUVARN_STATION=self.station)
        self.env.pop("DISPLAY", None)
        self.env.pop("TUVARN_PORT_DIR", None)
        self.proc = None

    def tearDown(self):
        if self.proc and self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGTERM)
            self.proc.wait(30)
        self.tmp.cleanup()

    def start(self, prefix=()):
        # A session of its own, as a terminal gives it; Ctrl+C reaches the
        # whole foreground group.
        self.proc = subprocess.Popen(list(prefix) + [SCRIPT], env=self.env, start_new_session=True,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def test_ctrl_c_ends_the_console_first(self):
        self.start()
        log = os.path.join(self.station, "tuvarn.log")
        self.assertTrue(wait_for(lambda: b"port opened ok" in read(log), 60), read(log))
        os.killpg(self.proc.pid, signal.SIGINT)
        out, err = self.proc.communicate(timeout=30)
        self.assertEqual(self.proc.returncode, 130, err)
        self.assertTrue(read(log).endswith(b"  The end\r\n"), read(log)[-300:])
        # The stand-in ended in order (it removes its port link), and so did
        # the virtual display (it removes its lock).
        self.assertEqual(os.listdir(os.path.join(self.station, "ports")), [])
        display = out.decode().split("virtual display :")[1].split(".")[0]
        self.assertFalse(os.path.exists("/tmp/.X%s-lock" % display))

    def test_failing_stand_in_stops_the_script(self):
        with socket.socket() as busy:
            busy.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            busy.bind(("127.0.0.1", 6002))
            busy.listen()
            self.start()
            out, err = self.proc.communicate(timeout=30)
        self.assertNotEqual(self.proc.returncode, 0)
        self.assertIn(b"station-sim:", err)  # its own reason
        self.assertIn(b"station-sim failed", err)
        self.assertFalse(os.path.exists(os.path.join(self.station, "tuvarn.log")))  # no console

    def test_no_free_display_number(self):
        if os.geteuid() != 0:
            self.skipTest("needs a private /tmp (root)")
        # Root in a chroot or a container may still be denied a mount namespace.
        probe = subprocess.run(["unshare", "-m", "true"], capture_output=True, text=True)
        if probe.returncode != 0:
            self.skipTest("needs a mount namespace: " + (probe.stderr.strip() or "unshare -m failed"))
        locks = " ".join("/tmp/.X%d-lock" % n for n in range(77, 100))
        # A checkout or build under /tmp is bound back over the private /tmp.
        keep = [p for p in (ROOT, BIN) if p.startswith("/tmp/")]
        keep = [p for p in keep if not any(p != q and p.startswith(q + "/") for q in keep)]
        binds = "".join(
            'mkdir -p /run/tuvarn-keep%d && mount --bind %s /run/tuvarn-keep%d && ' % (i, shlex.quote(p), i)
            for i, p in enumerate(keep))
        back = "".join(
            ' && mkdir -p %s && mount --bind /run/tuvarn-keep%d %s' % (shlex.quote(p), i, shlex.quote(p))
            for i, p in enumerate(keep))
        prefix = ["unshare", "-m", "sh", "-c",
                  binds + "mount -t tmpfs none /tmp" + back + " && touch %s && exec \"$0\"" % locks]
        self.env["TUVARN_STATION"] = "/tmp/station"
        self.start(prefix)
        out, err = self.proc.communicate(timeout=30)
        self.assertEqual(self.proc.returncode, 1, err)
        self.assertIn(b"No free display number", err)
        self.assertNotIn(b"unbound variable", err)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="folder of the built programs")
    args, rest = parser.parse_known_args()
    BIN = os.path.abspath(args.bin)
    unittest.main(argv=[sys.argv[0]] + rest)
