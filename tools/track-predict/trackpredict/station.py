"""One station folder: its settings, its elements, its passes and the track
file written for a chosen pass."""

from __future__ import annotations

import fcntl
import os
import sys
from datetime import datetime, timedelta, timezone
from typing import List, Optional, TextIO, Tuple

from .elements import ElementSet, ElementStore
from .passes import Pass, Predictor
from .settings import (ConsoleSettings, Followed, InputError, PredictSettings,
                       read_console_settings, read_predict_settings)
from .safetext import printable
from .trackfile import TrackText, write_whole


def utc_text(t: datetime) -> str:
    return t.strftime("%Y-%m-%d %H:%M:%S")


class Log:
    """Decision lines to standard output and predict.log; the running program
    repeats a line only when it changes."""

    def __init__(self, path: Optional[str], out: Optional[TextIO] = None) -> None:
        self.path = path
        self._out = out
        self._last: Optional[str] = None

    @property
    def out(self) -> TextIO:
        return self._out or sys.stdout

    def line(self, now: datetime, message: str) -> None:
        self._last = message
        text = f"{utc_text(now)}  {printable(message)}"
        print(text, file=self.out, flush=True)
        if self.path:
            try:
                with open(self.path, "a", encoding="utf-8") as f:
                    f.write(text + "\n")
            except OSError as e:
                print(f"{utc_text(now)}  {self.path}: cannot be written ({e.strerror})",
                      file=self.out, flush=True)

    def once(self, now: datetime, message: str) -> None:
        if message != self._last:
            self.line(now, message)


class PassError(InputError):
    """A chosen pass that cannot be written; the others still can."""


LOCK_NAME = ".track-predict.lock"


def hold_station(folder: str) -> int:
    """Takes the station folder for this process (a lock the system drops when
    the process ends, however it ends); returns the descriptor to keep open.
    InputError naming the process that holds it."""
    path = os.path.join(folder, LOCK_NAME)
    try:
        fd = os.open(path, os.O_RDWR | os.O_CREAT | os.O_CLOEXEC | os.O_NOFOLLOW, 0o644)
    except OSError as e:
        raise InputError(f"{path}: cannot be written ({e.strerror})") from None
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        try:
            holder = os.pread(fd, 32, 0).decode("ascii", errors="replace").strip()
        finally:
            os.close(fd)
        raise InputError(f"{folder}: another track-predict (process {holder or 'unknown'}) "
                         f"writes for this station") from None
    os.ftruncate(fd, 0)
    os.pwrite(fd, f"{os.getpid()}\n".encode(), 0)
    return fd


class Station:
    def __init__(self, folder: str, elements: Optional[str] = None) -> None:
        self.folder = os.path.abspath(folder)
        self.elements_override = os.path.abspath(elements) if elements else None
        self.console: Optional[ConsoleSettings] = None
        self.predict: Optional[PredictSettings] = None
        self.store: Optional[ElementStore] = None
        self.predictor: Optional[Predictor] = None
        self._signature = None
        self.jobs = 1

    def _settings_signature(self):
        out = []
        for name in ("tuvarn.ini", "predict.ini"):
            try:
                st = os.stat(os.path.join(self.folder, name))
                out.append((st.st_mtime_ns, st.st_size))
            except OSError:
                out.append(None)
        return tuple(out)

    def load(self) -> bool:
        """Reads the settings and the elements when they changed; True when
        anything did. Raises InputError."""
        signature = self._settings_signature()
        changed = False
        if signature != self._signature or self.predictor is None:
            console = read_console_settings(self.folder)
            predict = read_predict_settings(self.folder)
            if self.elements_override:
                predict.elements = self.elements_override
            self.console, self.predict = console, predict
            self.predictor = Predictor(predict, console)
            self.predictor.jobs = self.jobs
            if self.store is None or self.store.path != predict.elements:
                self.store = ElementStore(predict.elements)
            self._signature = signature
            changed = True
        assert self.store is not None
        return self.store.refresh() or changed

    @property
    def track_path(self) -> str:
        assert self.console is not None
        return self.console.track_path

    def check_track_folder(self) -> None:
        folder = os.path.dirname(self.track_path) or "."
        if not os.path.isdir(folder):
            raise InputError(f"{self.folder}/tuvarn.ini: TrackPath folder {folder} does not exist; "
                             f"the console refuses it (\"bad track path\")")
        if not os.access(folder, os.W_OK | os.X_OK):
            raise InputError(f"{self.folder}/tuvarn.ini: TrackPath folder {folder} cannot be written")

    def targets(self) -> Tuple[List[Tuple[ElementSet, Followed]], List[str]]:
        """The followed satellites with their element sets, and one message for
        each that the elements lack."""
        assert self.predict is not None and self.store is not None
        found, missing = [], []
        for f in self.predict.satellites:
            element = self.store.get(f.catalog)
            if element is None:
                why = self.store.reason_for(f.catalog)
                missing.append(f"{self.predict.path} line {f.line}: satellite {f.catalog} "
                               f"not in the elements ({self.predict.elements})"
                               + (f"; {why}" if why else ""))
            else:
                found.append((element, f))
        return found, missing

    def refusals(self, limit: int = 20) -> List[str]:
        """The sets and files left out, one line each (a long list cut)."""
        assert self.store is not None
        refused = self.store.refused
        lines = [f"skipped: {r}" for r in refused[:limit]]
        if len(refused) > limit:
            lines.append(f"skipped: {len(refused) - limit} more sets or files of {self.store.path}")
        return lines

    def age_warnings(self, targets, now: datetime) -> List[str]:
        assert self.predict is not None
        out = []
        for element, _ in targets:
            age = element.age_days(now)
            if age > self.predict.max_age_days:
                out.append(f"elements of {element.display_name} ({element.catalog}) are {age:.1f} days old: "
                           f"not planned (limit {self.predict.max_age_days:g} days)")
            elif age < -self.predict.max_age_days:
                out.append(f"elements of {element.display_name} ({element.catalog}) are dated {-age:.1f} days "
                           f"ahead: not planned (limit {self.predict.max_age_days:g} days)")
            elif age > self.predict.warn_age_days:
                out.append(f"elements of {element.display_name} ({element.catalog}) are {age:.1f} days old")
        return out

    def find(self, targets, now: datetime, hours: float, every: bool = False) -> List[Pass]:
        assert self.predictor is not None
        return self.predictor.find(targets, now, hours, every)

    def problems(self) -> List[str]:
        """Element sets the propagator gave up on in the last search (decayed, say)."""
        return list(self.predictor.problems.values()) if self.predictor is not None else []

    def track_text(self, p: Pass, now: datetime) -> TrackText:
        """The file for a pass; the pass's upload part is set from the points
        as written."""
        assert self.predictor is not None
        try:
            track, (lo, hi) = self.predictor.track_of(p)
        except ValueError:
            # No position for some second of it: the orbit decays on the way.
            raise PassError(f"elements of {p.name} ({p.element.catalog}) give no track for the pass "
                             f"of {utc_text(p.rise)} UTC (the orbit decays)") from None
        start = track.start + timedelta(seconds=lo)
        points = track.points[lo:hi + 1]
        flags = track.flags[lo:hi + 1]
        reach = [k for k, f in enumerate(flags) if f]
        p.upload_first = start + timedelta(seconds=reach[0])
        p.upload_last = start + timedelta(seconds=reach[-1])
        p.upload_seconds = len(reach)
        e = p.element
        free = (f"Elements: {os.path.basename(e.source)} line {e.line}, catalogue number {e.catalog}",
                f"Epoch: {utc_text(e.epoch)} UTC",
                f"Age: {e.age_days(now):.2f} days at {utc_text(now)} UTC")
        return TrackText(p.name, start, e.orbit_number(p.upload_first), free, points)

    def write(self, p: Pass, now: datetime) -> TrackText:
        text = self.track_text(p, now)
        write_whole(self.track_path, text.render())
        return text


def parse_now(text: str) -> datetime:
    return datetime.strptime(text, "%Y-%m-%d %H:%M:%S").replace(tzinfo=timezone.utc)
