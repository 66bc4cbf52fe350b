"""Choosing among the passes, and when a chosen pass may be written."""

from __future__ import annotations

from dataclasses import dataclass
from datetime import datetime, timedelta
from typing import List, Optional, Sequence, Tuple

from .passes import Pass

# The console loads a file at its second poll, then uploads; a pass starting
# sooner than this is not worth writing.
MIN_AHEAD = 30
# The console refuses a start 86401 whole seconds or more ahead.
CONSOLE_MAX_AHEAD = 86400
# The controller reports its finish for a few seconds after the last point.
FINISH = 3


def busy(p: Pass, travel: int) -> Tuple[datetime, datetime]:
    """The antenna is busy from its travel to the start position until the finish."""
    assert p.upload_first is not None and p.upload_last is not None
    return (p.upload_first - timedelta(seconds=travel),
            p.upload_last + timedelta(seconds=FINISH))


@dataclass
class Limits:
    now: datetime
    travel: int
    max_age_days: float
    busy_until: Optional[datetime] = None  # the pass written before is not over until then


def choose(passes: Sequence[Pass], limits: Limits) -> List[Pass]:
    """Sets every pass's decision; returns the chosen ones in time order.
    Overlaps go to the higher priority, then the more reachable seconds, then
    the earlier start."""
    candidates = []
    for p in passes:
        age = p.element.age_days(limits.now)
        if age > limits.max_age_days:
            p.decision = f"elements {age:.1f} days old"
        elif p.reach_seconds == 0:
            p.decision = "not reachable"
        elif p.reach_seconds < p.followed.min_seconds:
            p.decision = f"under {p.followed.min_seconds} s"
        elif p.upload_first < limits.now + timedelta(seconds=MIN_AHEAD):
            p.decision = "too late"
        elif limits.busy_until is not None and busy(p, limits.travel)[0] < limits.busy_until:
            p.decision = "previous pass not over"
        else:
            candidates.append(p)
    candidates.sort(key=lambda p: (p.followed.priority, -p.upload_seconds, p.upload_first, p.name))
    chosen: List[Pass] = []
    for p in candidates:
        start, end = busy(p, limits.travel)
        clash = next((c for c in chosen if start < busy(c, limits.travel)[1]
                      and busy(c, limits.travel)[0] < end), None)
        if clash is not None:
            p.decision = f"overlaps {clash.name}"
        else:
            p.decision = "chosen"
            chosen.append(p)
    chosen.sort(key=lambda p: p.upload_first)
    return chosen


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
