"""Finding the passes of the followed satellites and the part of each that the
feed arm reaches, to the second."""

from __future__ import annotations

import math
import multiprocessing
import os
from dataclasses import dataclass, field
from datetime import datetime, timedelta
from typing import Dict, List, Optional, Sequence, Tuple

import numpy as np
from skyfield.api import EarthSatellite, load, wgs84

from .elements import ElementSet
from .reach import Reach, file_extent, default_slice
from .settings import ConsoleSettings, Followed, PredictSettings
from .sky import Frames, Orbits, error_text, look_many
from .trackfile import Point, choose_window, points_of, reachable_flags

# Seconds between the samples that find the passes; a pass shorter than this
# may be missed, one that reaches the feed arm never is. Orbits of 225 minutes
# and more move slowly across the sky and are sampled less often.
COARSE_STEP = 90
DEEP_STEP = 270
_SEARCH_BELOW = 50.0  # a sample this far below the reach may still be near a reachable peak
# A pass up at the window's start is followed back to its rise, one crossing
# the window's end forward to its set, at most this far.
FOLLOW = 12 * 3600
_TABLE_PIECE = 6 * 3600  # seconds of Earth orientation computed at a time (bounds memory)
_BLOCK = 256  # satellites propagated together
_WORKERS_FROM = 64  # satellites from which the work is shared between processes (with jobs > 1)


@dataclass
class Pass:
    element: ElementSet
    followed: Followed
    rise: datetime  # first second above the horizon
    culmination: datetime
    culmination_el: float  # degrees
    reach_first: Optional[datetime] = None  # first reachable second of the pass
    reach_seconds: int = 0  # reachable seconds of the whole pass
    # The part written and uploaded (at most the console's limit of points).
    upload_first: Optional[datetime] = None
    upload_last: Optional[datetime] = None
    upload_seconds: int = 0
    decision: str = ""
    notes: List[str] = field(default_factory=list)
    set: Optional[datetime] = None  # last second above the horizon
    rise_az: float = 0.0
    culmination_az: float = 0.0
    set_az: float = 0.0
    reach: Optional[Reach] = None  # reachable seconds, as runs
    file_first: Optional[datetime] = None  # the points the file holds
    file_last: Optional[datetime] = None
    base: Optional[datetime] = None  # what the reach's offsets count from

    @property
    def name(self) -> str:
        return self.element.display_name

    def set_slice(self, lo: int, hi: int) -> None:
        """Uploads the reachable seconds lo..hi (offsets from base)."""
        assert self.reach is not None and self.base is not None
        self.upload_first = self.base + timedelta(seconds=self.reach.first_in(lo, hi))
        self.upload_last = self.base + timedelta(seconds=self.reach.last_in(lo, hi))
        self.upload_seconds = self.reach.count_in(lo, hi)
        first, last = file_extent(self.reach, lo, hi)
        self.file_first = self.base + timedelta(seconds=first)
        self.file_last = self.base + timedelta(seconds=last)


@dataclass
class Track:
    """The points of one pass as they will be written."""
    start: datetime
    points: List[Point]
    flags: List[bool]


class Predictor:
    def __init__(self, station: PredictSettings, console: ConsoleSettings) -> None:
        self.ts = load.timescale(builtin=True)
        self.latitude = station.latitude
        self.topos = wgs84.latlon(station.latitude, station.longitude, elevation_m=station.height)
        self.console = console
        self.jobs = 1  # processes sharing a search
        self.problems: Dict[Tuple[int, float], str] = {}  # per element set, found in the last search
        # Whether a written elevation (whole arc minutes) is reachable, by minutes.
        self._reachable = np.array([console.reachable(Point(0, 0, m // 60, m % 60).elevation_rad)
                                    for m in range(-90 * 60, 90 * 60 + 1)], dtype=bool)

    def look_angles(self, element: ElementSet, base: datetime, offsets: np.ndarray,
                    times=None) -> Tuple[np.ndarray, np.ndarray]:
        """Azimuth and elevation in degrees at base + offsets seconds (skyfield)."""
        t = times if times is not None else self.ts.utc(
            base.year, base.month, base.day, base.hour, base.minute, base.second + offsets.astype(float))
        sat = EarthSatellite.from_satrec(element.satrec, self.ts)
        alt, az, _ = (sat - self.topos).at(t).altaz()
        return az.degrees, alt.degrees

    def reachable(self, el: np.ndarray) -> np.ndarray:
        """The console's reach test of elevations in degrees as they would be written."""
        m = np.floor(np.nan_to_num(el, nan=-90.0) * 60.0 + 0.5).astype(np.int64)
        return self._reachable[np.clip(m, -5400, 5400) + 5400]

    def can_reach(self, element: ElementSet, lowest: float) -> bool:
        """False when the orbit never takes the satellite that high above the station:
        its ground track stays too far from the station's latitude even at apogee."""
        s = element.satrec
        if lowest <= 0:
            return True
        radius = 6356.75  # polar radius: the generous side
        apogee = (1.0 + s.alta) * s.radiusearthkm
        if apogee <= radius:
            return True  # decayed: let the search say so
        e = math.radians(max(0.0, lowest - 1.0))
        ground = math.acos(min(1.0, radius / apogee * math.cos(e))) - e
        incl = math.degrees(s.inclo)
        highest = min(incl, 180.0 - incl) + math.degrees(ground) + 1.0
        return highest >= abs(self.latitude)

    def find(self, targets: Sequence[Tuple[ElementSet, Followed]], start: datetime,
             hours: float, every: bool = False) -> List[Pass]:
        """Passes that are up at some time between start and start + hours, in
        order of rise; every=False keeps only the passes that may reach the
        feed arm. Times are whole seconds."""
        start = start.replace(microsecond=0)
        span = int(hours * 3600)
        lowest = self.console.lowest_reachable_elevation()
        if not every:
            targets = [t for t in targets if self.can_reach(t[0], lowest)]
        search = _Search(self, start, span, every)
        records = _run_shared(search, len(targets), [t[0] for t in targets], self.jobs)
        self.problems = {}
        passes: List[Pass] = []
        for k, rec, problem in records:
            element, followed = targets[k]
            if problem is not None:
                self.problems[(element.catalog, element.satrec.jdsatepoch + element.satrec.jdsatepochF)] = (
                    f"elements of {element.display_name} ({element.catalog}) fail from "
                    f"{(start + timedelta(seconds=problem[0])):%Y-%m-%d %H:%M:%S} UTC: {problem[1]}")
            if rec is not None:
                passes.append(_make_pass(element, followed, start, rec))
        passes.sort(key=lambda p: (p.rise, p.name))
        return passes

    def track(self, element: ElementSet, start: datetime, offsets: np.ndarray) -> Track:
        az, el = self.look_angles(element, start, offsets)
        points = points_of(az, el)
        return Track(start + timedelta(seconds=int(offsets[0])), points, reachable_flags(points, self.console))

    def track_of(self, p: Pass) -> Tuple[Track, Tuple[int, int]]:
        """The points to write for a pass: its file's points around the upload
        part, and which of them (first, last) are reachable ends."""
        assert p.reach_first is not None and p.file_first is not None and p.file_last is not None
        # Times count from the same second as ever, so the points do not change.
        base = p.reach_first - timedelta(seconds=1000 + p.reach_seconds)
        lo = int((p.file_first - base).total_seconds())
        hi = int((p.file_last - base).total_seconds())
        t = self.track(p.element, base, np.arange(lo, hi + 1))
        if not any(t.flags):
            raise ValueError("no reachable point")
        return t, (0, len(t.points) - 1)


def _make_pass(element, followed, start, rec) -> Pass:
    (rise, rise_az, culm, culm_el, culm_az, set_, set_az, reach) = rec
    at = lambda s: start + timedelta(seconds=int(s))
    p = Pass(element, followed, at(rise), at(culm), culm_el, set=at(set_), rise_az=rise_az,
             culmination_az=culm_az, set_az=set_az, reach=reach, base=start)
    if reach is not None and reach.count:
        p.reach_first = at(reach.first)
        p.reach_seconds = reach.count
        p.set_slice(*default_slice(reach))
    return p


# Workers get the search by inheritance (fork), not by pickling.
_SHARED: Optional["_Search"] = None


def _work(part):
    assert _SHARED is not None
    return _SHARED.run(part)


def _run_shared(search: "_Search", count: int, elements, jobs: int) -> list:
    """The search in this process, or shared between `jobs` forked ones: that
    halves the wall time on idle cores but each worker holds its own copy of
    what it touches, and on a loaded machine it gains nothing."""
    search.elements = elements
    search.prepare()
    indices = list(range(count))
    workers = min(jobs, os.cpu_count() or 1)
    if count < _WORKERS_FROM or workers < 2 or multiprocessing.current_process().daemon:
        return search.run(indices)
    global _SHARED
    _SHARED = search
    # Deep-space orbits are slow: spread them over all parts.
    parts = [indices[k::workers] for k in range(workers)]
    try:
        ctx = multiprocessing.get_context("fork")
        with ctx.Pool(workers) as pool:
            out = pool.map(_work, parts)
    finally:
        _SHARED = None
    return [r for part in out for r in part]


from .search import _Search  # noqa: E402  (the search needs Pass-free helpers only)
