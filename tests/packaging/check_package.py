#!/usr/bin/python3
"""Builds the Debian package of this build tree with cpack and checks it:
metadata (dpkg-deb -f), contents (dpkg-deb -c), what the installed programs
answer, the manual pages, the desktop entries, and lintian without errors."""

import argparse
import gzip
import os
import re
import select
import shlex
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

failures: list[str] = []


def check(ok: bool, what: str) -> None:
    print(("ok    " if ok else "FAIL  ") + what)
    if not ok:
        failures.append(what)


def run(*cmd: str, **kw) -> subprocess.CompletedProcess:
    return subprocess.run(cmd, capture_output=True, text=True, **kw)


def desktop_exec_argv(value: str) -> list[str]:
    """The argv of a desktop entry's Exec key: string escapes first, then the
    Exec quoting rules (double quotes; \\" \\` \\$ \\\\ inside them)."""
    unescaped = re.sub(r"\\(.)", lambda m: {"s": " ", "n": "\n", "t": "\t", "r": "\r"}.get(m.group(1), m.group(1)), value)
    argv, cur, quoted, i, started = [], "", False, 0, False
    while i < len(unescaped):
        c = unescaped[i]
        if quoted:
            if c == "\\" and i + 1 < len(unescaped) and unescaped[i + 1] in '"`$\\':
                cur += unescaped[i + 1]
                i += 1
            elif c == '"':
                quoted = False
            else:
                cur += c
        elif c == '"':
            quoted, started = True, True
        elif c == " ":
            if started:
                argv.append(cur)
            cur, started = "", False
        else:
            cur += c
            started = True
        i += 1
    if started:
        argv.append(cur)
    return argv


def desktop_keys(path: Path) -> dict[str, str]:
    keys: dict[str, str] = {}
    group = None
    for line in path.read_text().splitlines():
        if line.startswith("["):
            group = line
        elif "=" in line and not line.startswith("#"):
            k, v = line.split("=", 1)
            keys[f"{group}{k}"] = v
    return keys


def check_demo(usr: Path, tmp: Path, env: dict) -> None:
    """The demo from the installed programs alone, as the README gives it: a
    made-up satellite over a copy of the example station planned and written,
    and the stand-in on such a copy; nothing written beside the package."""
    example = usr / "share/doc/tuvarn/examples/station"
    predict, sim = tmp / "demo-predict", tmp / "demo-sim"
    shutil.copytree(example, predict)
    shutil.copytree(example, sim)
    tp = str(usr / "bin" / "track-predict")
    r = run(tp, "--station", str(predict), "--demo-satellite", "180", env=env, timeout=60)
    check(r.returncode == 0 and r.stdout.startswith("DEMOSAT\n1 25544U"), f"track-predict --demo-satellite {r.stderr!r}")
    (predict / "elements" / "demo.tle").write_text(r.stdout)
    r = run(tp, "--station", str(predict), "--once", env=env, timeout=120)
    check(r.returncode == 0 and "written: DEMOSAT" in r.stdout and (predict / "track/Track.txt").exists(),
          f"track-predict --once writes the demo pass {r.stdout!r} {r.stderr!r}")
    proc = subprocess.Popen([str(usr / "bin" / "station-sim"), "--station", str(sim), "--demod-port", "0",
                             "--no-control"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
    try:
        ready = select.select([proc.stdout], [], [], 20)[0]
        line = proc.stdout.readline() if ready else ""
        check(line.startswith(f"ready port={sim}/ports/COM3 ") and (sim / "ports/COM3").is_symlink()
              and (sim / "track/Track.txt").exists(), f"station-sim --station prepares the demo {line!r}")
    finally:
        proc.terminate()
        proc.communicate(timeout=20)
    cached = [str(p) for p in usr.rglob("__pycache__")]
    check(not cached, f"no bytecode written into the package's folders {cached}")


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--build-dir", required=True)
    ap.add_argument("--source-dir", required=True)
    ap.add_argument("--version", required=True)
    a = ap.parse_args()
    src = Path(a.source_dir)
    version = f"{a.version}-1"
    arch = run("dpkg", "--print-architecture").stdout.strip()

    with tempfile.TemporaryDirectory() as tmp:
        tmp = Path(tmp)
        r = run("cpack", "--config", str(Path(a.build_dir) / "CPackConfig.cmake"), "-B", str(tmp / "out"))
        debs = list((tmp / "out").glob("*.deb"))
        check(r.returncode == 0 and len(debs) == 1, "cpack builds one package")
        if not debs:
            print(r.stdout, r.stderr)
            return 1
        deb = debs[0]
        check(deb.name == f"tuvarn_{version}_{arch}.deb", f"package file name {deb.name}")

        # Metadata.
        fields = {}
        for line in run("dpkg-deb", "-f", str(deb)).stdout.splitlines():
            if not line.startswith(" ") and ":" in line:
                k, v = line.split(":", 1)
                fields[k] = v.strip()
        check(fields.get("Package") == "tuvarn", "Package: tuvarn")
        check(fields.get("Version") == version, f"Version: {version}")
        check(fields.get("Architecture") == arch, f"Architecture: {arch}")
        depends = [d.strip() for d in fields.get("Depends", "").split(",")]
        names = {re.split(r"[ (|]", d)[0] for d in depends}
        for lib in ("libqt5core5a", "libqt5gui5", "libqt5widgets5", "libqt5network5", "libqt5serialport5", "libc6"):
            check(lib in names, f"Depends computed: {lib}")
        check(all("(>=" in d for d in depends if d.startswith("libqt5")), "Qt dependencies carry minimum versions")
        if (src / "tools" / "track-predict").exists():
            check("python3" in names, "Depends: python3 (track-predict)")
            recommends = fields.get("Recommends", "")
            check("python3-skyfield" in recommends and "python3-sgp4" in recommends,
                  "Recommends: python3-skyfield, python3-sgp4")
            check("python3-skyfield" not in fields.get("Depends", ""), "orbit libraries not required")
        for k in ("Maintainer", "Description", "Section", "Priority", "Installed-Size"):
            check(bool(fields.get(k)), f"{k} present")

        # Contents.
        listing = run("dpkg-deb", "-c", str(deb)).stdout.splitlines()
        entries = {}
        for line in listing:
            parts = line.split(None, 5)
            entries[parts[5].split(" -> ")[0].lstrip(".")] = (parts[0], parts[1])
        check(all(own == "root/root" for _, own in entries.values()), "everything owned by root/root")
        bins = sorted(p.split("/")[-1] for p in entries if p.startswith("/usr/bin/") and not p.endswith("/"))
        for program in ("station-console", "track-viewer", "station-sim"):
            check(program in bins, f"/usr/bin/{program}")
        for tool in ("track-predict", "track-report"):
            if (src / "tools" / tool).exists():
                check(tool in bins, f"/usr/bin/{tool}")
        for program in bins:
            check(entries[f"/usr/bin/{program}"][0] == "-rwxr-xr-x", f"{program} mode 755")
            check(f"/usr/share/man/man1/{program}.1.gz" in entries, f"manual page of {program}")
        for path, (mode, _) in entries.items():
            if path.endswith("/"):
                if mode != "drwxr-xr-x":
                    check(False, f"directory mode 755: {path}")
            elif not path.startswith("/usr/bin/") and mode != "-rw-r--r--":
                check(False, f"file mode 644: {path}")
        doc = "/usr/share/doc/tuvarn/"
        for f in ("copyright", "changelog.Debian.gz", "examples/station/tuvarn.ini",
                  "examples/udev/99-tuvarn-com.rules"):
            check(doc + f in entries, doc + f)
        check(doc + "examples/station/track/" in entries, "example station has its track folder")
        for f in ("/usr/share/applications/tuvarn-station-console.desktop",
                  "/usr/share/applications/tuvarn-track-viewer.desktop",
                  "/usr/share/tuvarn/autostart/tuvarn-station-console.desktop"):
            check(f in entries, f)
        check(not any("/etc/xdg/autostart" in p for p in entries), "no autostart entry is active by itself")

        root = tmp / "root"
        run("dpkg-deb", "-x", str(deb), str(root))
        usr = root / "usr"
        check((usr / "share/doc/tuvarn/examples/station/tuvarn.ini").read_bytes()
              == (src / "examples/station/tuvarn.ini").read_bytes(), "example settings as in the tree")
        first = gzip.decompress((usr / "share/doc/tuvarn/changelog.Debian.gz").read_bytes()).decode().splitlines()[0]
        check(first.startswith(f"tuvarn ({version}) "), f"changelog's newest entry is {version}")

        # The programs, with no display: version and help answer by themselves.
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
        # Every program that has a --version reports the one package version.
        for program in bins:
            r = run(str(usr / "bin" / program), "--version", env=env, timeout=30)
            if program in ("station-console", "track-viewer", "station-sim") or r.returncode == 0:
                check(r.returncode == 0 and r.stdout == f"{program} {a.version}\n",
                      f"{program} --version: {r.stdout!r}")
        for program in ("station-console", "track-viewer"):
            r = run(str(usr / "bin" / program), "--help", env=env, timeout=30)
            check(r.returncode == 0 and "--station DIR" in r.stdout, f"{program} --help")

        if "track-predict" in bins:
            check_demo(usr, tmp, env)

        # Manual pages: compressed without name or time, and roff without warnings.
        for page in sorted((usr / "share/man/man1").glob("*.gz")):
            raw = page.read_bytes()
            check(raw[3] & 0x08 == 0 and raw[4:8] == b"\0\0\0\0", f"{page.name}: gzip -n")
            r = run("man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", str(page),
                    env={**env, "LC_ALL": "C.UTF-8", "MANROFFSEQ": ""})
            check(r.returncode == 0 and r.stderr.strip() == "", f"{page.name}: no roff warnings {r.stderr.strip()!r}")
            text = run("man", "-l", str(page), env={**env, "MANWIDTH": "80"}).stdout
            check("@PROJECT_VERSION@" not in text and f"tuvarn {a.version}" in text, f"{page.name}: version filled in")

        # Desktop entries: valid, icons present, and their Exec lines really
        # start the program on ~/station (a missing one is reported by the program).
        for entry in sorted((usr / "share").glob("**/*.desktop")):
            r = run("desktop-file-validate", str(entry))
            check(r.returncode == 0 and not r.stdout.strip(), f"{entry.name} valid {r.stdout.strip()!r}")
            keys = desktop_keys(entry)
            icon = keys.get("[Desktop Entry]Icon", "")
            check((usr / f"share/icons/hicolor/scalable/apps/{icon}.svg").exists(), f"{entry.name}: icon {icon}")
            for key, value in keys.items():
                if not key.endswith("]Exec"):
                    continue
                home = tmp / "home"
                home.mkdir(exist_ok=True)
                argv = desktop_exec_argv(value)
                r = run(*argv, env={**env, "HOME": str(home), "PATH": f"{usr / 'bin'}:/usr/bin:/bin",
                                    "QT_QPA_PLATFORM": "offscreen", "TUVARN_DIALOGS": "auto"}, timeout=30)
                check(r.returncode == 2 and f"Station folder {home}/station: No such file or directory" in r.stderr,
                      f"{entry.parent.name}/{entry.name} {key}: {shlex.join(argv)} starts on ~/station")
                if "qzx" in value:
                    check(argv[-1].endswith(" qzx"), f"{entry.name}: service action passes the mode word")

        # lintian: no errors (warnings are shown; unstripped programs are errors).
        r = run("lintian", "--fail-on", "error", "--tag-display-limit", "0", str(deb))
        print(r.stdout, r.stderr, sep="")
        check(r.returncode == 0, "lintian reports no errors")

    print(f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
