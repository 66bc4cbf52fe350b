#!/usr/bin/python3
"""Soak: station-sim and station-console in a scratch station folder for many
passes back to back, with a fault plan over them (port dropped, controller
silent or restarting, demodulator stopped, garbage on the line, bad or
piecemeal track files, data folder read-only or full, console restarted or
killed mid-pass).
Prints one row per pass and totals; exits 1 when a pass is lost that the
faults did not make impossible, when the console stopped or hung, when its
memory grew by 2 MB or more, or when anything half-written was left behind."""
import argparse
import ctypes
import fcntl
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import soaklib  # noqa: E402
import soakpass  # noqa: E402
import soakreport  # noqa: E402

# Fault kinds whose failures wait on a fix elsewhere. A failing pass of such a
# kind is still reported as a finding, but with --tolerate-known it does not
# fail the run. Remove an entry once its fix has landed.
KNOWN_ISSUES = {
    # "fault-kind": "what goes wrong, until its fix lands",
}

# One entry per pass; the plan is repeated when more passes are asked for.
LONG_PLAN = [
    "none", "drop-before-upload", "console-restart", "garbage", "drop-countdown",
    "silent-mid", "bad-track", "demod-mid", "drop-mid", "reset-before-start",
    "pieces", "two-files", "kill9-mid", "readonly-finish", "demod-whole",
    "full-disk-finish", "none", "garbage", "drop-before-upload", "reset-before-start",
    "silent-mid", "bad-track", "drop-mid", "none",
]
SHORT_PLAN = ["drop-countdown", "console-restart", "silent-mid", "readonly-finish",
              "reset-before-start", "kill9-mid"]

FAULT_WORDS = {
    "none": "-",
    "drop-before-upload": "port dropped 5 s before the upload",
    "console-restart": "console SIGTERM + restart before the pass",
    "garbage": "garbage bursts (countdown, mid-pass)",
    "drop-countdown": "port dropped 3 s in the countdown",
    "silent-mid": "controller silent 4 s mid-pass",
    "bad-track": "bad track file for 6 s first",
    "demod-mid": "demodulator stopped mid-pass, restarted",
    "drop-mid": "port dropped 3 s mid-pass",
    "reset-before-start": "controller restart between upload and start",
    "pieces": "track file written in 4 pieces, 0.5 s apart",
    "two-files": "next track file right after this one was taken",
    "readonly-finish": "data/ read-only over the finish",
    "demod-whole": "demodulator stopped across the pass",
    "full-disk-finish": "data/ full over the finish (tmpfs)",
    "kill9-mid": "console kill -9 mid-pass, restarted at once",
}


def loopback_up():
    # SIOCGIFFLAGS / SIOCSIFFLAGS with IFF_UP on "lo", as `ip link set lo up`.
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    try:
        req = struct.pack("16sh", b"lo", 0)
        flags = struct.unpack("16sh", fcntl.ioctl(s, 0x8913, req))[1]
        fcntl.ioctl(s, 0x8914, struct.pack("16sh", b"lo", flags | 1))
    finally:
        s.close()


def isolate(argv):
    """As root, run again in private network and mount namespaces: the
    demodulator port cannot meet another station's, and the tmpfs for the
    full-disk fault disappears with the run."""
    if os.environ.get("SOAK_ISOLATED") == "1":
        loopback_up()
        return True
    if os.geteuid() != 0 or not shutil.which("unshare"):
        return False
    env = dict(os.environ, SOAK_ISOLATED="1")
    cmd = ["unshare", "--net", "--mount", "--propagation", "private", "--",
           sys.executable, os.path.abspath(__file__)] + argv
    try:
        sys.exit(subprocess.call(cmd, env=env, preexec_fn=die_with_parent))
    except KeyboardInterrupt:
        sys.exit(130)


def die_with_parent():
    # The children get SIGTERM should the soak itself die.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


def stop_on_sigterm(signum, frame):
    # A test runner's timeout ends the soak through the same cleanup as Ctrl+C.
    raise KeyboardInterrupt


def main():
    signal.signal(signal.SIGTERM, stop_on_sigterm)
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--passes", type=int, default=24, help="number of passes (default 24)")
    ap.add_argument("--short", action="store_true",
                    help="the CI form: 5 passes of 20 points, its own fault plan")
    ap.add_argument("--points", type=int, help="points (seconds) per pass (default 30, short 20)")
    ap.add_argument("--lead", type=int, help="track file written this long before the start, s "
                                             "(default 40, short 32)")
    ap.add_argument("--plan", help="comma-separated fault kinds instead of the built-in plan")
    ap.add_argument("--bin-dir", default=os.path.join(os.path.dirname(__file__), "..", "build", "bin"),
                    help="folder with station-console and station-sim (default build/bin)")
    ap.add_argument("--demod-port", type=int, default=6002)
    ap.add_argument("--keep", action="store_true", help="keep the station folder")
    ap.add_argument("--tolerate-known", action="store_true",
                    help="failures of the fault kinds in KNOWN_ISSUES do not fail the run")
    ap.add_argument("--no-isolate", action="store_true",
                    help="do not re-run in private network and mount namespaces")
    args = ap.parse_args()

    isolated = False if args.no_isolate else isolate(sys.argv[1:])
    if args.short:
        plan = SHORT_PLAN[:] if not args.plan else args.plan.split(",")
        points = args.points or 20
        lead = args.lead or 32
    else:
        base = args.plan.split(",") if args.plan else LONG_PLAN
        plan = [base[i % len(base)] for i in range(args.passes)]
        points = args.points or 30
        lead = args.lead or 40
    unknown = [k for k in plan if k not in FAULT_WORDS]
    if unknown:
        ap.error("unknown fault kinds: " + ", ".join(unknown))

    bindir = os.path.abspath(args.bin_dir)
    for prog in ("station-console", "station-sim"):
        if not os.access(os.path.join(bindir, prog), os.X_OK):
            ap.error(f"{bindir}/{prog} not found (build it, or give --bin-dir)")

    work = tempfile.mkdtemp(prefix="tuvarn-soak-")
    notes = []
    if isolated:
        notes.append("network: private namespace, loopback only")
    else:
        notes.append("network: shared loopback (not root or no unshare: not isolated)")
    st = soaklib.Station(work, bindir, args.demod_port, die_with_parent, isolated)
    tmpfs = False
    if "full-disk-finish" in plan:
        tmpfs = isolated and st.mount_tmpfs_data()
        notes.append("data/ on a 16 MB tmpfs" if tmpfs else
                     "full-disk fault skipped: needs root for a private tmpfs")
    runner = soakpass.Runner(st, points, lead, tmpfs)
    started = time.time()
    ok = False
    try:
        st.start_sim()
        st.start_console()
        for k, kind in enumerate(plan, start=1):
            runner.run_pass(k, kind)
            print(f"pass {k}/{len(plan)} {kind}: done", flush=True)
        ok = True
    except KeyboardInterrupt:
        notes.append("interrupted")
    except soaklib.Abort as e:
        notes.append(f"aborted: {e}")
    finally:
        st.stop_all()
    report = soakreport.Report(st, runner, KNOWN_ISSUES, FAULT_WORDS, time.time() - started, notes)
    failed = report.print(tolerate_known=args.tolerate_known) or not ok
    if args.keep or failed:
        if st.tmpfs:
            # The tmpfs goes with the namespace: keep a copy of what it held.
            shutil.copytree(st.data_dir, os.path.join(work, "data.kept"))
        print(f"station folder kept: {work}")
    else:
        st.unmount_tmpfs_data()
        shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
