"""The reachable seconds of a pass as runs, and which of them one file carries."""

from __future__ import annotations

from typing import List, Optional, Tuple

from .trackfile import MAX_POINTS, MAX_UPLOAD


class Reach:
    """Reachable seconds (offsets) as sorted, separate runs (first, last), inclusive."""

    def __init__(self, runs: List[Tuple[int, int]]) -> None:
        self.runs = runs
        self.count = sum(b - a + 1 for a, b in runs)

    @property
    def first(self) -> int:
        return self.runs[0][0]

    @property
    def last(self) -> int:
        return self.runs[-1][1]

    def count_in(self, lo: int, hi: int) -> int:
        return sum(max(0, min(b, hi) - max(a, lo) + 1) for a, b in self.runs)

    def first_in(self, lo: int, hi: int) -> int:
        return next(max(a, lo) for a, b in self.runs if b >= lo and a <= hi)

    def last_in(self, lo: int, hi: int) -> int:
        return next(min(b, hi) for a, b in reversed(self.runs) if b >= lo and a <= hi)

    def nth(self, k: int) -> int:
        """The k-th reachable second (from 0)."""
        for a, b in self.runs:
            if k <= b - a:
                return a + k
            k -= b - a + 1
        raise IndexError(k)

    def after(self, t: int, count: int) -> Optional[Tuple[int, int]]:
        """The first `count` reachable seconds from t on (fewer at the end), or None."""
        have = self.count_in(t, self.last) if t <= self.last else 0
        if have == 0:
            return None
        k = self.count - have
        return self.nth(k), self.nth(k + min(count, have) - 1)


def default_slice(reach: Reach) -> Tuple[int, int]:
    """The middle MAX_UPLOAD reachable seconds, or all of them."""
    if reach.count > MAX_UPLOAD:
        k = (reach.count - MAX_UPLOAD) // 2
        return reach.nth(k), reach.nth(k + MAX_UPLOAD - 1)
    return reach.first, reach.last


def file_extent(reach: Reach, lo: int, hi: int) -> Tuple[int, int]:
    """The seconds the file holds for an upload of lo..hi: the console's most
    points centred on it, or the upload alone when that would carry more
    reachable points than one upload frame."""
    first = lo + (hi - lo - (MAX_POINTS - 1)) // 2
    last = first + MAX_POINTS - 1
    if reach.count_in(first, last) > MAX_UPLOAD:
        return lo, hi
    return first, last
