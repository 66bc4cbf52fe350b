"""The search itself: samples every satellite on a coarse grid, then settles
each pass to the second where it matters (culmination, rise and set azimuths,
the first and last reachable second) with a few evaluations per pass. Work is
done in blocks so that memory stays small however long a pass is."""

from __future__ import annotations

import math
from datetime import datetime
from typing import List, Optional, Tuple

import numpy as np

from .reach import Reach
from skyfield.constants import AU_KM as _AU_KM

from .sky import Frames, Orbits, _angles, error_text, look_many

_PIECE = 3600  # seconds looked at per second in one go
_CELLS = 65536  # satellite-times propagated in one go (bounds the temporaries)
_CHECK_NEAR = 4 * 3600  # reachable parts up to this long are checked second by second
_CHECK_DEEP = 1800  # the same for deep-space orbits, which propagate slowly


class _Rows:
    """Frames at some seconds, shaped (P, M) when the seconds are 2-D."""

    def __init__(self, rotation, station, jd, fr) -> None:
        self.rotation, self.station, self.jd, self.fr = rotation, station, jd, fr


def _rows(frames: Frames, rows: np.ndarray) -> _Rows:
    return _Rows(frames.rotation[rows], frames.station[rows], frames.jd[rows], frames.fr[rows])


class _Search:
    def __init__(self, predictor, start: datetime, span: int, every: bool) -> None:
        from .passes import COARSE_STEP, DEEP_STEP, FOLLOW, _SEARCH_BELOW, _TABLE_PIECE
        self.p = predictor
        self.start = start
        self.span = span
        self.every = every
        self.lo = -FOLLOW
        self.hi = span + FOLLOW
        self.steps = (COARSE_STEP, DEEP_STEP)
        self.below = _SEARCH_BELOW
        self.table_piece = _TABLE_PIECE
        self.pieces: dict = {}  # Earth orientation for every second, by piece, built when first needed
        self.grids: dict = {}  # the coarse samples, by step
        self.elements: list = []

    def prepare(self) -> None:
        """The coarse samples' Earth orientation (shared by the workers)."""
        for step in self.steps:
            if step not in self.grids:
                first = -((-self.lo) // step) * step
                grid = np.arange(first, self.hi + 1, step)
                self.grids[step] = (grid, Frames(self.p.ts, self.p.topos, self.start, grid))

    def _piece(self, k: int) -> Frames:
        if k not in self.pieces:
            a = self.lo + k * self.table_piece
            self.pieces[k] = Frames(self.p.ts, self.p.topos, self.start,
                                    np.arange(a, min(a + self.table_piece, self.hi + 1)))
        return self.pieces[k]

    def _at(self, offsets: np.ndarray) -> _Rows:
        """Frames at any seconds of the search, from the pieces they fall in."""
        rel = offsets - self.lo
        which = rel // self.table_piece
        shape = offsets.shape
        out = _Rows(np.empty(shape + (3, 3)), np.empty(shape + (3,)), np.empty(shape), np.empty(shape))
        for k in np.unique(which):
            mask = which == k
            r = _rows(self._piece(int(k)), rel[mask] - k * self.table_piece)
            out.rotation[mask], out.station[mask], out.jd[mask], out.fr[mask] = r.rotation, r.station, r.jd, r.fr
        return out

    # -- evaluation -----------------------------------------------------------

    def look(self, orbits: Orbits, offsets: np.ndarray) -> Tuple[np.ndarray, np.ndarray]:
        """Azimuth and elevation of satellite i at offsets[i, j], shaped like offsets."""
        offsets = np.clip(offsets, self.lo, self.hi)
        az = np.empty(offsets.shape)
        el = np.empty(offsets.shape)
        rows_at_once = max(1, _CELLS // max(1, offsets.shape[1]))
        for a in range(0, offsets.shape[0], rows_at_once):
            part = slice(a, a + rows_at_once)
            view = self._at(offsets[part])
            e, r = orbits.subset(np.arange(a, min(a + rows_at_once, offsets.shape[0]))).positions(view.jd, view.fr)
            local = np.einsum("pmij,pmj->pmi", view.rotation, r / _AU_KM) - view.station
            az[part], el[part] = _angles(local)
            el[part] = np.where(e == 0, el[part], np.nan)
        return az, el

    def reachable(self, orbits: Orbits, offsets: np.ndarray) -> np.ndarray:
        return self.p.reachable(self.look(orbits, offsets)[1])

    # -- the search -----------------------------------------------------------

    def run(self, indices: List[int]) -> list:
        self.prepare()
        out: list = []
        deep = [k for k in indices if self.elements[k].satrec.method == "d"]
        near = [k for k in indices if self.elements[k].satrec.method != "d"]
        for group, step in ((near, self.steps[0]), (deep, self.steps[1])):
            grid, frames = self.grids[step]
            block = max(1, _CELLS // len(grid))
            for a in range(0, len(group), block):
                out.extend(self._block(group[a:a + block], grid, frames, step))
        return out

    def _block(self, ks: List[int], grid: np.ndarray, frames: Frames, step: int) -> list:
        orbits = Orbits([self.elements[k].satrec for k in ks])
        _, el, e = look_many(orbits, frames)
        out: list = []
        found = []  # (index in block, rise, set, peak offset, first sample, last sample)
        floor = self.p.console.lowest_reachable_elevation() - self.below
        for i, k in enumerate(ks):
            bad = np.flatnonzero(e[i] != 0)
            if len(bad):
                out.append((k, None, (int(grid[bad[0]]), error_text(e[i][bad[0]]))))
            row = np.nan_to_num(el[i], nan=-90.0)
            up = row > 0
            if not up.any():
                continue
            edges = np.flatnonzero(np.diff(up.astype(np.int8)))
            starts = [0] if up[0] else []
            starts += [j + 1 for j in edges if not up[j]]
            ends = [j for j in edges if up[j]] + ([len(up) - 1] if up[-1] else [])
            for s, t in zip(starts, ends):
                rise = int(grid[0]) if s == 0 else _crossing(grid[s - 1], row[s - 1], grid[s], row[s])
                set_ = int(grid[-1]) if t == len(up) - 1 else _crossing(grid[t], row[t], grid[t + 1], row[t + 1])
                if rise >= self.span or set_ < 0:
                    continue
                peak = s + int(np.argmax(row[s:t + 1]))
                if not self.every and row[peak] < floor:
                    continue
                found.append((i, rise, set_, int(grid[peak]), int(grid[s]) - step, int(grid[t]) + step))
        if found:
            out.extend(self._settle(ks, orbits, found, step))
        return out

    def _settle(self, ks, orbits: Orbits, found, step: int) -> list:
        which = np.array([f[0] for f in found])
        per = orbits.subset(which)
        peak = np.array([f[3] for f in found])[:, None]
        # The culmination: every 10 s around the highest sample, then every second.
        offs = peak + np.arange(-step, step + 1, 10)[None, :]
        _, el = self.look(per, offs)
        best = offs[np.arange(len(found)), np.argmax(np.nan_to_num(el, nan=-90.0), axis=1)][:, None]
        offs = best + np.arange(-10, 11)[None, :]
        az, el = self.look(per, offs)
        top = np.argmax(np.nan_to_num(el, nan=-90.0), axis=1)
        rows = np.arange(len(found))
        culm, culm_el, culm_az = offs[rows, top], el[rows, top], az[rows, top]
        ends = np.array([[max(self.lo, f[1]), min(self.hi, f[2])] for f in found])
        end_az, _ = self.look(per, ends)
        reach: List[Optional[Reach]] = [None] * len(found)
        near = np.flatnonzero(self.p.reachable(culm_el))
        if len(near):
            sub = per.subset(near)
            left = self._edge(sub, np.array([found[j][4] for j in near]), culm[near])
            right = self._edge(sub, np.array([found[j][5] for j in near]), culm[near])
            for n, j in enumerate(near):
                reach[j] = self._runs(sub.subset(np.array([n])), int(left[n]), int(right[n]),
                                      self.elements[ks[found[j][0]]].satrec.method == "d")
        return [(ks[f[0]], (f[1], float(end_az[j, 0]), int(culm[j]), float(culm_el[j]), float(culm_az[j]),
                            f[2], float(end_az[j, 1]), reach[j]), None) for j, f in enumerate(found)]

    def _edge(self, orbits: Orbits, outside: np.ndarray, inside: np.ndarray) -> np.ndarray:
        """The last reachable second from `inside` toward `outside` (bisection:
        the elevation falls steadily away from the culmination)."""
        outside = np.clip(outside, self.lo, self.hi)
        gone = ~self.reachable(orbits, outside[:, None])[:, 0]
        good = inside.copy()
        bad = outside.copy()
        good[~gone] = outside[~gone]  # still reachable where the search ends
        while True:
            open_ = np.abs(bad - good) > 1
            if not open_.any():
                return good
            mid = (good + bad) // 2
            mid = np.where(open_, mid, good)
            ok = self.reachable(orbits, mid[:, None])[:, 0]
            good = np.where(open_ & ok, mid, good)
            bad = np.where(open_ & ~ok, mid, bad)

    def _runs(self, orbit: Orbits, a: int, b: int, deep: bool) -> Reach:
        """The reachable seconds between a and b, looked at one by one where that is cheap."""
        if b - a > (_CHECK_DEEP if deep else _CHECK_NEAR):
            return Reach([(a, b)])
        flags = np.concatenate([self.reachable(orbit, np.arange(t, min(t + _PIECE, b + 1))[None, :])[0]
                                for t in range(a, b + 1, _PIECE)])
        runs: List[Tuple[int, int]] = []
        for j in np.flatnonzero(flags):
            t = a + int(j)
            if runs and runs[-1][1] == t - 1:
                runs[-1] = (runs[-1][0], t)
            else:
                runs.append((t, t))
        return Reach(runs)


def _crossing(t0: float, e0: float, t1: float, e1: float) -> int:
    """Second at which the elevation crosses 0 between two samples."""
    if e1 == e0:
        return int(t1)
    return int(round(t0 + (t1 - t0) * (0 - e0) / (e1 - e0)))
