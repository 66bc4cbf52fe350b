"""Finding the passes of the followed satellites and the part of each that the
feed arm reaches, one point per second."""

from __future__ import annotations

from dataclasses import dataclass, field
from datetime import datetime, timedelta
from typing import List, Optional, Sequence, Tuple

import numpy as np
from skyfield.api import EarthSatellite, load, wgs84

from .elements import ElementSet
from .settings import ConsoleSettings, Followed, PredictSettings
from .trackfile import Point, choose_window, points_of, reachable_flags

# Seconds between the samples that find the passes. The highest sample of a
# pass lies within half a step of its culmination: for a low orbit 45 s from a
# zenith pass still sees 30 degrees or more, far above the search floor below.
COARSE_STEP = 90
_FINE_MARGIN = 100  # s either side of the highest sample looked at per second
_SEARCH_BELOW = 50.0  # a sample this far below the reach may still be near a reachable peak


@dataclass
class Pass:
    element: ElementSet
    followed: Followed
    rise: datetime  # first second above the horizon (window start when already up)
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

    @property
    def name(self) -> str:
        return self.element.display_name


@dataclass
class Track:
    """The points of one pass as they will be written."""
    start: datetime
    points: List[Point]
    flags: List[bool]


class Predictor:
    def __init__(self, station: PredictSettings, console: ConsoleSettings) -> None:
        self.ts = load.timescale(builtin=True)
        self.topos = wgs84.latlon(station.latitude, station.longitude, elevation_m=station.height)
        self.console = console
        self._satellites = {}

    def _satellite(self, element: ElementSet) -> EarthSatellite:
        known = self._satellites.get(id(element.satrec))
        if known is None or known[0] is not element.satrec:
            known = (element.satrec, EarthSatellite.from_satrec(element.satrec, self.ts))
            self._satellites[id(element.satrec)] = known
        return known[1]

    def _times(self, base: datetime, offsets: np.ndarray):
        return self.ts.utc(base.year, base.month, base.day, base.hour, base.minute,
                           base.second + offsets.astype(float))

    def look_angles(self, element: ElementSet, base: datetime, offsets: np.ndarray,
                    times=None) -> Tuple[np.ndarray, np.ndarray]:
        """Azimuth and elevation in degrees at base + offsets seconds."""
        t = times if times is not None else self._times(base, offsets)
        alt, az, _ = (self._satellite(element) - self.topos).at(t).altaz()
        return az.degrees, alt.degrees

    def track(self, element: ElementSet, start: datetime, count: int) -> Track:
        az, el = self.look_angles(element, start, np.arange(count))
        points = points_of(az, el)
        return Track(start, points, reachable_flags(points, self.console))

    def find(self, targets: Sequence[Tuple[ElementSet, Followed]], start: datetime,
             hours: float) -> List[Pass]:
        """Passes that rise before start + hours (and any pass already up at start),
        in order of rise. Times are whole seconds from start."""
        start = start.replace(microsecond=0)
        span = int(hours * 3600)
        # Past the window's end, so that a pass rising just before it is whole.
        offsets = np.arange(0, span + 1800 + 1, COARSE_STEP)
        coarse_times = self._times(start, offsets)  # shared: Earth rotation computed once
        passes: List[Pass] = []
        for element, followed in targets:
            passes.extend(self._passes_of(element, followed, start, span, offsets, coarse_times))
        passes.sort(key=lambda p: (p.rise, p.name))
        return passes

    def _passes_of(self, element, followed, start, span, offsets, coarse_times) -> List[Pass]:
        _, el = self.look_angles(element, start, offsets, coarse_times)
        el = np.nan_to_num(el, nan=-90.0)  # a decayed orbit gives no position
        up = el > 0
        found: List[Pass] = []
        near: List[Tuple[Pass, int]] = []  # passes that may reach, with their highest sample
        i = 0
        n = len(el)
        while i < n:
            if not up[i]:
                i += 1
                continue
            j = i
            while j + 1 < n and up[j + 1]:
                j += 1
            rise = 0 if i == 0 else _crossing(offsets[i - 1], el[i - 1], offsets[i], el[i])
            if rise < span or i == 0:
                peak = i + int(np.argmax(el[i:j + 1]))
                p = Pass(element, followed, start + timedelta(seconds=int(rise)),
                         start + timedelta(seconds=int(offsets[peak])), float(el[peak]))
                found.append(p)
                if p.culmination_el >= self.console.lowest_reachable_elevation() - _SEARCH_BELOW:
                    near.append((p, int(offsets[peak])))
            i = j + 1
        if near:
            # Every second around the highest samples, in one go for the satellite.
            windows = [np.arange(max(0, c - _FINE_MARGIN), c + _FINE_MARGIN + 1) for _, c in near]
            az, fel = self.look_angles(element, start, np.concatenate(windows))
            at = 0
            for (p, c), fine in zip(near, windows):
                part = slice(at, at + len(fine))
                at += len(fine)
                self._settle(p, start, c, fine, az[part], fel[part])
        return found

    def _settle(self, p: Pass, start, culm_offset: int, fine, az, fel) -> None:
        """Culmination and reachable part of a pass from its samples a second
        apart, looking wider while the reachable part runs into an edge."""
        half = _FINE_MARGIN
        while True:
            fel = np.nan_to_num(fel, nan=-90.0)
            points = points_of(az, fel)
            flags = reachable_flags(points, self.console)
            edge = (flags[0] and fine[0] > 0) or flags[-1]
            if not edge or half >= 4 * 3600:
                break
            half *= 4
            fine = np.arange(max(0, culm_offset - half), culm_offset + half + 1)
            az, fel = self.look_angles(p.element, start, fine)
        top = int(np.argmax(fel))
        p.culmination = start + timedelta(seconds=int(fine[top]))
        p.culmination_el = float(fel[top])
        reach = [k for k, f in enumerate(flags) if f]
        if not reach:
            return
        p.reach_first = start + timedelta(seconds=int(fine[reach[0]]))
        p.reach_seconds = len(reach)
        lo, hi = choose_window(flags, len(flags))
        upload = [k for k in reach if lo <= k <= hi]
        p.upload_first = start + timedelta(seconds=int(fine[upload[0]]))
        p.upload_last = start + timedelta(seconds=int(fine[upload[-1]]))
        p.upload_seconds = len(upload)

    def track_of(self, p: Pass) -> Tuple[Track, Tuple[int, int]]:
        """The points to write for a pass: the console's most points around
        the reachable part, and which of them (first, last) are written."""
        assert p.reach_first is not None
        around = 1000 + p.reach_seconds
        start = p.reach_first - timedelta(seconds=around)
        t = self.track(p.element, start, 2 * around + p.reach_seconds)
        window = choose_window(t.flags, len(t.points))
        if window is None:
            raise ValueError("no reachable point")
        return t, window


def _crossing(t0: float, e0: float, t1: float, e1: float) -> int:
    """Second at which the elevation crosses 0 between two samples."""
    if e1 == e0:
        return int(t1)
    return int(round(t0 + (t1 - t0) * (0 - e0) / (e1 - e0)))
