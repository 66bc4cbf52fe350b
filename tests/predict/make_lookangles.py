#!/usr/bin/python3
"""Writes lookangles.json: azimuth and elevation of a few made-up satellites seen
from a few places, computed without skyfield: SGP4 (the sgp4 library) for the
position in TEME, then by hand the Greenwich mean sidereal time of 1982, the
station on the WGS84 ellipsoid and the local east-north-up frame. Run once;
the numbers are kept as fixtures."""
import json
import math
from datetime import datetime, timedelta, timezone

from sgp4.api import Satrec

from overhead import make_tle, overhead_tle

# UT1 - UTC on 2021-06-01 from IERS Bulletin A, seconds.
DUT1 = -0.1839
A, F = 6378.137, 1 / 298.257223563


def jd(t):
    return (t - datetime(2000, 1, 1, 12, tzinfo=timezone.utc)).total_seconds() / 86400.0 + 2451545.0


def gmst82(jd_ut1):
    tu = (jd_ut1 - 2451545.0) / 36525.0
    seconds = (67310.54841 + (876600.0 * 3600 + 8640184.812866) * tu
               + 0.093104 * tu * tu - 6.2e-6 * tu ** 3)
    return math.radians((seconds % 86400.0) / 240.0)


def station_ecef(lat, lon, h):
    e2 = F * (2 - F)
    p, l = math.radians(lat), math.radians(lon)
    n = A / math.sqrt(1 - e2 * math.sin(p) ** 2)
    return ((n + h) * math.cos(p) * math.cos(l), (n + h) * math.cos(p) * math.sin(l),
            (n * (1 - e2) + h) * math.sin(p))


def look(sat, t, lat, lon, h_km):
    j = jd(t)
    whole, frac = math.floor(j - 0.5) + 0.5, j - (math.floor(j - 0.5) + 0.5)
    err, r, _ = sat.sgp4(whole, frac)
    assert err == 0
    th = gmst82(j + DUT1 / 86400.0)
    x = math.cos(th) * r[0] + math.sin(th) * r[1]
    y = -math.sin(th) * r[0] + math.cos(th) * r[1]
    z = r[2]
    sx, sy, sz = station_ecef(lat, lon, h_km)
    dx, dy, dz = x - sx, y - sy, z - sz
    p, l = math.radians(lat), math.radians(lon)
    east = -math.sin(l) * dx + math.cos(l) * dy
    north = -math.sin(p) * math.cos(l) * dx - math.sin(p) * math.sin(l) * dy + math.cos(p) * dz
    up = math.cos(p) * math.cos(l) * dx + math.cos(p) * math.sin(l) * dy + math.sin(p) * dz
    return math.degrees(math.atan2(east, north)) % 360.0, math.degrees(math.atan2(up, math.hypot(east, north)))


def main():
    base = datetime(2021, 6, 1, 6, 0, 0, tzinfo=timezone.utc)
    places = [(59.9375, 30.3086, 0.010), (-33.9, 18.4, 0.050), (40.0, -105.3, 1.650)]
    sets = [
        overhead_tle(59.9375, 30.3086, base + timedelta(minutes=7), 90011, epoch=base - timedelta(hours=20),
                     name="LEO-500"),
        overhead_tle(-33.9, 18.4, base + timedelta(minutes=40), 90012, altitude_km=800, inclination=51.6,
                     epoch=base - timedelta(days=1), name="LEO-800"),
        make_tle(90013, base - timedelta(days=2), 63.4, 200.0, 0.70, 270.0, 10.0, 2.00611, 5000, "MOLNIYA"),
    ]
    out = {"dut1": DUT1, "sets": []}
    for text in sets:
        name, l1, l2 = text.strip("\n").split("\n")
        sat = Satrec.twoline2rv(l1, l2)
        for lat, lon, h in places:
            rows = []
            t = base
            while t < base + timedelta(hours=24) and len(rows) < 4:
                az, el = look(sat, t, lat, lon, h)
                if 5 < el < 80:
                    rows.append({"utc": t.strftime("%Y-%m-%d %H:%M:%S"), "az": round(az, 5), "el": round(el, 5)})
                    t += timedelta(minutes=3)
                else:
                    t += timedelta(seconds=37)
            out["sets"].append({"tle": [name, l1, l2], "lat": lat, "lon": lon, "height_m": h * 1000, "points": rows})
    with open("lookangles.json", "w") as f:
        json.dump(out, f, indent=1)


if __name__ == "__main__":
    main()
