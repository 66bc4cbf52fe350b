#!/usr/bin/python3
"""Made-up element sets for tests: a satellite straight above a place at a
chosen UTC time (the making lives in track-predict's package)."""

import argparse
import os
import sys
from datetime import datetime, timedelta, timezone

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "track-predict"))

from trackpredict.demo import make_tle, overhead_tle  # noqa: E402,F401 (make_tle for the tests)


def main() -> int:
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("--lat", type=float, required=True)
    p.add_argument("--lon", type=float, required=True)
    p.add_argument("--in-seconds", type=float, required=True, help="culmination this far from now")
    p.add_argument("--catalog", type=int, default=90001)
    p.add_argument("--name", default="TESTSAT")
    args = p.parse_args()
    when = datetime.now(timezone.utc) + timedelta(seconds=args.in_seconds)
    sys.stdout.write(overhead_tle(args.lat, args.lon, when, args.catalog, name=args.name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
