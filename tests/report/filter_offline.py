#!/usr/bin/env python3
"""The pass tables' filter (satellite, errors only) in headless Chromium, from a
plain folder with every outside connection refused. Exit 77 (skipped) without
Chromium."""
import html.parser, os, shutil, subprocess, sys, tempfile

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--disable-default-apps", "--proxy-server=127.0.0.1:9", "--virtual-time-budget=5000"]


class Rows(html.parser.HTMLParser):
    """Rows of table.passes: (satellite, bad, hidden)."""
    def __init__(self):
        super().__init__()
        self.rows = []

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "tr" and "data-sat" in a:
            self.rows.append((a["data-sat"], "bad" in (a.get("class") or ""), "hidden" in a))


def visible(chromium, profile, url):
    out = subprocess.run([chromium, *CHROMIUM_FLAGS, "--user-data-dir=" + profile, "--dump-dom", url],
                         capture_output=True, text=True, timeout=120, check=True).stdout
    p = Rows()
    p.feed(out)
    return p.rows


def main():
    build = sys.argv[1]
    chromium = shutil.which("chromium")
    if not chromium:
        print("SKIP: chromium is not installed (apt-get install chromium)")
        return 77
    with tempfile.TemporaryDirectory() as work:
        data = os.path.join(work, "data")
        subprocess.run([os.path.join(build, "tests", "make-test-passes"), data, "12"], check=True,
                       stdout=subprocess.DEVNULL)
        with open(os.path.join(data, "BROKEN (9)_010226_000000.dat"), "w") as f:
            f.write("junk\n")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        subprocess.run([os.path.join(build, "bin", "track-report"), "--station", work], check=True, env=env,
                       stdout=subprocess.DEVNULL)
        index = "file://" + os.path.join(work, "report", "index.html")
        profile = os.path.join(work, "profile")
        failures = []
        cases = [("", lambda r: True),
                 ("#errors=1", lambda r: r[1]),
                 ("#sat=SIMSAT-2", lambda r: r[0] == "SIMSAT-2"),
                 ("#sat=SIMSAT-2&errors=1", lambda r: False)]
        for fragment, wanted in cases:
            rows = visible(chromium, profile, index + fragment)
            if len(rows) != 13:
                failures.append(f"{fragment or 'no filter'}: {len(rows)} rows, 13 expected")
            for row in rows:
                if row[2] == wanted(row):
                    failures.append(f"{fragment or 'no filter'}: {row[0]} (bad={row[1]}) hidden={row[2]}")
        for f in failures:
            print("FAIL:", f)
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
