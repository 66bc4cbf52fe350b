"""Orbital element sets: TLE and three-line files, OMM in CSV, XML or JSON; a
file or a folder of files, read again when a file changes."""

from __future__ import annotations

import csv
import io
import json
import math
import os
import re
import xml.etree.ElementTree as ET
from dataclasses import dataclass
from datetime import datetime, timedelta, timezone
from typing import Dict, List, Optional, Tuple

from sgp4.api import Satrec
from sgp4 import omm

from .safetext import clean_name, read_limited
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


_DIGITS = "0123456789"


def _tle_checksum(line: str) -> int:
    return sum(int(c) if c in _DIGITS else (1 if c == "-" else 0) for c in line[:68]) % 10


def _tle_line_error(line: str, number: str) -> Optional[str]:
    if len(line) < 69 or not line.startswith(number + " "):
        return f"not a TLE line {number} (69 characters starting \"{number} \")"
    if line[68] not in _DIGITS or int(line[68]) != _tle_checksum(line):
        return f"checksum {line[68]} but the line sums to {_tle_checksum(line)}"
    return None


def _catalog_of(line: str) -> Optional[int]:
    field = line[2:7].strip()
    return int(field) if field and all(c in _DIGITS for c in field) else None


# What SGP4 (in C or in Python) raises for numbers it cannot use.
_SGP4_FAILURES = (ValueError, KeyError, IndexError, TypeError, ArithmeticError)


class Refusal:
    """One element set (or a whole file) left out, with the reason."""

    def __init__(self, message: str, catalog: Optional[int] = None) -> None:
        self.message = message
        self.catalog = catalog

    def __str__(self) -> str:
        return self.message


def _checked(satrec: Satrec, where: str) -> Satrec:
    """Refuses elements SGP4 cannot use: what it reports itself, and what it
    turns silently into NaN or a position nowhere near the Earth."""
    if satrec.error:
        raise InputError(f"{where}: elements refused by SGP4 (error {satrec.error})")
    values = (satrec.no_kozai, satrec.ecco, satrec.inclo, satrec.nodeo, satrec.argpo, satrec.mo,
              satrec.bstar, satrec.ndot, satrec.nddot, satrec.jdsatepoch, satrec.jdsatepochF)
    if not all(math.isfinite(v) for v in values):
        raise InputError(f"{where}: an element is not a finite number")
    if satrec.no_kozai <= 0:
        raise InputError(f"{where}: mean motion not above 0")
    if not 0 <= satrec.ecco < 1:
        raise InputError(f"{where}: eccentricity not from 0 to below 1")
    if not 1721425.5 <= satrec.jdsatepoch + satrec.jdsatepochF <= 5373484.5:  # years 1 to 9999
        raise InputError(f"{where}: epoch out of range")
    try:
        error, position, _ = satrec.sgp4(satrec.jdsatepoch, satrec.jdsatepochF)
    except _SGP4_FAILURES as e:  # the library's pure-Python form raises
        raise InputError(f"{where}: no position at the epoch ({e})") from None
    if error or not all(math.isfinite(v) for v in position):
        raise InputError(f"{where}: no position at the epoch (SGP4 error {error})")
    return satrec


def _element_set(catalog: int, name: str, satrec: Satrec, source: str, line: int) -> ElementSet:
    return ElementSet(catalog, clean_name(name), satrec, source, line)


def _parse_tle(text: str, source: str) -> Tuple[List[ElementSet], List[Refusal]]:
    out: List[ElementSet] = []
    refused: List[Refusal] = []
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
            try:
                for text_line, number, at in ((line, "1", n), (second, "2", n + 1)):
                    error = _tle_line_error(text_line, number)
                    if error:
                        raise InputError(f"{source} line {at}: {error}")
                try:
                    motion = float(second[52:63])
                except ValueError:
                    motion = 1.0  # SGP4's own reading reports it
                if not motion > 0:
                    raise InputError(f"{source} line {n + 1}: mean motion not above 0")
                if line[2:7] != second[2:7]:
                    raise InputError(f"{source} line {n + 1}: catalogue number differs from line {n}")
                try:
                    satrec = Satrec.twoline2rv(line, second)
                except _SGP4_FAILURES as e:
                    raise InputError(f"{source} line {n}: elements refused by SGP4 ({e})") from None
                out.append(_element_set(satrec.satnum, name if name_seen else "",
                                        _checked(satrec, f"{source} line {n}"), source, n))
            except InputError as e:
                refused.append(Refusal(str(e), _catalog_of(line)))
            name_seen = False
            i += 2 if second.startswith("2 ") else 1
            continue
        if line.startswith("2 "):
            refused.append(Refusal(f"{source} line {n}: TLE line 2 without line 1", _catalog_of(line)))
            name_seen = False
            i += 1
            continue
        # A name line; three-line files from some catalogues begin it with "0 ".
        name = line[2:].strip() if line.startswith("0 ") else line.strip()
        name_seen = True
        i += 1
    return out, refused


_OMM_DEFAULTS = {"CLASSIFICATION_TYPE": "U", "OBJECT_ID": "", "EPHEMERIS_TYPE": "0",
                 "ELEMENT_SET_NO": "999", "REV_AT_EPOCH": "0"}
_OMM_REQUIRED = ("EPOCH", "MEAN_MOTION", "ECCENTRICITY", "INCLINATION", "RA_OF_ASC_NODE",
                 "ARG_OF_PERICENTER", "MEAN_ANOMALY", "NORAD_CAT_ID", "BSTAR",
                 "MEAN_MOTION_DOT", "MEAN_MOTION_DDOT")
_DECIMAL = ("MEAN_MOTION", "ECCENTRICITY", "INCLINATION", "RA_OF_ASC_NODE", "ARG_OF_PERICENTER",
            "MEAN_ANOMALY", "BSTAR", "MEAN_MOTION_DOT", "MEAN_MOTION_DDOT")
_WHOLE = ("NORAD_CAT_ID", "EPHEMERIS_TYPE", "ELEMENT_SET_NO", "REV_AT_EPOCH")


def _omm_set(fields: Dict[object, object], source: str, where: int) -> ElementSet:
    at = f"{source} line {where}"
    clean = {str(k).strip().upper(): ("" if v is None else str(v).strip())
             for k, v in fields.items() if k}
    for key in _OMM_REQUIRED:
        if not clean.get(key):
            raise InputError(f"{at}: {key} missing")
    for key, value in _OMM_DEFAULTS.items():
        if not clean.get(key):
            clean[key] = value
    for key in _WHOLE:
        text = clean[key]
        if not (text.lstrip("+-").isascii() and text.lstrip("+-").isdigit()) or len(text) > 9:
            raise InputError(f"{at}: {key} is not a whole number")
    if int(clean["NORAD_CAT_ID"]) <= 0:
        raise InputError(f"{at}: NORAD_CAT_ID not above 0")
    epoch = clean["EPOCH"].rstrip("Z")
    if "." not in epoch:
        epoch += ".0"
    clean["EPOCH"] = epoch
    for key in _DECIMAL:
        try:
            number = float(clean[key])
        except ValueError:
            raise InputError(f"{at}: {key} is not a number") from None
        if not math.isfinite(number):
            raise InputError(f"{at}: {key} is not a finite number")
    if float(clean["MEAN_MOTION"]) <= 0:
        raise InputError(f"{at}: mean motion not above 0")
    if not 0 <= float(clean["ECCENTRICITY"]) < 1:
        raise InputError(f"{at}: eccentricity not from 0 to below 1")
    satrec = Satrec()
    try:
        omm.initialize(satrec, clean)
    except _SGP4_FAILURES as e:
        raise InputError(f"{at}: elements refused by SGP4 ({e})") from None
    return _element_set(int(clean["NORAD_CAT_ID"]), clean.get("OBJECT_NAME", ""), _checked(satrec, at),
                        source, where)


def _collect(records, source: str) -> Tuple[List[ElementSet], List[Refusal]]:
    """Sets of (fields, file line) pairs; a bad one is left out with its reason."""
    out: List[ElementSet] = []
    refused: List[Refusal] = []
    for fields, where in records:
        try:
            out.append(_omm_set(fields, source, where))
        except InputError as e:
            number = str(fields.get("NORAD_CAT_ID", "")).strip()
            refused.append(Refusal(str(e), int(number) if number.isascii() and number.isdigit()
                                   and len(number) < 10 else None))
    return out, refused


def _parse_csv(text: str, source: str) -> Tuple[List[ElementSet], List[Refusal]]:
    reader = csv.DictReader(io.StringIO(text))
    records = []
    try:
        while True:
            first = reader.line_num + 1  # a quoted field may hold line breaks
            try:
                row = next(reader)
            except StopIteration:
                break
            records.append((row, first))
    except csv.Error as e:
        raise InputError(f"{source} line {reader.line_num}: {e}") from None
    return _collect(records, source)


def _json_record_lines(text: str, records: int) -> List[int]:
    """File line of the start of each object in a top-level array (or of the
    one object)."""
    lines, depth, line, in_string, escaped = [], 0, 1, False, False
    for c in text:
        if c == "\n":
            line += 1
        if in_string:
            if escaped:
                escaped = False
            elif c == "\\":
                escaped = True
            elif c == '"':
                in_string = False
        elif c == '"':
            in_string = True
        elif c in "[{":
            depth += 1
            if c == "{" and (depth == 1 or (depth == 2 and text.lstrip()[:1] == "[")):
                lines.append(line)
                if len(lines) == records:
                    break
        elif c in "]}":
            depth -= 1
    return lines + [1] * (records - len(lines))


def _parse_json(text: str, source: str) -> Tuple[List[ElementSet], List[Refusal]]:
    try:
        data = json.loads(text)
    except json.JSONDecodeError as e:
        raise InputError(f"{source} line {e.lineno}: {e.msg}") from None
    except RecursionError:
        raise InputError(f"{source}: nested too deep to be element sets") from None
    records = data if isinstance(data, list) else [data]
    where = _json_record_lines(text, len(records))
    objects, refused = [], []
    for k, record in enumerate(records):
        if isinstance(record, dict):
            objects.append((record, where[k]))
        else:
            refused.append(Refusal(f"{source} line {where[k]}: record {k + 1} is not an object"))
    out, bad = _collect(objects, source)
    return out, refused + bad


def _local(tag: object) -> str:
    return str(tag).rsplit("}", 1)[-1]


def _parse_xml(text: str, source: str) -> Tuple[List[ElementSet], List[Refusal]]:
    try:
        root = ET.fromstring(text)
    except ET.ParseError as e:
        raise InputError(f"{source} line {e.position[0]}: {e}") from None
    except RecursionError:
        raise InputError(f"{source}: nested too deep to be element sets") from None
    starts = [text.count("\n", 0, m.start()) + 1
              for m in re.finditer(r"<(?:[\w.-]+:)?segment[\s/>]", text)]
    records, refused = [], []
    for k, segment in enumerate(e for e in root.iter() if _local(e.tag) == "segment"):
        where = starts[k] if k < len(starts) else 1
        parts = {_local(e.tag): e for e in segment.iter()
                 if _local(e.tag) in ("metadata", "meanElements", "tleParameters")}
        if "meanElements" not in parts or "metadata" not in parts:
            refused.append(Refusal(f"{source} line {where}: OMM segment without metadata or meanElements"))
            continue
        fields: Dict[object, object] = {}
        for part in parts.values():
            fields.update((_local(f.tag), f.text) for f in part)
        records.append((fields, where))
    out, bad = _collect(records, source)
    return out, refused + bad


def read_sets(text: str, source: str) -> Tuple[List[ElementSet], List[Refusal]]:
    """Element sets of one file's text and the sets left out; the format follows
    the file's content. InputError when the file as a whole is unreadable."""
    head = text.lstrip()
    if head.startswith("<"):
        return _parse_xml(text, source)
    if head.startswith(("[", "{")):
        return _parse_json(text, source)
    first = head.split("\n", 1)[0]
    if "NORAD_CAT_ID" in first.upper() or "MEAN_MOTION" in first.upper():
        return _parse_csv(text, source)
    return _parse_tle(text, source)


def parse_elements(text: str, source: str) -> List[ElementSet]:
    """Element sets of one file's text; InputError at the first bad one."""
    sets, refused = read_sets(text, source)
    if refused:
        raise InputError(refused[0].message)
    return sets


# In a folder only these are element files (a README beside them is not).
SUFFIXES = (".tle", ".3le", ".txt", ".csv", ".xml", ".json")


def _element_files(path: str) -> List[str]:
    # A FIFO or device named like an element file is listed, to be refused by name.
    if os.path.isdir(path):
        return sorted(os.path.join(path, n) for n in os.listdir(path)
                      if not n.startswith(".") and n.lower().endswith(SUFFIXES)
                      and not os.path.isdir(os.path.join(path, n)))
    return [path]


class ElementStore:
    """The sets of a file or folder, newest epoch per catalogue number, and the
    sets and files left out with their reasons."""

    def __init__(self, path: str) -> None:
        self.path = path
        self._signature: Optional[Tuple] = None
        self.sets: Dict[int, ElementSet] = {}
        self.refused: List[Refusal] = []
        self._by_file: Dict[str, List[ElementSet]] = {}

    def _current_signature(self) -> Tuple:
        try:
            files = _element_files(self.path)
        except OSError as e:
            raise InputError(f"{self.path}: cannot be read ({e.strerror})") from None
        out = []
        for f in files:
            try:
                st = os.stat(f)
                out.append((f, st.st_mtime_ns, st.st_size))
            except OSError as e:
                if f == self.path:
                    raise InputError(f"{f}: cannot be read ({e.strerror})") from None
                out.append((f, None, None))  # gone since the listing
        return tuple(out)

    def refresh(self) -> bool:
        """Reads the files again when one changed; True when it did. A bad set
        or file is left out and named in refused; InputError only when the
        file or folder cannot be read at all."""
        signature = self._current_signature()
        if signature == self._signature:
            return False
        sets: Dict[int, ElementSet] = {}
        refused: List[Refusal] = []
        by_file: Dict[str, List[ElementSet]] = {}
        for name, mtime, _ in signature:
            if mtime is None:
                continue
            try:
                text = read_limited(name).decode("utf-8", errors="replace")
                found, bad = read_sets(text, name)
            except (OSError, InputError) as e:
                why = f"{name}: cannot be read ({e.strerror})" if isinstance(e, OSError) else str(e)
                found, bad = [], [Refusal(why + ("; its sets read before are kept"
                                                 if self._by_file.get(name) else ""))]
            if bad:
                # A file caught while being replaced (cut short, half written):
                # the sets it gave before and lacks now stay.
                now = {s.catalog for s in found}
                found = found + [s for s in self._by_file.get(name, []) if s.catalog not in now]
            by_file[name] = found
            refused.extend(bad)
            for s in found:
                old = sets.get(s.catalog)
                if old is None or s.epoch > old.epoch:
                    sets[s.catalog] = s
        self.sets = sets
        self.refused = refused
        self._by_file = by_file
        self._signature = signature
        return True

    def reason_for(self, catalog: int) -> Optional[str]:
        """Why a satellite has no set: its own set refused, or else a file."""
        own = next((r for r in self.refused if r.catalog == catalog), None)
        whole = next((r for r in self.refused if r.catalog is None), None)
        found = own or whole or (None if self.sets or not self.refused else self.refused[0])
        return found.message if found else None

    def get(self, catalog: int) -> Optional[ElementSet]:
        return self.sets.get(catalog)
