#!/usr/bin/python3
"""Fuzzes track-predict's element-file reader: mutated real files (TLE, OMM in
CSV, XML and JSON) through the parser for a time budget. The reader may
return sets and refusals or refuse the whole file with InputError; any other
exception is a finding, kept in the artifact folder, and fails the run.

    tests/fuzz/fuzz_elements.py --seconds 30 [--seed N] [--artifacts DIR]
"""

import argparse
import json
import os
import random
import sys
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
sys.path.insert(0, os.path.join(ROOT, "tools", "track-predict"))
sys.dont_write_bytecode = True

from trackpredict.elements import read_sets  # noqa: E402
from trackpredict.settings import InputError  # noqa: E402

MAX_INPUT = 64 * 1024
TOKENS = ["nan", "NaN", "Infinity", "-Infinity", "1e999", "-1", "0", "\n", "\r\n", "\0", "\x1b", "\u2028",
          "9" * 25, "-9" * 12, ",", '"', "<", ">", "</segment>", "<segment>", "{", "}", "[", "]", ":",
          "MEAN_MOTION", "NORAD_CAT_ID", "EPOCH", "2026-13-40T25:61:61", "\u0663", "\uff15", "1 ", "2 ", "0 "]


def seeds():
    found = []
    # The shared folder beside the checkout and at its usual place, each once.
    folders = [os.path.join(ROOT, "tests", "data", "predict"), os.path.join(ROOT, "..", "shared", "elements"),
               "/work/shared/elements"]
    for folder in dict.fromkeys(os.path.realpath(f) for f in folders):
        if not os.path.isdir(folder):
            continue
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            if os.path.isfile(path) and name.lower().endswith((".tle", ".txt", ".csv", ".xml", ".json")):
                with open(path, encoding="utf-8", errors="replace") as f:
                    found.append(f.read(MAX_INPUT))
    omm = {"OBJECT_NAME": "SEED", "EPOCH": "2026-12-07T12:00:00", "MEAN_MOTION": 15.2, "ECCENTRICITY": 0.0001,
           "INCLINATION": 97.5, "RA_OF_ASC_NODE": 165.3, "ARG_OF_PERICENTER": 0, "MEAN_ANOMALY": 236.3,
           "NORAD_CAT_ID": 90001, "BSTAR": 0, "MEAN_MOTION_DOT": 0, "MEAN_MOTION_DDOT": 0}
    found.append(json.dumps([omm, omm], indent=1))
    found.append(",".join(omm) + "\n" + ",".join(str(v) for v in omm.values()) + "\n")
    return found


def mutate(rng: random.Random, text: str, pool) -> str:
    for _ in range(rng.randint(1, 8)):
        op = rng.randrange(7)
        at = rng.randint(0, len(text))
        if op == 0 and text:  # replace one character
            text = text[:at] + chr(rng.choice([rng.randrange(32, 127), rng.randrange(0, 0x3000)])) + text[at + 1:]
        elif op == 1:
            text = text[:at] + rng.choice(TOKENS) + text[at:]
        elif op == 2:  # cut a piece out
            text = text[:at] + text[at + rng.randint(1, 200):]
        elif op == 3:  # repeat a piece
            piece = text[at:at + rng.randint(1, 80)]
            text = text[:at] + piece * rng.randint(2, 50) + text[at:]
        elif op == 4:  # splice in another seed
            other = rng.choice(pool)
            b = rng.randint(0, len(other))
            text = text[:at] + other[b:b + rng.randint(1, 400)] + text[at:]
        elif op == 5 and text:  # a digit changed (TLE checksums, numbers)
            digits = [i for i in range(max(0, at - 300), min(len(text), at + 300)) if text[i].isdigit()]
            if digits:
                i = rng.choice(digits)
                text = text[:i] + str(rng.randrange(10)) + text[i + 1:]
        elif op == 6:
            text = text[:at]
    return text[:MAX_INPUT]


def main() -> int:
    ap = argparse.ArgumentParser()
    ap.add_argument("--seconds", type=float, default=30)
    ap.add_argument("--seed", type=int, default=None)
    ap.add_argument("--artifacts", default=os.path.join(ROOT, "build-asan", "fuzz", "artifacts"))
    a = ap.parse_args()
    seed = a.seed if a.seed is not None else int(time.time())
    rng = random.Random(seed)
    pool = seeds()
    # The shapes a parser recursing on its input would trip over.
    fixed = ["[" * 100000, "{\"a\":" * 50000, "<a>" * 50000, "NORAD_CAT_ID,MEAN_MOTION\n\"" + "x" * 140000]
    end = time.monotonic() + a.seconds
    runs = 0
    while time.monotonic() < end:
        text = fixed[runs] if runs < len(fixed) else mutate(rng, rng.choice(pool), pool)
        runs += 1
        try:
            read_sets(text, "fuzz")
        except InputError:
            pass
        except Exception:  # noqa: BLE001 (anything else is the finding)
            os.makedirs(a.artifacts, exist_ok=True)
            path = os.path.join(a.artifacts, f"fuzz_elements-{seed}-{runs}.txt")
            with open(path, "w", encoding="utf-8", errors="surrogatepass") as f:
                f.write(text)
            print(f"fuzz_elements: FINDING after {runs} runs (seed {seed}), input in {path}")
            traceback.print_exc()
            return 1
    print(f"fuzz_elements: {runs} runs in {a.seconds:g} s (seed {seed}), no finding")
    return 0


if __name__ == "__main__":
    sys.exit(main())
