"""The console's track file: the layout it reads, the points it can reach, and
writing it whole or not at all."""

from __future__ import annotations

import math
import os
import tempfile
import time
from dataclasses import dataclass
from datetime import datetime, timedelta, timezone
from typing import List, Optional, Sequence, Tuple

from .safetext import clean_name, latin1
from .settings import ConsoleSettings

MAX_LINES = 1000  # the console's limit, header and the empty last line included
HEADER_LINES = 6
MAX_POINTS = MAX_LINES - HEADER_LINES - 1
MAX_UPLOAD = 496  # reachable points one upload frame carries
_DEG_TO_RAD = 0.017453292519943295  # the console's factor
FREE_LINE_LIMIT = 200


def to_minutes(azimuth_deg: float, elevation_deg: float) -> Tuple[int, int, int, int]:
    """Degrees and minutes as written: minutes rounded, 360 deg 00' as 0 deg 00',
    a negative elevation as degrees rounded down plus positive minutes (the
    console adds the minutes also to negative degrees)."""
    az = int(math.floor(azimuth_deg * 60.0 + 0.5)) % (360 * 60)
    el = int(math.floor(elevation_deg * 60.0 + 0.5))
    return az // 60, az % 60, el // 60, el % 60


def read_angle(degrees: int, minutes: int) -> float:
    """Radians of a file angle, as the console computes them."""
    return (degrees + minutes / 60.0) * _DEG_TO_RAD


@dataclass
class Point:
    az_deg: int
    az_min: int
    el_deg: int
    el_min: int

    @property
    def elevation_rad(self) -> float:
        return read_angle(self.el_deg, self.el_min)


def points_of(azimuths: Sequence[float], elevations: Sequence[float]) -> List[Point]:
    return [Point(*to_minutes(a, e)) for a, e in zip(azimuths, elevations)]


def reachable_flags(points: Sequence[Point], console: ConsoleSettings) -> List[bool]:
    return [console.reachable(p.elevation_rad) for p in points]


def choose_window(flags: Sequence[bool], size: int) -> Optional[Tuple[int, int]]:
    """First and last index (inclusive) of the points to write: at most MAX_POINTS,
    at most MAX_UPLOAD of them reachable, centred on the reachable part. None
    when no point is reachable."""
    reach = [i for i, f in enumerate(flags) if f]
    if not reach:
        return None
    if len(reach) > MAX_UPLOAD:
        k = (len(reach) - MAX_UPLOAD) // 2
        return reach[k], reach[k + MAX_UPLOAD - 1]
    centre2 = reach[0] + reach[-1]  # twice the centre
    first = max(0, (centre2 - (MAX_POINTS - 1)) // 2)
    last = min(size - 1, first + MAX_POINTS - 1)
    first = max(0, last - MAX_POINTS + 1)
    if sum(flags[first:last + 1]) > MAX_UPLOAD:
        return reach[0], reach[-1]
    return first, last


@dataclass
class TrackText:
    satellite: str
    start: datetime  # UTC, whole seconds, the first point
    orbit: int
    free_lines: Tuple[str, str, str]
    points: List[Point]

    def render(self) -> str:
        # Every text field is one line of characters the console reads as
        # written: nothing from the elements can begin a line of its own.
        lines = [
            f"Satellite: {latin1(clean_name(self.satellite))}",
            f"Start date & time: {self.start:%Y-%m-%d %H:%M:%S} UTC",
            f"Orbit: {int(self.orbit)}",
            *(latin1(clean_name(line, FREE_LINE_LIMIT)) for line in self.free_lines),
        ]
        for k, p in enumerate(self.points):
            t = self.start + timedelta(seconds=k)
            # Columns 11-13 and 15-16 azimuth, 20-22 and 24-25 elevation.
            lines.append(f"{t:%H:%M:%S}   {p.az_deg:3d} {p.az_min:02d}   {p.el_deg:3d} {p.el_min:02d}")
        # The line break after the last point gives the empty line that ends the list.
        return "\n".join(lines) + "\n"


def write_whole(path: str, text: str) -> None:
    """A temporary file in the same folder, then a rename over the path: readers
    see the old file, no file, or the whole new one."""
    folder = os.path.dirname(os.path.abspath(path))
    fd, temporary = tempfile.mkstemp(prefix=".track-predict-", suffix=".tmp", dir=folder)
    try:
        with os.fdopen(fd, "w", encoding="latin-1", newline="\n") as f:
            f.write(text)
            f.flush()
            os.fsync(f.fileno())
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temporary, 0o666 & ~umask)
        os.replace(temporary, path)
    except BaseException:
        try:
            os.unlink(temporary)
        except OSError:
            pass
        raise


def pending_end(path: str) -> Optional[datetime]:
    """When the pass of a track file still at the path ends (its last point),
    read from the file's start line and points; None when there is no file or
    it cannot be read as a track."""
    try:
        with open(path, "rb") as f:
            lines = f.read().decode("latin-1").replace("\r\n", "\n").split("\n")
    except OSError:
        return None
    if len(lines) < 8 or "Start date & time: " not in lines[1]:
        return None
    start_text = lines[1].split("Start date & time: ", 1)[1][:19]
    try:
        start = datetime.strptime(start_text, "%Y-%m-%d %H:%M:%S").replace(tzinfo=timezone.utc)
    except ValueError:
        return None
    count = 1
    while HEADER_LINES + count < len(lines) and lines[HEADER_LINES + count]:
        count += 1
    return start + timedelta(seconds=count - 1)


def taken_until(track_path: str, now: datetime) -> Optional[Tuple[datetime, str]]:
    """The latest end, if still to come, of the passes the console has taken:
    it moves a loaded file to an archive name in the same folder. Only files
    changed in the last two days are read."""
    folder = os.path.dirname(os.path.abspath(track_path))
    recent = time.time() - 2 * 86400
    latest: Optional[Tuple[datetime, str]] = None
    try:
        entries = list(os.scandir(folder))
    except OSError:
        return None
    for entry in entries:
        if not entry.name.endswith(".txt") or entry.path == os.path.abspath(track_path):
            continue
        try:
            if not entry.is_file() or entry.stat().st_mtime < recent:
                continue
        except OSError:
            continue
        end = pending_end(entry.path)
        if end is not None and end >= now and (latest is None or end > latest[0]):
            latest = (end, entry.path)
    return latest
