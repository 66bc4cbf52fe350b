"""The station's settings: the console's tuvarn.ini (read exactly as the console
reads it) and track-predict's own predict.ini."""

from __future__ import annotations

import math
import os
import re
import struct
from dataclasses import dataclass, field
from typing import List, Optional


class InputError(Exception):
    """Bad input, with a one-line message naming the file (and line)."""


# The console's keys in the order it tries them on each key line.
_CONSOLE_KEYS = ("TrackPath", "Focus", "Radius", "Port", "TimeCorr", "MaxDeviation",
                 "DeviationStep", "DeviationPorog", "Demodulator", "Feedback",
                 "ScanModeRL", "ScanModeFB", "korr")
_NUMBER = re.compile(r"^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$")


def single(value: float) -> float:
    """The value as a 32-bit float, as the console holds Focus, Radius and korr."""
    try:
        return struct.unpack("<f", struct.pack("<f", value))[0]
    except OverflowError:
        return 0.0


def console_float(text: str) -> float:
    """A number as the console reads it: C locale, blanks around it ignored,
    anything else 0."""
    text = text.strip()
    if not _NUMBER.match(text):
        return 0.0
    value = float(text)
    return single(value) if math.isfinite(single(value)) else 0.0


def console_int(text: str) -> int:
    text = text.strip()
    return int(text) if re.match(r"^[+-]?\d+$", text) else 0


@dataclass
class ConsoleSettings:
    track_path: str  # absolute
    focus: float
    radius: float
    korr: float

    @property
    def reach_limit(self) -> int:
        """Radius truncated toward zero to whole millimetres."""
        return int(self.radius)

    def reachable(self, elevation_rad: float) -> bool:
        """The console's reach test of one point (the elevation as read from
        the track file): feed radius not negative and not above the limit."""
        tangent = math.tan(elevation_rad)
        if tangent == 0.0:
            return False  # the console divides by zero: an infinite radius
        radius = self.focus / tangent * self.korr
        return 0.0 <= radius <= self.reach_limit

    def lowest_reachable_elevation(self) -> float:
        """Degrees; a little below the true limit, for searching only."""
        if self.korr <= 0 or self.reach_limit <= 0 or self.focus <= 0:
            return 90.0
        return math.degrees(math.atan2(self.focus * self.korr, self.reach_limit)) - 0.1


def read_console_settings(station: str) -> ConsoleSettings:
    path = os.path.join(station, "tuvarn.ini")
    try:
        with open(path, "rb") as f:
            raw = f.read()
    except OSError as e:
        raise InputError(f"{path}: cannot be read ({e.strerror})") from None
    nul = raw.find(b"\0")
    if nul >= 0:
        raw = raw[:nul]
    lines = raw.replace(b"\r", b"").decode("utf-8", errors="replace").split("\n")
    if "Tuvarn_ini_file" not in lines[0]:
        raise InputError(f"{path} line 1: \"Tuvarn_ini_file\" missing")
    if len(lines) < 2 or "StationName" not in lines[1]:
        raise InputError(f"{path} line 2: \"StationName\" missing")
    values = {}
    i = 3
    while i < len(lines):
        key = next((k for k in _CONSOLE_KEYS if k in lines[i]), None)
        if key is None:
            i += 1
            continue
        if i + 1 >= len(lines):
            break  # a key on the last line has no value
        values[key] = (lines[i + 1], i + 2)
        if key == "Port" and not 1 <= console_int(lines[i + 1]) <= 50:
            raise InputError(f"{path} line {i + 2}: Port not 1 to 50")
        i += 2
    missing = [k for k in _CONSOLE_KEYS if k not in values]
    if missing:
        raise InputError(f"{path}: key {missing[0]} missing")
    track_path = values["TrackPath"][0]
    if not track_path:
        raise InputError(f"{path} line {values['TrackPath'][1]}: TrackPath empty")
    return ConsoleSettings(
        track_path=os.path.join(station, track_path),
        focus=console_float(values["Focus"][0]),
        radius=console_float(values["Radius"][0]),
        korr=console_float(values["korr"][0]),
    )


@dataclass
class Followed:
    catalog: int
    priority: int
    min_seconds: int
    line: int  # in predict.ini, for messages


@dataclass
class PredictSettings:
    path: str
    latitude: float
    longitude: float
    height: float
    elements: str  # absolute
    lead: int = 600
    max_age_days: float = 14.0
    warn_age_days: float = 3.0
    travel: int = 60
    satellites: List[Followed] = field(default_factory=list)

    def followed(self, catalog: int) -> Optional[Followed]:
        return next((s for s in self.satellites if s.catalog == catalog), None)


_PREDICT_KEYS = {"Latitude", "Longitude", "Height", "Elements", "Lead", "MaxAgeDays",
                 "WarnAgeDays", "Travel", "Satellite"}


def _number(path: str, n: int, key: str, text: str, low: float, high: float) -> float:
    try:
        value = float(text)
    except ValueError:
        value = math.nan
    if not (math.isfinite(value) and low <= value <= high):
        raise InputError(f"{path} line {n}: {key} wants a number from {low:g} to {high:g}, not \"{text}\"")
    return value


def _whole(path: str, n: int, key: str, text: str, low: int, high: int) -> int:
    if not re.match(r"^[+-]?\d+$", text) or not low <= int(text) <= high:
        raise InputError(f"{path} line {n}: {key} wants a whole number from {low} to {high}, not \"{text}\"")
    return int(text)


def read_predict_settings(station: str) -> PredictSettings:
    """predict.ini: one setting a line, key, blank, value; '#' starts a comment."""
    path = os.path.join(station, "predict.ini")
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
    except OSError as e:
        raise InputError(f"{path}: cannot be read ({e.strerror})") from None
    found = {}
    satellites: List[Followed] = []
    for n, line in enumerate(text.splitlines(), start=1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        key, _, value = line.partition(" ")
        value = value.strip()
        if key not in _PREDICT_KEYS:
            raise InputError(f"{path} line {n}: unknown setting \"{key}\"")
        if not value:
            raise InputError(f"{path} line {n}: {key} has no value")
        if key == "Satellite":
            parts = value.split()
            if len(parts) != 3:
                raise InputError(f"{path} line {n}: Satellite wants catalogue number, priority, minimum seconds")
            catalog = _whole(path, n, "catalogue number", parts[0], 1, 999999999)
            if any(s.catalog == catalog for s in satellites):
                raise InputError(f"{path} line {n}: satellite {catalog} named twice")
            satellites.append(Followed(catalog, _whole(path, n, "priority", parts[1], 1, 999),
                                       _whole(path, n, "minimum seconds", parts[2], 2, 496), n))
        elif key == "Latitude":
            found[key] = _number(path, n, key, value, -90, 90)
        elif key == "Longitude":
            found[key] = _number(path, n, key, value, -180, 360)
        elif key == "Height":
            found[key] = _number(path, n, key, value, -500, 10000)
        elif key == "Elements":
            found[key] = os.path.join(station, value)
        elif key == "Lead":
            # Below a minute the console could not take a pass in time.
            found[key] = _whole(path, n, key, value, 60, 86400)
        elif key == "Travel":
            found[key] = _whole(path, n, key, value, 0, 3600)
        else:
            found[key] = _number(path, n, key, value, 0, 3650)
    for key in ("Latitude", "Longitude", "Height", "Elements"):
        if key not in found:
            raise InputError(f"{path}: {key} missing")
    if not satellites:
        raise InputError(f"{path}: no Satellite line")
    settings = PredictSettings(path, found["Latitude"], found["Longitude"], found["Height"],
                               found["Elements"], satellites=satellites)
    settings.lead = int(found.get("Lead", settings.lead))
    settings.travel = int(found.get("Travel", settings.travel))
    settings.max_age_days = found.get("MaxAgeDays", settings.max_age_days)
    settings.warn_age_days = found.get("WarnAgeDays", settings.warn_age_days)
    return settings
