"""Choosing among the passes, and when a chosen pass may be written."""

from __future__ import annotations

from dataclasses import dataclass, field
from datetime import datetime, timedelta
from typing import Dict, List, Optional, Sequence, Tuple

from .passes import Pass
from .trackfile import MAX_UPLOAD

# The console loads a file at its second poll, then uploads; a pass starting
# sooner than this is not worth writing.
MIN_AHEAD = 30
# The console refuses a start 86401 whole seconds or more ahead.
CONSOLE_MAX_AHEAD = 86400
# The controller reports its finish for a few seconds after the last point.
FINISH = 3


def busy(p: Pass, travel: int) -> Tuple[datetime, datetime]:
    """The antenna is busy from its travel to the start position until the
    finish; the writer waits for the last point of the file before it writes
    the next, which must then still be taken by the console."""
    assert p.upload_first is not None and p.upload_last is not None
    end = p.upload_last + timedelta(seconds=FINISH)
    if p.file_last is not None:
        end = max(end, p.file_last + timedelta(seconds=1))
    return p.upload_first - timedelta(seconds=max(travel, MIN_AHEAD)), end


def pass_key(p: Pass) -> Tuple[int, float]:
    """The element set a pass comes from: a kept slice holds while it does."""
    s = p.element.satrec
    return p.element.catalog, s.jdsatepoch + s.jdsatepochF


@dataclass
class Limits:
    now: datetime
    travel: int
    max_age_days: float
    busy_until: Optional[datetime] = None  # the pass written before is not over until then
    # Upload slices of passes chosen before, kept while their elements stay.
    kept: Dict[Tuple[int, float], List[Tuple[datetime, datetime]]] = field(default_factory=dict)


def choose(passes: Sequence[Pass], limits: Limits) -> List[Pass]:
    """Sets every pass's decision; returns the chosen ones in time order.
    Overlaps go to the higher priority, then the more reachable seconds, then
    the earlier start. A pass reachable for longer than one upload takes the
    slice that fits beside the passes chosen before it."""
    candidates = []
    earliest = limits.now + timedelta(seconds=MIN_AHEAD)
    if limits.busy_until is not None:
        earliest = max(earliest, limits.busy_until + timedelta(seconds=max(limits.travel, MIN_AHEAD)))
    for p in passes:
        age = p.element.age_days(limits.now)
        kept = _kept_slice(p, limits)
        if age > limits.max_age_days:
            p.decision = f"elements {age:.1f} days old"
        elif age < -limits.max_age_days:
            p.decision = f"elements dated {-age:.1f} days ahead"
        elif p.reach_seconds == 0:
            p.decision = "not reachable"
        elif p.reach_seconds < p.followed.min_seconds:
            p.decision = f"under {p.followed.min_seconds} s"
        elif kept is None and p.upload_first < earliest and not _movable(p, earliest, []):
            p.decision = ("too late" if p.upload_first < limits.now + timedelta(seconds=MIN_AHEAD)
                          else "previous pass not over")
        elif kept is not None and p.upload_first < earliest:
            p.decision = ("too late" if p.upload_first < limits.now + timedelta(seconds=MIN_AHEAD)
                          else "previous pass not over")
        else:
            candidates.append((p, kept is not None))
    candidates.sort(key=lambda c: (not c[1], c[0].followed.priority, -c[0].upload_seconds,
                                   c[0].upload_first, c[0].name))
    chosen: List[Pass] = []
    for p, kept in candidates:
        clash = _clash(p, chosen, limits.travel)
        if (clash is not None or p.upload_first < earliest) and not kept:
            moved = _movable(p, earliest, [busy(c, limits.travel) for c in chosen], limits.travel)
            if moved is not None:
                others = sorted({c.name for c in chosen if _overlaps(busy(p, limits.travel), busy(c, limits.travel))})
                p.set_slice(*moved)
                p.notes.append("slice moved clear of " + ", ".join(others) if others and clash is not None
                               else "slice moved later")
                clash = _clash(p, chosen, limits.travel)
        if clash is not None:
            p.decision = f"overlaps {clash.name}"
        else:
            p.decision = "chosen"
            chosen.append(p)
    chosen.sort(key=lambda p: p.upload_first)
    return chosen


def _overlaps(a: Tuple[datetime, datetime], b: Tuple[datetime, datetime]) -> bool:
    return a[0] < b[1] and b[0] < a[1]


def _clash(p: Pass, chosen: List[Pass], travel: int) -> Optional[Pass]:
    mine = busy(p, travel)
    return next((c for c in chosen if _overlaps(mine, busy(c, travel))), None)


def _kept_slice(p: Pass, limits: Limits) -> Optional[Tuple[datetime, datetime]]:
    """A slice chosen before for this pass: set on the pass, and returned."""
    if p.reach is None or p.base is None or not p.reach_seconds:
        return None
    for lo, hi in limits.kept.get(pass_key(p), []):
        a = int((lo - p.base).total_seconds())
        b = int((hi - p.base).total_seconds())
        if p.reach.first <= a and b <= p.reach.last and p.reach.count_in(a, b):
            p.set_slice(a, b)
            return lo, hi
    return None


def _movable(p: Pass, earliest: datetime, taken: List[Tuple[datetime, datetime]],
             travel: int = 0) -> Optional[Tuple[int, int]]:
    """The best upload slice of a long pass that starts no sooner than `earliest`
    and keeps clear of the busy times taken: the most seconds, then the nearest
    to the middle of the pass. None when the pass has no such room or is short."""
    if p.reach is None or p.base is None or p.reach_seconds <= 0:
        return None
    reach = p.reach
    sec = lambda t: int((t - p.base).total_seconds())
    if reach.count <= MAX_UPLOAD:
        return None  # a short pass is written whole or not at all
    blocked = sorted((sec(a) - FINISH + 1, sec(b) + max(travel, MIN_AHEAD) - 1) for a, b in taken)
    free, start = [], max(reach.first, sec(earliest))
    for a, b in blocked:
        if b < start:
            continue
        if a > start:
            free.append((start, min(a - 1, reach.last)))
        start = max(start, b + 1)
    if start <= reach.last:
        free.append((start, reach.last))
    middle = (reach.first + reach.last) // 2
    best = None
    for a, b in free:
        have = reach.count_in(a, b) if b >= a else 0
        if have < p.followed.min_seconds or have == 0:
            continue
        take = min(have, MAX_UPLOAD)
        before = reach.count - reach.count_in(a, reach.last)  # reachable seconds before a
        k = min(max(before, before + (reach.count_in(a, middle) if middle >= a else 0) - take // 2),
                before + have - take)
        lo, hi = reach.nth(k), reach.nth(k + take - 1)
        score = (take, -abs((lo + hi) // 2 - middle))
        if best is None or score > best[0]:
            best = (score, (lo, hi))
    return best[1] if best else None


def write_time(p: Pass, lead: int) -> datetime:
    """When the file for a chosen pass is written: the lead time before its first
    reachable point, and never so early that the console would refuse it."""
    assert p.upload_first is not None
    return p.upload_first - timedelta(seconds=min(lead, CONSOLE_MAX_AHEAD))


def console_takes(p: Pass, now: datetime) -> Optional[str]:
    """None when the console would accept the pass now, else why not."""
    assert p.upload_first is not None
    ahead = (p.upload_first - now).total_seconds()
    if ahead < MIN_AHEAD:
        return "too late"
    if int(ahead) > CONSOLE_MAX_AHEAD:
        return "too far ahead"
    return None
