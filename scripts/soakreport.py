"""The soak's table and totals: each pass judged from the console's log, its
data file and the stand-in's transcript."""
import collections
import datetime
import os
import re

from soaklib import SATELLITE, iso_to_epoch

TABLE_HEADER = " Fi       R     Korr    Korr0     P      SNR     N      X      step    err"
# Log entries that say why a pass was not recorded.
LOSS_REASONS = ("data file not written", "too late", "To late. Track aborted",
                "track upload failed, too late", "data file lost")
# The ordinary road of a pass, shortened for the table.
ROAD = {"track sent": "sent", "received ok": "ok", "in start position": "startpos",
        "tracking": "tracking", "finish": "finish"}
FLOOD_REPEATS = 3
FLOOD_LINES = 40
MEMORY_LIMIT_KIB = 2048


def is_banner(message):
    """A line of the banner a console writes when it starts, or its last word."""
    return (not message.strip() or message.startswith((" ", "*", "=", "TuVaRN ini file"))
            or "log started" in message or message == "The end")


def parse_data_file(path):
    """(rows as cell lists, power lines, snr lines) or raises ValueError."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    h = lines.index(TABLE_HEADER)
    at = h + 1
    rows = []
    while at < len(lines) and not lines[at].startswith("Noise level "):
        rows.append(lines[at].split())
        at += 1
    n = len(rows)
    if lines[at + 1:at + 3] != ["RealTime section", "Power level"] or lines[at + 3 + n] != "SNR" \
            or lines[at + 4 + 2 * n:] != ["end", ""]:
        raise ValueError("sections out of place")
    power = [l.split() for l in lines[at + 3:at + 3 + n]]
    snr = [l.split() for l in lines[at + 4 + n:at + 4 + 2 * n]]
    if any(len(r) != 10 for r in rows):
        raise ValueError("a row without 10 cells")
    return rows, power, snr


class Report:
    def __init__(self, st, runner, known, words, wall, notes):
        self.st, self.runner, self.known, self.words, self.wall = st, runner, known, words, wall
        self.notes = notes

    # ---- one pass ------------------------------------------------------------

    def judge(self, i, p):
        st = self.st
        passes = self.runner.passes
        end = passes[i + 1].log_mark if i + 1 < len(passes) else st.log.count()
        window = [m for _, m in st.log.entries[p.log_mark:end]]
        findings = []
        start_iso = datetime.datetime.fromtimestamp(p.start or 0, datetime.timezone.utc)
        finish_t = next((iso_to_epoch(o["t"]) for o in st.tr.lines
                         if o.get("dir") == "tx" and o.get("kind") == "status"
                         and o.get("statusWord", 0) & 0x8000 and p.start and iso_to_epoch(o["t"]) > p.start), None)
        corrections = [o for o in st.tr.lines if o.get("dir") == "rx" and o.get("kind") == "correction"
                       and p.start and finish_t and p.start - 1 <= iso_to_epoch(o["t"]) <= finish_t + 1]
        uploads = [o for o in st.tr.lines if o.get("dir") == "rx" and o.get("kind") == "upload"
                   and o.get("accepted") and o.get("passStart", "").startswith(f"{start_iso:%Y-%m-%dT%H:%M:%S}")]

        # What the log said; a console start's banner counts as one word.
        if any("log started" in m for m in window):
            window = [m for m in window if not is_banner(m)] + ["(console started)"]
        counts = collections.Counter(window)
        said = []
        for m, c in counts.items():
            word = "loaded" if m.startswith("Track loaded") else ROAD.get(m, m)
            said.append(word if c == 1 else f"{word} x{c}")
        flood = max(counts.values(), default=0) > FLOOD_REPEATS or len(window) > FLOOD_LINES
        if flood:
            worst, c = counts.most_common(1)[0]
            findings.append(f"log flood ({c}x '{worst[:40]}', {len(window)} lines)")

        # "track sent" with no upload reaching the stand-in around that second.
        upload_times = [iso_to_epoch(o["t"]) for o in st.tr.lines
                        if o.get("dir") == "rx" and o.get("kind") == "upload"]
        for at, m in st.log.entries[p.log_mark:end]:
            if m == "track sent":
                t = datetime.datetime.strptime(at, "%d-%m-%y %H:%M:%S").replace(
                    tzinfo=datetime.timezone.utc).timestamp()
                if not any(t - 1 <= u <= t + 2 for u in upload_times):
                    findings.append("'track sent' logged, no upload went out")

        # The data file against the transcript.
        dat = sorted(n for n in self._data_names() if n.startswith(f"{SATELLITE} ({p.orbit})_") and n.endswith(".dat"))
        recorded = bool(dat)
        rows_word = "-"
        # The step a row can carry is the point of the last reply the console
        # heard before the request (the stand-in notes it with the request).
        heard = {}
        for o in st.tr.lines:
            if o.get("dir") == "tx" and o.get("kind") == "request":
                heard[o.get("pointIndex")] = o.get("replyPointIndex", o.get("pointIndex"))
            elif o.get("dir") == "rx" and o.get("kind") == "correction" and o in corrections:
                o["heard"] = heard.get(o.get("pointIndex"), o.get("pointIndex"))
        stale = sum(1 for c in corrections if c.get("heard") != c.get("pointIndex"))
        if recorded and p.killed_at:
            rows_word = self.judge_recovered(p, dat, corrections, window, findings)
        elif recorded:
            try:
                rows, power, _ = parse_data_file(os.path.join(st.data_dir, dat[-1]))
                bad = [k for k, (r, c) in enumerate(zip(rows, corrections))
                       if (int(r[2]), int(r[3]), int(r[8])) != (c.get("value"), c.get("byte10"), c.get("heard"))
                       or int(r[6]) != len(power[k])]
                if len(rows) != len(corrections) or bad:
                    rows_word = f"{len(rows)} rows / {len(corrections)} answers: DIFFER"
                    findings.append("rows do not match the transcript")
                else:
                    rows_word = f"{len(rows)} = transcript"
                    empty = sum(1 for r in power if not r)
                    if empty:
                        rows_word += f", {empty} without samples"
                    if stale:
                        rows_word += f", {stale} asked before a reply"
            except (ValueError, OSError, IndexError) as e:
                rows_word = f"unreadable: {e}"
                findings.append("data file unreadable")
            if uploads and uploads[-1].get("n", 0) < p.points:
                findings.append(f"uploaded {uploads[-1]['n']} of {p.points} points")
        else:
            reason = next((m for m in window if m.startswith(LOSS_REASONS)), None)
            findings.append(f"LOST: {reason}" if reason else "LOST without a logged reason")
        for n in p.notes:
            if not recorded:
                findings.append(n)

        if not findings:
            verdict = "ok" + (f" ({p.skipped})" if p.skipped else "")
        elif p.kind in self.known:
            verdict = "KNOWN: " + "; ".join(findings)
        else:
            verdict = "FINDING: " + "; ".join(findings)
        return {"k": p.k, "kind": p.kind, "said": ", ".join(said), "data": "yes" if recorded else "no",
                "rows": rows_word, "verdict": verdict, "findings": findings, "lines": len(window),
                "recorded": recorded, "lost_reason": None if recorded else next(
                    (m for m in window if m.startswith(LOSS_REASONS)), None)}

    def judge_recovered(self, p, dat, corrections, window, findings):
        """A pass whose console was killed mid-pass: the file written from the
        journal at the restart holds the points answered before the kill. The
        console that came back records nothing of the rest (it never saw the
        start), so of the pass's files the recovered one has the most rows."""
        try:
            parsed = [parse_data_file(os.path.join(self.st.data_dir, n)) for n in dat]
        except (ValueError, OSError, IndexError) as e:
            findings.append("data file unreadable")
            return f"unreadable: {e}"
        rows, power, _ = max(parsed, key=lambda f: len(f[0]))
        answered = [c for c in corrections if iso_to_epoch(c["t"]) <= p.killed_at]
        line = next((m for m in window if m.startswith("pass recovered after restart: ")), None)
        if line != f"pass recovered after restart: {len(rows)} points":
            findings.append(f"recovery logged as {line!r}, {len(rows)} rows written")
        bad = [k for k, (r, c) in enumerate(zip(rows, answered))
               if (int(r[2]), int(r[3]), int(r[8])) != (c.get("value"), c.get("byte10"), c.get("heard"))
               or int(r[6]) != len(power[k])]
        # The kill may fall between an answer going out and its point reaching
        # the journal: that one answer may be missing, never more.
        if bad or not 0 <= len(answered) - len(rows) <= 1 or not rows:
            findings.append("recovered rows do not match the transcript")
            return f"{len(rows)} recovered / {len(answered)} answers: DIFFER"
        return f"{len(rows)} recovered = transcript before the kill"

    def _data_names(self):
        try:
            return os.listdir(self.st.data_dir)
        except OSError:
            return []

    # ---- the whole run -------------------------------------------------------

    def leftovers(self):
        """Anything half-written in data/ or at TrackPath."""
        out = []
        names = set(self._data_names())
        for n in sorted(names):
            if n.endswith(".dat"):
                if n + ".ai" not in names:
                    out.append(f"data/{n} without its .ai")
                try:
                    rows, _, _ = parse_data_file(os.path.join(self.st.data_dir, n))
                    with open(os.path.join(self.st.data_dir, n + ".ai")) as f:
                        if len(f.read().split("\n")) != len(rows) + 3:
                            out.append(f"data/{n}.ai rows differ from the .dat")
                except (ValueError, OSError, IndexError) as e:
                    out.append(f"data/{n} incomplete ({e})")
            elif n.endswith(".dat.ai"):
                if n[:-3] not in names:
                    out.append(f"data/{n} without its .dat")
            elif not n.endswith(".uu"):
                out.append(f"data/{n} (a stray file)")
        ours = re.compile(re.escape(SATELLITE) + r" \(\d+\)")
        # A console started mid-pass has no pass loaded, and at the finish it
        # writes an empty data file named after that empty pass.
        restarted = re.compile(r" \(\)_\d{6}_\d{6}\.dat(\.ai)?$")
        killed = any(p.killed_at for p in self.runner.passes)
        for n in sorted(names):
            if not ours.match(n) and not (killed and restarted.match(n)):
                out.append(f"data/{n}: of no pass of the soak")
        if os.path.exists(self.st.track_path):
            out.append("a file left at TrackPath")
        # Every pass finished, so no journal of an open pass may be left.
        for n in ("pass.journal", "pass.journal.damaged"):
            if os.path.exists(os.path.join(self.st.work, n)):
                out.append(f"{n} left after the last pass")
        archive = re.compile(re.escape(SATELLITE) + r"\(\d+\)_\d{6}_\d{6}\.txt$")
        for n in sorted(os.listdir(os.path.dirname(self.st.track_path))):
            if n != "Track.txt" and not archive.match(n):
                out.append(f"track/{n} (a stray file)")
        return out

    def print(self, tolerate_known):
        rows = [self.judge(i, p) for i, p in enumerate(self.runner.passes)]
        print()
        print(f"{'#':>3}  {'injected':<44} {'data':<4}  {'rows vs transcript':<42} verdict")
        for r in rows:
            print(f"{r['k']:>3}  {self.words.get(r['kind'], r['kind'])[:44]:<44} {r['data']:<4}  "
                  f"{r['rows'][:42]:<42} {r['verdict']}")
            print(f"     log: {r['said']}")

        failed = False
        recorded = sum(r["recorded"] for r in rows)
        with_reason = [(r["k"], r["lost_reason"]) for r in rows if not r["recorded"] and r["lost_reason"]]
        without = [r for r in rows if not r["recorded"] and not r["lost_reason"]]
        print()
        print(f"passes: {len(rows)}; recorded {recorded}")
        print(f"lost with a logged reason: {len(with_reason)}"
              + "".join(f"\n  pass {k}: {m}" for k, m in with_reason))
        print(f"lost without a logged reason: {len(without)} (must be 0)"
              + "".join(f" [pass {r['k']}{', known' if r['kind'] in self.known else ''}]" for r in without))
        for r in rows:
            if r["findings"] and not (tolerate_known and r["kind"] in self.known):
                failed = True

        runs = self.st.consoles
        if runs:
            first = next((r for r in runs if r.rss_first is not None), runs[0])
            print(f"console memory (resident): {first.rss_first} KiB at start, "
                  f"{runs[-1].rss_last} KiB at the end ({len(runs)} console process(es))")
            longest = max(runs, key=lambda r: r.passes)
            if longest.rss_warm is not None and longest.passes >= 2:
                growth = longest.rss_last - longest.rss_warm
                ok = growth < MEMORY_LIMIT_KIB
                failed |= not ok
                print(f"  growth over {longest.passes} passes of one process: {longest.rss_warm} -> "
                      f"{longest.rss_last} KiB = {growth:+d} KiB ({'under' if ok else 'NOT under'} 2 MB)")
            cpu = sum(r.cpu for r in runs)
            print(f"console CPU share: {100 * cpu / max(1.0, self.wall):.2f}% of one core "
                  f"over {self.wall / 60:.1f} min")
        lines = [r["lines"] for r in rows]
        if lines:
            worst = max(rows, key=lambda r: r["lines"])
            print(f"log lines per pass: mean {sum(lines) / len(lines):.1f}, most {worst['lines']} (pass {worst['k']})")
        print(f"longest silence of the console while the demodulator listened: {self.st.max_quiet:.1f} s")
        if self.st.events:
            failed = True
            print("console stopped or hung: YES")
            for t, e in self.st.events:
                print(f"  {datetime.datetime.fromtimestamp(t):%H:%M:%S} {e}")
        else:
            print("console stopped or hung: never")
        for r in runs:
            print(f"  console pid {r.proc.pid}: {r.passes} passes, ended: {r.ended or 'still running'}")
        left = self.leftovers()
        print("half-written or stray files left: " + ("none" if not left else "; ".join(left)))
        failed |= bool(left)
        known = sorted({r["kind"] for r in rows if r["findings"] and r["kind"] in self.known})
        for kind in known:
            print(f"known issue ({kind}): {self.known[kind]}")
        for n in self.notes:
            print(f"note: {n}")
        print("RESULT: " + ("FAIL" if failed else "PASS"))
        return failed
