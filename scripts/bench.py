#!/usr/bin/python3
"""The station's benchmarks, each as a ratio to its floor where one exists.

  pass      the console on the stand-in pacing at 9600 baud: CPU share idle on a
            live link and over a whole pass, resident memory, and the latency of
            the correction replies (floor: 30 ms of line silence + one byte)
  firmware  a 64 KiB image through the boot loader on a line paced at 9600 baud
            8E1, against the line's floor (every byte both ways, 11 bits each);
            the first programmer's rule (every answer after 100 ms of silence)
            is measured in the same run for comparison
  viewer    track-viewer's start-up with one 1000-point file and with 10,000
            files, and the time until a new file is listed
  predict   track-predict --list, when it is built: one satellite, then the 2023
            catalogue's first 100 and 1,000 sets and all 8,854 over 24 h (wall,
            CPU of all its processes, peak resident size of all its processes)
  report    track-report over --files synthetic passes: the first run (once),
            an unchanged rerun, one new pass; and the front page's size

Each figure is the median of --runs runs. The networked parts use port 6002 on
127.0.0.1; run as root the script moves itself into a network namespace of its
own (unshare -n), otherwise it needs that port free.
Not a test: it takes about half an hour with the defaults."""
import argparse, json, os, platform, shutil, signal, socket, statistics, subprocess, sys, tempfile, time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
TICK = os.sysconf("SC_CLK_TCK")
BYTE_8N1_MS = 1000 * 10 / 9600   # the controller link
BYTE_8E1_S = 11 / 9600           # the boot loader's line
REPLY_FLOOR_MS = 30 + BYTE_8N1_MS


def isolate():
    """Re-run inside a fresh network namespace when possible."""
    if os.environ.get("TUVARN_BENCH_NETNS") or os.geteuid() != 0 or not shutil.which("unshare"):
        return
    env = dict(os.environ, TUVARN_BENCH_NETNS="1")
    cmd = "ip link set lo up && exec /usr/bin/python3 \"$0\" \"$@\""
    os.execvpe("unshare", ["unshare", "-n", "sh", "-c", cmd, os.path.abspath(__file__)] + sys.argv[1:], env)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def seconds_of_day(stamp):
    # "2026-12-08T05:03:06.004Z"
    h, m, s = stamp[11:-1].split(":")
    return int(h) * 3600 + int(m) * 60 + float(s)


def stop(proc):
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


def start_sim(bindir, work, port, args):
    sim = subprocess.Popen([f"{bindir}/station-sim", "--port-dir", f"{work}/ports", "--port", str(port),
                            "--no-control"] + args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           text=True)
    line = sim.stdout.readline()
    if "ready" not in line:
        stop(sim)
        raise RuntimeError(f"station-sim did not start: {line.strip()}")
    return sim


def one_pass(bindir, idle_s, points):
    """Idle CPU and RSS, CPU and peak RSS over a pass, correction latencies."""
    work = tempfile.mkdtemp(prefix="tuvarn-bench-")
    os.makedirs(f"{work}/ports"); os.makedirs(f"{work}/track")
    shutil.copy(f"{ROOT}/examples/station/tuvarn.ini", work)
    env = dict(os.environ, TUVARN_PORT_DIR=f"{work}/ports", QT_QPA_PLATFORM="offscreen", TUVARN_DIALOGS="auto")
    sim = start_sim(bindir, work, 3, ["--transcript", f"{work}/sim.jsonl", "--baud-pace", "--travel", "1",
                                      "--start-lead", "8", "--track-path", f"{work}/track/Track.txt",
                                      "--pass-points", str(points), "--pass-lead", str(idle_s + 25)])
    con = subprocess.Popen([f"{bindir}/station-console"], cwd=work, env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    out = {}
    try:
        time.sleep(5)  # the link comes up
        c0, t0 = cpu_seconds(con.pid), time.time()
        time.sleep(idle_s)
        out["idle_cpu"] = (cpu_seconds(con.pid) - c0) / (time.time() - t0)
        out["idle_rss"] = rss_kib(con.pid)
        # The pass was loaded and uploaded during the idle window; it starts now.
        c0, t0, peak = cpu_seconds(con.pid), time.time(), 0
        while time.time() < t0 + 30 + points + 60:
            peak = max(peak, rss_kib(con.pid))
            if os.path.isdir(f"{work}/data") and any(n.endswith(".dat") for n in os.listdir(f"{work}/data")):
                break
            time.sleep(0.5)
        out["pass_cpu"] = (cpu_seconds(con.pid) - c0) / (time.time() - t0)
        out["pass_rss"] = peak
    finally:
        stop(con)
        stop(sim)
    requests, latencies = {}, []
    with open(f"{work}/sim.jsonl") as f:
        for line in f:
            d = json.loads(line)
            if d.get("dir") == "tx" and d.get("kind") == "request":
                requests[d["pointIndex"]] = seconds_of_day(d["t"])
            elif d.get("dir") == "rx" and d.get("kind") == "correction" and d.get("pointIndex") in requests:
                latencies.append(d["latencyMs"] if "latencyMs" in d
                                 else 1000 * (seconds_of_day(d["t"]) - requests[d["pointIndex"]]))
    out["latencies"] = latencies
    shutil.rmtree(work, ignore_errors=True)
    return out


def bench_pass(a):
    runs = [one_pass(a.bin, a.idle, a.points) for _ in range(a.runs)]
    med = lambda key: statistics.median(r[key] for r in runs)
    lat = [r["latencies"] for r in runs if r["latencies"]]
    if lat:
        m = statistics.median(statistics.median(x) for x in lat)
        worst = max(max(x) for x in lat)
        n = sum(len(x) for x in lat)
        print(f"correction reply latency   median {m:.1f} ms = {m / REPLY_FLOOR_MS:.2f} x floor "
              f"({REPLY_FLOOR_MS:.1f} ms), max {worst:.1f} ms = {worst / REPLY_FLOOR_MS:.2f} x ({n} replies)")
    else:
        print("correction reply latency   no correction replies seen")
    print(f"console CPU                idle on a live link {100 * med('idle_cpu'):.2f} %, "
          f"over a {a.points}-point pass {100 * med('pass_cpu'):.2f} % of one core")
    print(f"console resident memory    idle {med('idle_rss') / 1024:.1f} MiB, "
          f"peak over a pass {med('pass_rss') / 1024:.1f} MiB")


def one_flash(a, rule):
    work = tempfile.mkdtemp(prefix="tuvarn-bench-")
    os.makedirs(f"{work}/ports")
    sim = start_sim(a.bin, work, 7, ["--flash-switch", "--baud-pace", "--demod-port", "0"])
    try:
        args = [f"{a.tests}/flash-bench", f"{work}/ports", "7", str(a.firmware_kib * 1024)]
        res = subprocess.run(args + (["silence"] if rule == "silence" else []), capture_output=True, text=True,
                             timeout=30 + a.firmware_kib * 5)
        r = json.loads(res.stdout.strip().splitlines()[-1])
        if r["err"] != 0:
            raise RuntimeError(f"programming failed: {r['why']}")
        return r
    finally:
        stop(sim)
        shutil.rmtree(work, ignore_errors=True)


def bench_firmware(a):
    if not os.path.exists(f"{a.tests}/flash-bench"):
        print(f"firmware                   skipped: {a.tests}/flash-bench not built (build the tests)")
        return
    parts = []
    for rule, label in (("at-once", "now"), ("silence", "100 ms rule")):
        runs = [one_flash(a, rule) for _ in range(a.runs if rule == "at-once" else a.old_runs)]
        if not runs:
            continue
        floor = (runs[0]["bytesOut"] + runs[0]["bytesIn"]) * BYTE_8E1_S
        s = statistics.median(r["ms"] for r in runs) / 1000
        parts.append(f"{label} {s:.1f} s = {s / floor:.2f} x")
    print(f"firmware {a.firmware_kib} KiB at 9600 8E1   {', '.join(parts)} the line floor "
          f"({floor:.1f} s: {runs[0]['bytesOut']} bytes out, {runs[0]['bytesIn']} in)")


def bench_viewer(a):
    probe = f"{a.tests}/viewer-bench"
    if not os.path.exists(probe):
        print(f"viewer                     skipped: {probe} not built (build the tests)")
        return
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    results = {}
    for files in (1, a.files):
        work = tempfile.mkdtemp(prefix="tuvarn-bench-")
        subprocess.run([probe, "make", work, str(files)], check=True)
        runs = []
        for _ in range(a.runs):
            t0 = time.time()
            res = subprocess.run([probe, "run", work], capture_output=True, text=True, env=env, timeout=120)
            r = json.loads(res.stdout.strip().splitlines()[-1])
            r["processMs"] = 1000 * (time.time() - t0)
            runs.append(r)
        results[files] = {k: statistics.median(r[k] for r in runs) for k in ("startMs", "appearMs", "appMs")}
        shutil.rmtree(work, ignore_errors=True)
    one, many = results[1], results[a.files]
    print(f"viewer start-up            1 file of 1000 points {one['startMs']:.0f} ms, {a.files:,} files "
          f"{many['startMs']:.0f} ms (window built, listed, newest drawn and shown; target 200 ms)")
    print(f"new file in the viewer     beside 1 file {one['appearMs']:.0f} ms, beside {a.files:,} files "
          f"{many['appearMs']:.0f} ms (rename to listed; target 50 ms)")


def bench_predict(a):
    if a.before:
        # The same figures for an older build first, so that one run shows both.
        print(f"before ({a.before}):")
        bench_predict_with(a, f"{os.path.abspath(a.before)}/track-predict")
        print(f"after ({a.bin}):")
    bench_predict_with(a, f"{a.bin}/track-predict")


def bench_predict_with(a, tool):
    if not os.path.exists(tool):
        print(f"track-predict --list       skipped: {tool} not built")
        return
    # The example station with one made-up satellite over it in an hour.
    work = tempfile.mkdtemp(prefix="tuvarn-bench-")
    for name in ("tuvarn.ini", "predict.ini"):
        shutil.copy(f"{ROOT}/examples/station/{name}", work)
    with open(f"{work}/demo.tle", "w") as f:
        subprocess.run(["/usr/bin/python3", f"{ROOT}/tests/predict/overhead.py", "--lat", "59.9375", "--lon",
                        "30.3086", "--in-seconds", "3600", "--catalog", "25544"], stdout=f, check=True)
    times = []
    for _ in range(a.runs):
        t0 = time.time()
        res = subprocess.run([tool, "--station", work, "--elements", f"{work}/demo.tle", "--list"],
                             capture_output=True, text=True)
        times.append(time.time() - t0)
        if res.returncode not in (0, 3):
            print(f"track-predict --list       failed: {(res.stderr or res.stdout).strip()[:200]}")
            return
    shutil.rmtree(work, ignore_errors=True)
    print(f"track-predict --list       {1000 * statistics.median(times):.0f} ms "
          f"(24 h ahead, one satellite, the example station)")
    bench_catalogue(a, tool)


def tree_rss_kib(pid):
    """Resident size of a process and all its descendants (worker processes count)."""
    total = 0
    todo = [pid]
    while todo:
        p = todo.pop()
        try:
            total += rss_kib(p)
            with open(f"/proc/{p}/task/{p}/children") as f:
                todo.extend(int(c) for c in f.read().split())
        except OSError:
            pass
    return total


def timed_list(tool, work, elements, now, hours, jobs=1):
    """Wall seconds, CPU seconds (the process and its workers), peak resident MiB."""
    before = os.times()
    t0 = time.time()
    proc = subprocess.Popen([tool, "--station", work, "--elements", elements, "--now", now, "--hours",
                             str(hours), "--list"] + (["--jobs", str(jobs)] if jobs > 1 else []), stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    peak = 0
    while proc.poll() is None:
        peak = max(peak, tree_rss_kib(proc.pid))
        time.sleep(0.1)
    wall = time.time() - t0
    after = os.times()
    cpu = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    if proc.returncode not in (0, 3):
        raise RuntimeError(proc.stderr.read().strip()[:200])
    return wall, cpu, peak / 1024


def bench_catalogue(a, tool):
    """The 2023 catalogue of 8,854 objects, whole and in its first 100 and 1,000 sets."""
    source = os.path.join(ROOT, "..", "shared", "elements", "active-usst-2023-11-19.txt")
    if not os.path.exists(source):
        source = "/work/shared/elements/active-usst-2023-11-19.txt"
    if not os.path.exists(source):
        print(f"track-predict catalogue    skipped: {source} missing")
        return
    with open(source, encoding="latin-1") as f:
        lines = f.read().replace("\r\n", "\n").splitlines()
    sets = [lines[k:k + 3] for k in range(0, len(lines) - 2, 3) if lines[k + 1].startswith("1 ")]
    for count in a.catalogue:
        work = tempfile.mkdtemp(prefix="tuvarn-bench-")
        shutil.copy(f"{ROOT}/examples/station/tuvarn.ini", work)
        chosen = sets[:count]
        with open(f"{work}/elements.txt", "w") as f:
            f.write("".join("\n".join(s) + "\n" for s in chosen))
        with open(f"{work}/predict.ini", "w") as f:
            f.write("Latitude 59.9375\nLongitude 30.3086\nHeight 10\nElements elements.txt\n")
            f.write("".join(f"Satellite {int(s[1][2:7])} 1 10\n" for s in chosen))
        shares = "--jobs" in subprocess.run([tool, "--help"], capture_output=True, text=True).stdout
        for jobs in ([1, 2] if count == max(a.catalogue) and shares else [1]):
            try:
                runs = [timed_list(tool, work, f"{work}/elements.txt", "2023-11-19 12:00:00", 24, jobs)
                        for _ in range(a.catalogue_runs)]
            except RuntimeError as e:  # an older program without --jobs
                print(f"track-predict catalogue    {len(chosen):5d} sets, --jobs {jobs}: failed: {e}")
                continue
            wall = statistics.median(r[0] for r in runs)
            cpu = statistics.median(r[1] for r in runs)
            rss = max(r[2] for r in runs)
            print(f"track-predict catalogue    {len(chosen):5d} sets, 24 h{', 2 jobs' if jobs > 1 else ''}: "
                  f"{wall:6.1f} s wall, {cpu:6.1f} s CPU, peak resident {rss:5.0f} MiB (all processes)")
        shutil.rmtree(work, ignore_errors=True)


def bench_report(a):
    tool, maker = f"{a.bin}/track-report", f"{a.tests}/make-test-passes"
    if not (os.path.exists(tool) and os.path.exists(maker)):
        print("track-report               skipped: track-report or make-test-passes not built")
        return
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    work = tempfile.mkdtemp(prefix="tuvarn-bench-")
    data = f"{work}/data"
    subprocess.run([maker, data, str(a.files)] + (["--scan"] if a.scan else []), check=True, stdout=subprocess.DEVNULL)

    def run():
        t0 = time.time()
        subprocess.run([tool, "--station", work], check=True, env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return time.time() - t0

    # CPU seconds too: on a machine others share, the wall time says little.
    cpu0 = os.times()
    first = run()
    cpu1 = os.times()
    first_cpu = (cpu1.children_user - cpu0.children_user) + (cpu1.children_system - cpu0.children_system)
    again = statistics.median(run() for _ in range(a.runs))
    newest = sorted(n for n in os.listdir(data) if n.endswith(".dat"))[-1]
    added = []
    for k in range(a.runs):
        for ext in ("", ".ai"):
            shutil.copy(f"{data}/{newest}{ext}", f"{data}/NEW-SAT ({k})_{newest.rsplit('_', 2)[1]}_{newest.rsplit('_', 1)[1]}{ext}")
        added.append(run())
    front = os.path.getsize(f"{work}/report/index.html")
    state = os.path.getsize(f"{work}/report/.track-report.json")
    shutil.rmtree(work, ignore_errors=True)
    print(f"track-report               {a.files:,} passes{' with sweeps' if a.scan else ''}: first run {first:.1f} s (target 120 s; "
          f"{first_cpu:.0f} CPU s on {os.cpu_count()} cores), unchanged rerun "
          f"{again:.2f} s (target 1 s), one new pass {statistics.median(added):.2f} s (target 1 s); "
          f"front page {front / 1024:.0f} KiB (target 150 KB), state {state / 1024:.0f} KiB")


def machine():
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next(l.split(":", 1)[1].strip() for l in f if l.startswith("model name"))
    except (OSError, StopIteration):
        pass
    with open("/proc/meminfo") as f:
        mem = int(f.readline().split()[1]) // 1024
    load = os.getloadavg()
    return (f"{cpu}, {os.cpu_count()} cores, {mem / 1024:.1f} GiB, {platform.system()} {platform.release()}, "
            f"load {load[0]:.1f} at the start")


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("parts", nargs="*", default=["pass", "firmware", "viewer", "predict", "report"],
                   help="parts to run (default all)")
    p.add_argument("--bin", default=f"{ROOT}/build/bin", help="the programs (default build/bin)")
    p.add_argument("--tests", default=None, help="the test probes (default BIN/../tests)")
    p.add_argument("--runs", type=int, default=3, help="runs per figure (default 3)")
    p.add_argument("--old-runs", type=int, default=1, help="runs under the 100 ms rule (default 1)")
    p.add_argument("--idle", type=int, default=60, help="idle seconds on a live link (default 60)")
    p.add_argument("--points", type=int, default=100, help="points of the pass (default 100)")
    p.add_argument("--firmware-kib", type=int, default=64, help="image size (default 64)")
    p.add_argument("--files", type=int, default=10000,
                   help="files in the big viewer folder and passes of the report (default 10000)")
    p.add_argument("--scan", action="store_true",
                   help="report: passes with sweeps across the track (the pointing page has work)")
    p.add_argument("--catalogue", type=lambda t: [int(x) for x in t.split(",") if x], default=[100, 1000, 8854],
                   help="sets of the 2023 catalogue planned by track-predict (default 100,1000,8854)")
    p.add_argument("--catalogue-runs", type=int, default=1, help="runs per catalogue size (default 1)")
    p.add_argument("--before", metavar="BIN", help="predict: also measure the track-predict in BIN (an older build)")
    a = p.parse_args()
    a.bin = os.path.abspath(a.bin)
    a.tests = os.path.abspath(a.tests or os.path.join(a.bin, "..", "tests"))
    isolate()
    if "pass" in a.parts and not os.environ.get("TUVARN_BENCH_NETNS"):
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", 6002)) == 0:
                sys.exit("port 6002 is in use: run as root (own network namespace) or free it")
    print(f"machine: {machine()}")
    print(f"runs per figure: {a.runs}, median shown")
    for part, fn in (("pass", bench_pass), ("firmware", bench_firmware), ("viewer", bench_viewer),
                     ("predict", bench_predict), ("report", bench_report)):
        if part in a.parts:
            fn(a)
            sys.stdout.flush()


if __name__ == "__main__":
    main()
