#!/usr/bin/env python3
"""Benchmarks of the console on the stand-in (not a test):
idle CPU share on a live link, then correction-reply latency, CPU share and
resident memory over a whole pass with the stand-in pacing at 9600 baud.
Usage: scripts/bench-pass.py [build/bin] [idle seconds] [pass points]"""
import json, os, shutil, signal, statistics, subprocess, sys, tempfile, time

bindir = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/bin")
idle_s = int(sys.argv[2]) if len(sys.argv) > 2 else 60
points = int(sys.argv[3]) if len(sys.argv) > 3 else 100
tick = os.sysconf("SC_CLK_TCK")

def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / tick

def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0

def parse_t(s):
    # "2026-12-08T05:03:06.004Z" -> seconds of the day
    hms = s[11:-1]
    h, m, rest = hms.split(":")
    return int(h) * 3600 + int(m) * 60 + float(rest)

work = tempfile.mkdtemp(prefix="tuvarn-bench-")
os.makedirs(f"{work}/ports"); os.makedirs(f"{work}/track")
shutil.copy(os.path.join(os.path.dirname(__file__), "..", "examples", "station", "tuvarn.ini"), work)
env = dict(os.environ, TUVARN_PORT_DIR=f"{work}/ports", QT_QPA_PLATFORM="offscreen", TUVARN_DIALOGS="auto")
sim = subprocess.Popen([f"{bindir}/station-sim", "--port-dir", f"{work}/ports", "--port", "3",
                        "--transcript", f"{work}/sim.jsonl", "--baud-pace", "--travel", "1",
                        "--start-lead", "8", "--track-path", f"{work}/track/Track.txt",
                        "--pass-points", str(points), "--pass-lead", str(idle_s + 25),
                        "--no-control"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       text=True, env=env)
assert "ready" in sim.stdout.readline()
con = subprocess.Popen([f"{bindir}/station-console"], cwd=work, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    time.sleep(5)  # link up
    c0 = cpu_seconds(con.pid); t0 = time.time()
    time.sleep(idle_s)
    idle = (cpu_seconds(con.pid) - c0) / (time.time() - t0)
    print(f"idle on a live link (pass loaded, waiting): {100 * idle:.2f}% of one core over {idle_s} s, RSS {rss_kib(con.pid)} KiB")

    # The pass was loaded and uploaded during the idle window; it starts now.
    c0 = cpu_seconds(con.pid); t0 = time.time(); peak = 0
    deadline = t0 + 30 + points + 60
    while time.time() < deadline:
        peak = max(peak, rss_kib(con.pid))
        if os.path.isdir(f"{work}/data") and any(n.endswith(".dat") for n in os.listdir(f"{work}/data")):
            break
        time.sleep(0.5)
    busy = (cpu_seconds(con.pid) - c0) / (time.time() - t0)
    print(f"whole pass (start position to data file, {time.time() - t0:.0f} s): {100 * busy:.2f}% of one core, peak RSS {peak} KiB")

    requests, latencies = {}, []
    for line in open(f"{work}/sim.jsonl"):
        d = json.loads(line)
        if d.get("dir") == "tx" and d.get("kind") == "request":
            requests[d["pointIndex"]] = parse_t(d["t"])
        elif d.get("dir") == "rx" and d.get("kind") == "correction" and d.get("pointIndex") in requests:
            latencies.append(d["latencyMs"] if "latencyMs" in d
                             else 1000 * (parse_t(d["t"]) - requests[d["pointIndex"]]))
    if latencies:
        print(f"correction replies: {len(latencies)}, latency median {statistics.median(latencies):.1f} ms, "
              f"max {max(latencies):.1f} ms")
finally:
    con.send_signal(signal.SIGTERM); con.wait(10)
    sim.send_signal(signal.SIGTERM); sim.wait(10)
    print(f"work folder: {work}")
