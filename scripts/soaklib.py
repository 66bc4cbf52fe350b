"""The soak's station (processes, files it follows) and its pass runner."""
import datetime
import json
import math
import os
import re
import signal
import subprocess
import threading
import time

POLL_S = 0.2
SATELLITE = "SOAK"
LOG_ENTRY = re.compile(r"^(?:  \*|\*\*|  )(\d\d-\d\d-\d\d \d\d:\d\d:\d\d)  (.*)$", re.S)


class Abort(Exception):
    pass


def iso_to_epoch(text):
    return datetime.datetime.fromisoformat(text.replace("Z", "+00:00")).timestamp()


class LogTail:
    """tuvarn.log read as it grows. An entry is CR LF + marker + time + message
    with no line end of its own, so the last entry stays provisional until the
    next one begins."""

    def __init__(self, path):
        self.path = path
        self.done = []
        self.tail = []
        self.pos = 0

    def poll(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.pos)
                data = f.read()
        except FileNotFoundError:
            return
        if not data:
            return
        cut = data.rfind(b"\r\n")
        if cut < 0:
            return
        for part in data[:cut].split(b"\r\n")[1:]:
            self.done.append(self._entry(part))
        self.pos += cut
        self.tail = [self._entry(data[cut + 2:])] if len(data) > cut + 2 else []

    @staticmethod
    def _entry(raw):
        m = LOG_ENTRY.match(raw.decode("utf-8", "replace"))
        return (m.group(1), m.group(2)) if m else ("", raw.decode("utf-8", "replace"))

    @property
    def entries(self):
        return self.done + self.tail

    def count(self):
        return len(self.done) + len(self.tail)

    def find(self, since, pred):
        for i, (_, msg) in enumerate(self.entries[since:], start=since):
            if pred(msg):
                return i
        return -1


class TranscriptTail:
    def __init__(self, path):
        self.path = path
        self.lines = []
        self.pos = 0
        self.on_line = None

    def poll(self):
        try:
            with open(self.path, "rb") as f:
                f.seek(self.pos)
                data = f.read()
        except FileNotFoundError:
            return
        cut = data.rfind(b"\n")
        if cut < 0:
            return
        self.pos += cut + 1
        for raw in data[:cut].split(b"\n"):
            try:
                o = json.loads(raw)
            except ValueError:
                continue
            self.lines.append(o)
            if self.on_line:
                self.on_line(o)


def proc_stat(pid):
    """(cpu seconds, resident KiB) of a live process, or None."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        with open(f"/proc/{pid}/status") as f:
            rss = next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))
    except (OSError, StopIteration, IndexError):
        return None
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK"), rss


class ConsoleRun:
    """One console process: its samples and what happened to it."""

    def __init__(self, proc, started_pass):
        self.proc = proc
        self.started = time.time()
        self.started_pass = started_pass
        self.cpu = 0.0
        self.rss_first = None
        self.rss_warm = None  # after its first pass was written
        self.rss_last = None
        self.passes = 0
        self.ended = None     # "SIGTERM, The end" / "died: ..." / "hung: ..."


class Station:
    def __init__(self, work, bindir, demod_port, preexec, isolated):
        self.work, self.bindir, self.demod_port, self.preexec = work, bindir, demod_port, preexec
        self.isolated = isolated
        for d in ("ports", "track", "data"):
            os.makedirs(os.path.join(work, d), exist_ok=True)
        self.track_path = os.path.join(work, "track", "Track.txt")
        self.data_dir = os.path.join(work, "data")
        with open(os.path.join(work, "tuvarn.ini"), "w") as f:
            f.write("Tuvarn_ini_file\nStationName\nSoak station\nTrackPath\ntrack/Track.txt\n"
                    "Focus\n1400\nRadius\n500\nPort\n3\nTimeCorr\ndisable\nMaxDeviation\n40\n"
                    "DeviationStep\n4\nDeviationPorog\n0.2\nDemodulator\nenable\nFeedback\nenable\n"
                    "ScanModeRL\ndisable\nScanModeFB\ndisable\nkorr\n1.0\n")
        self.env = dict(os.environ, TUVARN_PORT_DIR=os.path.join(work, "ports"),
                        QT_QPA_PLATFORM="offscreen", TUVARN_DIALOGS="auto")
        self.log = LogTail(os.path.join(work, "tuvarn.log"))
        self.tr = TranscriptTail(os.path.join(work, "sim.jsonl"))
        self.tr.on_line = self._heard
        self.sim = None
        self.sim_out = []
        self.consoles = []
        self.events = []         # (time, text): console stopped, hung, ...
        self.last_heartbeat = time.time()
        self.demod_up_since = time.time()
        self.demod_up = True
        self.tmpfs = False
        self.max_quiet = 0.0

    # ---- processes -------------------------------------------------------

    def _read_sim(self):
        for line in self.sim.stdout:
            self.sim_out.append(line.rstrip("\n"))

    def start_sim(self):
        deadline = time.time() + 60
        while True:
            self.sim_out = []
            self.sim = subprocess.Popen(
                [f"{self.bindir}/station-sim", "--port-dir", os.path.join(self.work, "ports"),
                 "--port", "3", "--transcript", self.tr.path, "--travel", "2", "--start-lead", "12",
                 "--demod-port", str(self.demod_port)],
                stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=open(os.path.join(self.work, "sim.err"), "a"),
                text=True, env=self.env, preexec_fn=self.preexec)
            threading.Thread(target=self._read_sim, daemon=True).start()
            self.wait(lambda: any(l.startswith("ready ") for l in self.sim_out) or self.sim.poll() is not None,
                      15, "station-sim ready")
            if any(l.startswith("ready ") for l in self.sim_out):
                return
            # 2: a port was busy (another stand-in still ending); try again.
            if self.sim.returncode != 2 or time.time() > deadline:
                raise Abort(f"station-sim did not start (exit {self.sim.returncode})")
            time.sleep(1)

    def control(self, command):
        at = len(self.sim_out)
        self.sim.stdin.write(command + "\n")
        self.sim.stdin.flush()
        self.wait(lambda: any(l.startswith(("ok", "error")) for l in self.sim_out[at:]), 5, command)
        answer = next(l for l in self.sim_out[at:] if l.startswith(("ok", "error")))
        if answer.startswith("error"):
            raise Abort(f"station-sim refused '{command}': {answer}")
        if command == "demod-stop":
            self.demod_up = False
        elif command == "demod-start":
            self.demod_up, self.demod_up_since = True, time.time()
        return answer

    def start_console(self, started_pass=1):
        mark = self.log.count()
        out = open(os.path.join(self.work, "console.out"), "a")
        proc = subprocess.Popen([f"{self.bindir}/station-console"], cwd=self.work, env=self.env,
                                stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                preexec_fn=self.preexec)
        run = ConsoleRun(proc, started_pass)
        self.consoles.append(run)
        self.wait(lambda: self.log.find(mark, lambda m: m == "port opened ok") >= 0, 20,
                  "the console opening its port")
        self.last_heartbeat = time.time()

    @property
    def console(self):
        return self.consoles[-1] if self.consoles else None

    def stop_console(self):
        """SIGTERM; the console must end within 15 s with "The end" last in its log."""
        run = self.console
        if run is None or run.ended:
            return
        self._sample(run)
        run.proc.send_signal(signal.SIGTERM)
        try:
            run.proc.wait(15)
        except subprocess.TimeoutExpired:
            run.proc.kill()
            run.proc.wait(5)
            run.ended = "hung: no end within 15 s of SIGTERM"
            self.events.append((time.time(), run.ended))
            return
        with open(self.log.path, "rb") as f:
            clean = f.read().endswith(b"  The end\r\n")
        run.ended = "SIGTERM, \"The end\" logged" if clean and run.proc.returncode == 0 else \
            f"SIGTERM, exit {run.proc.returncode}, \"The end\" {'logged' if clean else 'missing'}"
        if not clean or run.proc.returncode != 0:
            self.events.append((time.time(), "console end not clean: " + run.ended))

    def kill_console(self):
        """SIGKILL, as a power cut would end it: no orderly path at all."""
        run = self.console
        if run is None or run.ended:
            return
        self._sample(run)
        run.proc.kill()
        run.proc.wait(15)
        run.ended = "SIGKILL (the fault)"

    def stop_all(self):
        try:
            self.stop_console()
        finally:
            if self.sim and self.sim.poll() is None:
                self.sim.send_signal(signal.SIGTERM)
                try:
                    self.sim.wait(15)
                except subprocess.TimeoutExpired:
                    self.sim.kill()
            self.poll()

    # ---- following the station --------------------------------------------

    def _heard(self, o):
        # What shows the console's event loop alive: its demodulator traffic
        # and its answers on the serial line.
        if o.get("dir") == "rx" or (o.get("dir") == "tx" and o.get("kind") == "demod"):
            try:
                self.last_heartbeat = max(self.last_heartbeat, iso_to_epoch(o["t"]))
            except (KeyError, ValueError):
                pass

    def _sample(self, run):
        s = proc_stat(run.proc.pid)
        if s:
            run.cpu = s[0]
            run.rss_last = s[1]
            if run.rss_first is None and time.time() - run.started > 3:
                run.rss_first = s[1]

    def poll(self):
        self.log.poll()
        self.tr.poll()
        run = self.console
        if run is None or run.ended:
            return
        if run.proc.poll() is not None:
            run.ended = f"died: exit {run.proc.returncode}"
            self.events.append((time.time(), "console stopped: " + run.ended))
            return
        self._sample(run)
        now = time.time()
        quiet = now - max(self.last_heartbeat, run.started + 10, self.demod_up_since + 15)
        if self.demod_up:
            self.max_quiet = max(self.max_quiet, quiet)
        if self.demod_up and quiet > 20:
            self.events.append((now, f"console hung: nothing from it for {quiet:.0f} s"))
            self.last_heartbeat = now

    def wait(self, pred, timeout, what=None):
        """Polls until pred() holds; False after `timeout` seconds."""
        end = time.time() + timeout
        while True:
            self.poll()
            if pred():
                return True
            if time.time() >= end:
                return False
            time.sleep(POLL_S)

    def ensure_console(self, k):
        run = self.console
        if run is not None and run.ended and not run.ended.startswith("SIGTERM"):
            self.start_console(k)

    # ---- file-system faults ------------------------------------------------

    def mount_tmpfs_data(self):
        r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16m,mode=0755", "tmpfs", self.data_dir],
                           capture_output=True)
        self.tmpfs = r.returncode == 0
        return self.tmpfs

    def unmount_tmpfs_data(self):
        if self.tmpfs:
            subprocess.run(["umount", self.data_dir], capture_output=True)

    def set_data_readonly(self, on):
        """Read-only as root too: a read-only bind mount in the private mount
        namespace; without one, file modes (which do not stop root)."""
        if self.isolated and os.geteuid() == 0:
            cmds = [["mount", "--bind", self.data_dir, self.data_dir],
                    ["mount", "-o", "remount,bind,ro", self.data_dir]] if on else [["umount", self.data_dir]]
            for c in cmds:
                subprocess.run(c, check=True, capture_output=True)
        else:
            os.chmod(self.data_dir, 0o555 if on else 0o755)

    def can_make_data_readonly(self):
        return os.geteuid() != 0 or self.isolated

    def fill_data(self):
        path = os.path.join(self.data_dir, ".soak-filler")
        with open(path, "wb") as f:
            try:
                while True:
                    f.write(b"\0" * (1 << 20))
                    f.flush()
            except OSError:
                pass
        return path


def track_text(orbit, start_epoch, points, heading_deg):
    """A pass across the sky, as the stand-in's pass source lays them out:
    a straight chord of the feed's plane between 75 and 86 degrees."""
    focus, low, high = 1400.0, 75.0, 86.0
    nearest = focus / math.tan(math.radians(high))
    farthest = focus / math.tan(math.radians(low))
    half = math.sqrt(farthest ** 2 - nearest ** 2)
    ux, uy = math.cos(math.radians(heading_deg)), math.sin(math.radians(heading_deg))
    start = datetime.datetime.fromtimestamp(start_epoch, datetime.timezone.utc)
    lines = [f"Satellite: {SATELLITE}", f"Start date & time: {start:%Y-%m-%d %H:%M:%S} UTC",
             f"Orbit: {orbit}", "Time (UTC)   Azimuth    Elevation", "             deg min    deg min",
             "---------------------------------"]
    for i in range(points):
        t = -half + 2 * half * i / (points - 1)
        x, y = nearest * ux - t * uy, nearest * uy + t * ux
        r = math.hypot(x, y)
        az = round((math.degrees(math.atan2(y, x)) + 180.0) * 60) % 21600
        el = max(round(math.degrees(math.atan(focus / r)) * 60), round(low * 60))
        at = start + datetime.timedelta(seconds=i)
        lines.append(f"{at:%H:%M:%S}   {az // 60:3d} {az % 60:02d}   {el // 60:3d} {el % 60:02d}")
    return "\n".join(lines) + "\n"

