"""The station's settings: the console's tuvarn.ini (read exactly as the console
reads it) and track-predict's own predict.ini."""

from __future__ import annotations

import math
import os
import re
import struct
import unicodedata
from dataclasses import dataclass, field
from typing import List, Optional

from .safetext import read_limited


class InputError(Exception):
    """Bad input, with a one-line message naming the file (and line)."""


# The console's keys in the order it tries them on each key line.
_CONSOLE_KEYS = ("TrackPath", "Focus", "Radius", "Port", "TimeCorr", "MaxDeviation",
                 "DeviationStep", "DeviationPorog", "Demodulator", "Feedback",
                 "ScanModeRL", "ScanModeFB", "korr")

# The console reads numbers with Qt in the C locale. Its blanks (trimmed) are
# ASCII 9-13 and 32, U+0085, U+00A0 and the Unicode space separators; only
# ASCII digits count; U+2212 is a minus; letters are taken in either case, so
# "NaN" and "INF" are numbers; anything else ends the number and refuses it.
_DOUBLE = re.compile(r"[+-]?(\d+\.?\d*|\.\d+)(e[+-]?\d+)?", re.ASCII)
_INTEGER = re.compile(r"[+-]?\d+", re.ASCII)
_FLT_MAX = 3.4028234663852886e38


def _qt_space(c: str) -> bool:
    if c < "\x80":
        return c == " " or "\t" <= c <= "\r"
    return c in "\x85\xa0" or unicodedata.category(c) in ("Zs", "Zl", "Zp")


def _qt_trimmed(text: str) -> str:
    a, b = 0, len(text)
    while a < b and _qt_space(text[a]):
        a += 1
    while b > a and _qt_space(text[b - 1]):
        b -= 1
    return text[a:b]


def _c_locale_text(text: str) -> Optional[str]:
    """The number's characters as the C locale reads them, None when one of
    them is not part of a number."""
    text = _qt_trimmed(text)
    if not text:
        return None
    out = []
    for c in text:
        if "0" <= c <= "9" or c in "+-.":
            out.append(c)
        elif c == "\u2212":
            out.append("-")
        elif c.isascii() and c.isalpha():
            out.append(c.lower())
        else:
            return None
    return "".join(out)


def single(value: float) -> float:
    """The value as a 32-bit float, as the console holds Focus, Radius and korr."""
    try:
        return struct.unpack("<f", struct.pack("<f", value))[0]
    except OverflowError:
        return 0.0


def console_float(text: str) -> float:
    """A number as the console reads it; what it cannot read, or what does not
    fit a 32-bit float (beyond its range, or so small it would be 0), is 0."""
    ascii_text = _c_locale_text(text)
    if ascii_text is None:
        return 0.0
    if ascii_text == "nan":
        return math.nan
    if ascii_text in ("inf", "+inf", "-inf"):
        return -math.inf if ascii_text[0] == "-" else math.inf
    if not _DOUBLE.fullmatch(ascii_text):
        return 0.0
    value = float(ascii_text)
    if not math.isfinite(value) or abs(value) > _FLT_MAX:
        return 0.0
    narrow = single(value)
    return 0.0 if value != 0 and narrow == 0 else narrow


def console_int(text: str) -> int:
    """A base-10 number as the console reads it: 0 unless it fits 32 bits."""
    ascii_text = _c_locale_text(text)
    if ascii_text is None or not _INTEGER.fullmatch(ascii_text):
        return 0
    value = int(ascii_text)
    return value if -2 ** 31 <= value < 2 ** 31 else 0


# Ranges the console accepts, and its message when it refuses the file.
_CONSOLE_RANGES = {"Focus": (0.0, 1.0e7), "Radius": (0.0, 1.0e7),
                   "DeviationPorog": (-1000.0, 1000.0), "korr": (0.0, 100.0)}


def _console_refuses(path: str, code: int, why: str) -> InputError:
    return InputError(f"{path}{why}; the console refuses it (\"ini file error in {code} string.\")")


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
    """tuvarn.ini read as the console reads it, refused where the console
    refuses it; and refused where it gives nothing to plan with."""
    path = os.path.join(station, "tuvarn.ini")
    try:
        raw = read_limited(path)
    except OSError as e:
        raise InputError(f"{path}: cannot be read ({e.strerror})") from None
    nul = raw.find(b"\0")
    if nul >= 0:
        raw = raw[:nul]
    lines = raw.replace(b"\r", b"").decode("utf-8", errors="replace").split("\n")
    if "Tuvarn_ini_file" not in lines[0]:
        raise _console_refuses(path, 1, " line 1: \"Tuvarn_ini_file\" missing")
    if len(lines) < 2 or "StationName" not in lines[1]:
        raise _console_refuses(path, 2, " line 2: \"StationName\" missing")
    values = {}
    i = 3
    while i < len(lines):
        key = next((k for k in _CONSOLE_KEYS if k in lines[i]), None)
        if key is None:
            i += 1
            continue
        if i + 1 >= len(lines):
            break  # a key on the last line has no value
        value = lines[i + 1]
        values[key] = (value, i + 2)
        # The console stops at the first value it refuses.
        if key == "Port" and not 1 <= console_int(value) <= 50:
            raise _console_refuses(path, 1, f" line {i + 2}: Port not 1 to 50")
        if key in _CONSOLE_RANGES:
            low, high = _CONSOLE_RANGES[key]
            number = console_float(value)
            if not (math.isfinite(number) and low <= number <= high):
                raise _console_refuses(path, 1, f" line {i + 2}: {key} {number:g} not from {low:g} to {high:g}")
        i += 2
    missing = [k for k in _CONSOLE_KEYS if k not in values]
    if missing:
        raise _console_refuses(path, 3, f": key {missing[0]} missing")
    track_path = values["TrackPath"][0]
    if not track_path:
        raise InputError(f"{path} line {values['TrackPath'][1]}: TrackPath empty")
    # The console takes a zero, but then no elevation maps into the reach of
    # the arm as a real dish would: nothing can be planned with it.
    for key in ("Focus", "Radius", "korr"):
        if console_float(values[key][0]) == 0:
            raise InputError(f"{path} line {values[key][1]}: {key} is 0 (or not a number): "
                             f"no pass can be planned with it")
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
        value = float(text) if text.isascii() else math.nan
    except ValueError:
        value = math.nan
    if not (math.isfinite(value) and low <= value <= high):
        raise InputError(f"{path} line {n}: {key} wants a number from {low:g} to {high:g}, not \"{text}\"")
    return value


def _whole(path: str, n: int, key: str, text: str, low: int, high: int) -> int:
    if not re.fullmatch(r"[+-]?[0-9]+", text) or not low <= int(text) <= high:
        raise InputError(f"{path} line {n}: {key} wants a whole number from {low} to {high}, not \"{text}\"")
    return int(text)


def read_predict_settings(station: str) -> PredictSettings:
    """predict.ini: one setting a line, key, blank, value; '#' starts a comment."""
    path = os.path.join(station, "predict.ini")
    try:
        text = read_limited(path).decode("utf-8", errors="replace")
    except OSError as e:
        raise InputError(f"{path}: cannot be read ({e.strerror})") from None
    found = {}
    lines = {}
    satellites: List[Followed] = []
    for n, line in enumerate(text.splitlines(), start=1):
        line = line.split("#", 1)[0].strip()
        if not line:
            continue
        key, value = (re.split(r"[ \t]+", line, maxsplit=1) + [""])[:2]
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
            lines[key] = n
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
    if settings.warn_age_days > settings.max_age_days:
        where = lines.get("WarnAgeDays", lines.get("MaxAgeDays"))
        raise InputError(f"{path} line {where}: WarnAgeDays {settings.warn_age_days:g} is above "
                         f"MaxAgeDays {settings.max_age_days:g}")
    return settings
