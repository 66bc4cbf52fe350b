"""Orbital element sets: TLE and three-line files, OMM in CSV, XML or JSON; a
file or a folder of files, read again when a file changes."""

from __future__ import annotations

import csv
import io
import json
import math
import os
import xml.etree.ElementTree as ET
from dataclasses import dataclass
from datetime import datetime, timedelta, timezone
from typing import Dict, List, Optional, Tuple

from sgp4.api import Satrec
from sgp4 import omm

from .settings import InputError

_JD_UNIX = 2440587.5


@dataclass
class ElementSet:
    catalog: int
    name: str  # as the set gives it; may be empty
    satrec: Satrec
    source: str  # file name
    line: int  # line (or record) in that file

    @property
    def epoch(self) -> datetime:
        days = (self.satrec.jdsatepoch - _JD_UNIX) + self.satrec.jdsatepochF
        return datetime(1970, 1, 1, tzinfo=timezone.utc) + timedelta(days=days)

    @property
    def display_name(self) -> str:
        return self.name or f"NORAD {self.catalog}"

    def age_days(self, now: datetime) -> float:
        return (now - self.epoch).total_seconds() / 86400.0

    def orbit_number(self, when: datetime) -> int:
        """Revolution count at a time: the set's count at its epoch plus the
        ascending-node crossings since (mean motion, from the node)."""
        s = self.satrec
        revs_per_day = s.no_kozai * 1440.0 / (2 * math.pi)
        phase = ((s.argpo + s.mo) / (2 * math.pi)) % 1.0
        return int(s.revnum + math.floor(phase + self.age_days(when) * revs_per_day))


def _tle_checksum(line: str) -> int:
    return sum(int(c) if c.isdigit() else (1 if c == "-" else 0) for c in line[:68]) % 10


def _tle_line_error(line: str, number: str) -> Optional[str]:
    if len(line) < 69 or not line.startswith(number + " "):
        return f"not a TLE line {number} (69 characters starting \"{number} \")"
    if not line[68].isdigit() or int(line[68]) != _tle_checksum(line):
        return f"checksum {line[68]} but the line sums to {_tle_checksum(line)}"
    return None


def _parse_tle(text: str, source: str) -> List[ElementSet]:
    out: List[ElementSet] = []
    lines = [l.rstrip() for l in text.splitlines()]
    name = ""
    name_seen = False
    i = 0
    while i < len(lines):
        line = lines[i]
        n = i + 1
        if not line.strip():
            i += 1
            continue
        if line.startswith("1 ") and len(line) >= 60:
            second = lines[i + 1] if i + 1 < len(lines) else ""
            for text_line, number, at in ((line, "1", n), (second, "2", n + 1)):
                error = _tle_line_error(text_line, number)
                if error:
                    raise InputError(f"{source} line {at}: {error}")
            if line[2:7] != second[2:7]:
                raise InputError(f"{source} line {n + 1}: catalogue number differs from line {n}")
            try:
                satrec = Satrec.twoline2rv(line, second)
            except (ValueError, IndexError) as e:
                raise InputError(f"{source} line {n}: {e}") from None
            if satrec.error:
                raise InputError(f"{source} line {n}: elements refused by SGP4 (error {satrec.error})")
            out.append(ElementSet(satrec.satnum, name if name_seen else "", satrec, source, n))
            name_seen = False
            i += 2
            continue
        if line.startswith("2 "):
            raise InputError(f"{source} line {n}: TLE line 2 without line 1")
        # A name line; three-line files from some catalogues begin it with "0 ".
        name = line[2:].strip() if line.startswith("0 ") else line.strip()
        name_seen = True
        i += 1
    return out


_OMM_DEFAULTS = {"CLASSIFICATION_TYPE": "U", "OBJECT_ID": "", "EPHEMERIS_TYPE": "0",
                 "ELEMENT_SET_NO": "999", "REV_AT_EPOCH": "0"}
_OMM_REQUIRED = ("EPOCH", "MEAN_MOTION", "ECCENTRICITY", "INCLINATION", "RA_OF_ASC_NODE",
                 "ARG_OF_PERICENTER", "MEAN_ANOMALY", "NORAD_CAT_ID", "BSTAR",
                 "MEAN_MOTION_DOT", "MEAN_MOTION_DDOT")


def _omm_set(fields: Dict[str, object], source: str, where: int) -> ElementSet:
    clean = {k.strip().upper(): ("" if v is None else str(v).strip()) for k, v in fields.items() if k}
    for key in _OMM_REQUIRED:
        if not clean.get(key):
            raise InputError(f"{source} line {where}: {key} missing")
    for key, value in _OMM_DEFAULTS.items():
        if not clean.get(key):
            clean[key] = value
    epoch = clean["EPOCH"].rstrip("Z")
    if "." not in epoch:
        epoch += ".0"
    clean["EPOCH"] = epoch
    satrec = Satrec()
    try:
        omm.initialize(satrec, clean)
    except (ValueError, KeyError) as e:
        raise InputError(f"{source} line {where}: {e}") from None
    if satrec.error:
        raise InputError(f"{source} line {where}: elements refused by SGP4 (error {satrec.error})")
    return ElementSet(int(clean["NORAD_CAT_ID"]), clean.get("OBJECT_NAME", ""), satrec, source, where)


def _parse_csv(text: str, source: str) -> List[ElementSet]:
    reader = csv.DictReader(io.StringIO(text))
    return [_omm_set(row, source, reader.line_num) for row in reader]


def _parse_json(text: str, source: str) -> List[ElementSet]:
    try:
        data = json.loads(text)
    except json.JSONDecodeError as e:
        raise InputError(f"{source} line {e.lineno}: {e.msg}") from None
    records = data if isinstance(data, list) else [data]
    out = []
    for k, record in enumerate(records, start=1):
        if not isinstance(record, dict):
            raise InputError(f"{source} line 1: record {k} is not an object")
        out.append(_omm_set(record, source, k))
    return out


def _parse_xml(text: str, source: str) -> List[ElementSet]:
    try:
        ET.fromstring(text)
        segments = list(omm.parse_xml(io.StringIO(text)))
    except ET.ParseError as e:
        raise InputError(f"{source} line {e.position[0]}: {e}") from None
    except AttributeError:
        raise InputError(f"{source} line 1: OMM segment without metadata or mean elements") from None
    return [_omm_set(fields, source, k) for k, fields in enumerate(segments, start=1)]


def parse_elements(text: str, source: str) -> List[ElementSet]:
    """Element sets of one file's text; the format follows the file's content."""
    head = text.lstrip()
    if head.startswith("<"):
        return _parse_xml(text, source)
    if head.startswith(("[", "{")):
        return _parse_json(text, source)
    first = head.split("\n", 1)[0]
    if "NORAD_CAT_ID" in first.upper() or "MEAN_MOTION" in first.upper():
        return _parse_csv(text, source)
    return _parse_tle(text, source)


# In a folder only these are element files (a README beside them is not).
SUFFIXES = (".tle", ".3le", ".txt", ".csv", ".xml", ".json")


def _element_files(path: str) -> List[str]:
    if os.path.isdir(path):
        return sorted(os.path.join(path, n) for n in os.listdir(path)
                      if not n.startswith(".") and n.lower().endswith(SUFFIXES)
                      and os.path.isfile(os.path.join(path, n)))
    return [path]


class ElementStore:
    """The sets of a file or folder, newest epoch per catalogue number."""

    def __init__(self, path: str) -> None:
        self.path = path
        self._signature: Optional[Tuple] = None
        self.sets: Dict[int, ElementSet] = {}

    def _current_signature(self) -> Tuple:
        try:
            files = _element_files(self.path)
            return tuple((f, os.stat(f).st_mtime_ns, os.stat(f).st_size) for f in files)
        except OSError as e:
            raise InputError(f"{self.path}: cannot be read ({e.strerror})") from None

    def refresh(self) -> bool:
        """Reads the files again when one changed; True when it did. Raises
        InputError and keeps the sets it had when a file is bad."""
        signature = self._current_signature()
        if signature == self._signature:
            return False
        sets: Dict[int, ElementSet] = {}
        for name, _, _ in signature:
            try:
                with open(name, encoding="utf-8", errors="replace") as f:
                    text = f.read()
            except OSError as e:
                raise InputError(f"{name}: cannot be read ({e.strerror})") from None
            for s in parse_elements(text, name):
                old = sets.get(s.catalog)
                if old is None or s.epoch > old.epoch:
                    sets[s.catalog] = s
        self.sets = sets
        self._signature = signature
        return True

    def get(self, catalog: int) -> Optional[ElementSet]:
        return self.sets.get(catalog)

