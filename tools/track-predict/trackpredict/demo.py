"""Made-up element sets: a circular orbit whose satellite is straight above a
place at a chosen UTC time (two-body placement at the epoch; SGP4 moves it a
little, so the pass culminates close to the zenith). For demonstrations and
tests."""

from __future__ import annotations

import math
from datetime import datetime, timezone

from sgp4.propagation import gstime

MU = 398600.4418  # km^3/s^2
EARTH_RADIUS = 6378.137  # km


def _checksum(line: str) -> int:
    return sum(int(c) if c in "0123456789" else (1 if c == "-" else 0) for c in line[:68]) % 10


def _julian(t: datetime) -> float:
    return (t - datetime(2000, 1, 1, 12, tzinfo=timezone.utc)).total_seconds() / 86400.0 + 2451545.0


def make_tle(catalog: int, epoch: datetime, inclination: float, node: float, eccentricity: float,
             perigee: float, mean_anomaly: float, revs_per_day: float, revnum: int, name: str) -> str:
    day = (epoch - datetime(epoch.year, 1, 1, tzinfo=timezone.utc)).total_seconds() / 86400.0 + 1
    line1 = (f"1 {catalog:05d}U 26001A   {epoch.year % 100:02d}{day:012.8f}  .00000000  00000-0  00000-0 0  999")
    line2 = (f"2 {catalog:05d} {inclination:8.4f} {node:8.4f} {round(eccentricity * 1e7):07d} {perigee:8.4f} "
             f"{mean_anomaly:8.4f} {revs_per_day:11.8f}{revnum:5d}")
    line1 += str(_checksum(line1))
    line2 += str(_checksum(line2))
    assert len(line1) == 69 and len(line2) == 69, (line1, line2)
    return f"{name}\n{line1}\n{line2}\n"


def overhead_tle(latitude: float, longitude: float, when: datetime, catalog: int = 90001,
                 altitude_km: float = 500.0, inclination: float = 97.5, revnum: int = 12345,
                 epoch: datetime | None = None, name: str = "TESTSAT") -> str:
    """Three-line text of a set that puts the satellite above (latitude,
    longitude) at `when`; its epoch is `epoch` (default `when`)."""
    epoch = epoch or when
    a = EARTH_RADIUS + altitude_km
    n = math.sqrt(MU / a ** 3)  # rad/s
    inc = math.radians(inclination)
    # Geocentric latitude of the place; the ascending half of the orbit.
    phi = math.atan(0.99330562 * math.tan(math.radians(latitude)))
    u = math.asin(math.sin(phi) / math.sin(inc))
    lam = math.radians(longitude) + gstime(_julian(when))
    node = lam - math.atan2(math.cos(inc) * math.sin(u), math.cos(u))
    # Back from `when` to the epoch along the orbit.
    u_epoch = u - n * (when - epoch).total_seconds()
    node_deg = math.degrees(node) % 360.0
    mean_anomaly = math.degrees(u_epoch) % 360.0
    revs_per_day = n * 86400.0 / (2 * math.pi)
    return make_tle(catalog, epoch, inclination, node_deg, 0.0001, 0.0, mean_anomaly, revs_per_day, revnum, name)
