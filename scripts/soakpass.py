"""One pass of the soak: write its track file, inject its fault at its moment,
follow it to the end. Every wait is on an event (a log entry, a transcript
line, a file) and bounded; fixed holds are only the length of a fault."""
import datetime
import os
import time

import soaklib
from soaklib import SATELLITE, track_text


class PassRecord:
    def __init__(self, k, kind, orbit, points):
        self.k, self.kind, self.orbit, self.points = k, kind, orbit, points
        self.start = None        # epoch of the first point
        self.log_mark = 0
        self.tr_mark = 0
        self.notes = []          # what the runner saw go wrong while driving the pass
        self.finish_seen = False
        self.skipped = None      # a fault that could not be arranged
        self.killed_at = None    # epoch of a kill -9 mid-pass


class Runner:
    def __init__(self, station, points, lead, tmpfs):
        self.st, self.points, self.lead, self.tmpfs = station, points, lead, tmpfs
        self.passes = []
        self.prewritten = None   # (orbit, start) of a track file already written for the next pass

    # ---- helpers -----------------------------------------------------------

    def write_track(self, orbit, start, pieces=False):
        text = track_text(orbit, start, self.points, 47.0 * orbit)
        path = self.st.track_path
        if not pieces:
            tmp = os.path.join(os.path.dirname(path), ".soak-track.tmp")
            with open(tmp, "w") as f:
                f.write(text)
            os.replace(tmp, path)
            return
        # A writer that computes as it goes: four pieces cut at line ends, half a
        # second apart, so a poll may find the file whole up to a line end.
        lines = text.splitlines(keepends=True)
        cuts = [0] + [6 + self.points * i // 4 for i in (1, 2, 3)] + [len(lines)]
        with open(path, "w") as f:
            for a, b in zip(cuts, cuts[1:]):
                f.write("".join(lines[a:b]))
                f.flush()
                if b != len(lines):
                    time.sleep(0.5)

    def loaded_line(self, start):
        at = datetime.datetime.fromtimestamp(start, datetime.timezone.utc)
        return f"Track loaded: {SATELLITE}. Start at {at:%d.%m.%Y  %H:%M:%S}"

    def last_status(self):
        return next((o for o in reversed(self.st.tr.lines)
                     if o.get("dir") == "tx" and o.get("kind") == "status"), {})

    def status_after(self, p, pred):
        for o in self.st.tr.lines[p.tr_mark:]:
            if o.get("dir") == "tx" and o.get("kind") == "status" and pred(o):
                return True
        return False

    def wait_point(self, p, index):
        ok = self.st.wait(lambda: self.status_after(p, lambda o: o.get("pointIndex", -1) >= index),
                          max(5, p.start + index + 15 - time.time()))
        if not ok:
            p.notes.append(f"point {index} never tracked")
        return ok

    def wait_countdown(self, p, seconds):
        ok = self.st.wait(lambda: self.status_after(p, lambda o: 0 <= o.get("countdown", -1) <= seconds),
                          max(5, p.start - seconds + 10 - time.time()))
        if not ok:
            p.notes.append(f"countdown {seconds} never seen")
        return ok

    def wait_log(self, p, pred, timeout, what):
        ok = self.st.wait(lambda: self.st.log.find(p.log_mark, pred) >= 0, timeout)
        if not ok:
            p.notes.append(f"no '{what}' in the log")
        return ok

    def data_written(self, p):
        prefix = f"{SATELLITE} ({p.orbit})_"
        try:
            return any(n.startswith(prefix) and n.endswith(".dat.ai") for n in os.listdir(self.st.data_dir))
        except OSError:
            return False

    # ---- one pass ------------------------------------------------------------

    def run_pass(self, k, kind):
        st = self.st
        p = PassRecord(k, kind, 1000 + k, self.points)
        self.passes.append(p)
        st.ensure_console(k)
        p.log_mark = st.log.count()
        p.tr_mark = len(st.tr.lines)

        # Before the track file.
        if kind == "console-restart":
            # Between passes: once the controller has left the finish state.
            st.wait(lambda: not self.last_status().get("statusWord", 0x8000) & 0x8000, 10)
            st.stop_console()
            p.log_mark = st.log.count()
            st.start_console(k)
        elif kind == "drop-before-upload":
            st.control("drop-port 5")
        elif kind == "demod-whole":
            st.control("demod-stop")
        elif kind == "bad-track":
            with open(st.track_path + ".bad", "w") as f:
                f.write("Satellite: SOAK\nnot a start line\n")
            os.replace(st.track_path + ".bad", st.track_path)
            self.wait_log(p, lambda m: m.startswith("error in track file"), 8, "error in track file")
            time.sleep(6)  # the bad file stays this long (the fault itself)

        if self.prewritten and self.prewritten[0] == p.orbit:
            p.start = self.prewritten[1]
            self.prewritten = None
        else:
            p.start = float(int(time.time()) + self.lead)
            self.write_track(p.orbit, p.start, pieces=(kind == "pieces"))
        loaded = self.loaded_line(p.start)
        if kind == "two-files":
            # The next pass's file arrives as soon as this one was taken.
            self.wait_log(p, lambda m: m == loaded, self.lead - 5, "Track loaded")
            nxt = p.start + self.points + 18
            self.write_track(p.orbit + 1, nxt)
            self.prewritten = (p.orbit + 1, nxt)

        # Between upload and start.
        if kind == "reset-before-start":
            if self.wait_log(p, lambda m: m == "received ok", self.lead - 10, "received ok"):
                st.control("reset")
                st.control("silent 3")
        elif kind in ("drop-countdown", "garbage"):
            if self.wait_countdown(p, 9):
                st.control("drop-port 3" if kind == "drop-countdown" else "garbage 40")

        # Mid-pass.
        third = self.points // 3
        if kind in ("silent-mid", "drop-mid", "garbage", "demod-mid"):
            if self.wait_point(p, third):
                st.control({"silent-mid": "silent 4", "drop-mid": "drop-port 3",
                            "garbage": "garbage 30", "demod-mid": "demod-stop"}[kind])
                if kind == "garbage" and self.wait_point(p, 2 * third):
                    st.control("garbage 60")
                if kind == "demod-mid":
                    self.wait_point(p, third + 6)
                    st.control("demod-start")

        if kind == "kill9-mid" and self.wait_point(p, third):
            # A few answered points, then the console dies at once and comes back.
            self.wait_point(p, third + 3)
            st.kill_console()
            p.killed_at = time.time()
            st.start_console(k)
            self.wait_log(p, lambda m: m.startswith("pass recovered after restart: "), 10,
                          "pass recovered after restart")

        # Over the finish.
        filler = None
        readonly = False
        if kind in ("readonly-finish", "full-disk-finish"):
            if kind == "full-disk-finish" and not self.tmpfs:
                p.skipped = "full disk not arranged (needs root)"
            elif kind == "readonly-finish" and not st.can_make_data_readonly():
                p.skipped = "read-only not arranged (root without a private mount namespace)"
            elif self.wait_point(p, self.points - 4):
                if kind == "readonly-finish":
                    st.set_data_readonly(True)
                    readonly = True
                else:
                    filler = st.fill_data()

        # The end of the pass: the stand-in's finish, then the console's data file.
        p.finish_seen = st.wait(lambda: self.status_after(
            p, lambda o: o.get("statusWord", 0) & 0x8000 and soaklib.iso_to_epoch(o["t"]) > p.start),
            max(10, p.start + self.points + 20 - time.time()))
        if not p.finish_seen:
            p.notes.append("the stand-in never finished the pass")
        if readonly or filler:
            self.wait_log(p, lambda m: m == "finish", 10, "finish")
            st.wait(lambda: self.data_written(p) or st.log.find(
                p.log_mark, lambda m: m.startswith("data file not written")) >= 0, 5)
            time.sleep(3)  # the folder stays unwritable this long after the finish
            if filler:
                os.remove(filler)
            if readonly:
                st.set_data_readonly(False)
            st.wait(lambda: self.data_written(p), 15)
        elif p.finish_seen:
            st.wait(lambda: self.data_written(p), 10)
        if kind == "demod-whole":
            st.control("demod-start")
        # The console logs the finish within the second that follows the reply.
        st.wait(lambda: st.log.find(p.log_mark, lambda m: m == "finish") >= 0, 3)
        run = st.console
        # A console started mid-pass (after a kill) did not record this pass:
        # its memory is measured from its first whole pass on.
        if run and not run.ended and self.data_written(p) and run.started < p.start:
            run.passes += 1
            if run.passes == 1:
                st.poll()
                run.rss_warm = run.rss_last
