"""Look angles of many satellites at once: the Earth's orientation and the
station's place are computed once per time and shared by every satellite, and
the orbits come from sgp4's array API. The steps are the ones skyfield takes
for a satellite seen from a place on the ground, so the angles agree with it."""

from __future__ import annotations

from datetime import datetime
from typing import Sequence, Tuple

import numpy as np
from sgp4.api import SGP4_ERRORS
from skyfield.constants import AU_KM, DAY_S, tau
from skyfield.framelib import itrs
from skyfield.functions import _T, mxm
from skyfield.sgp4lib import TEME
from skyfield.units import Angle

_TINY = np.finfo(np.float64).tiny


class Frames:
    """Per time: the rotation from the orbit's frame to the station's horizon,
    the station's offset in that horizon, and the time as sgp4 wants it."""

    def __init__(self, ts, topos, base: datetime, offsets: np.ndarray) -> None:
        self.offsets = np.asarray(offsets, dtype=np.int64)
        t = ts.utc(base.year, base.month, base.day, base.hour, base.minute,
                   base.second + self.offsets.astype(float))
        self.jd = np.atleast_1d(t.whole).astype(float)
        self.fr = np.atleast_1d(t.tai_fraction - t._leap_seconds() / DAY_S).astype(float)
        if len(self.offsets) > 64:
            _interpolated_nutation(ts, base, t, self.offsets)
        horizon = topos.rotation_at(t)  # (3, 3, N)
        teme = _T(TEME.rotation_at(t))
        self.rotation = np.ascontiguousarray(np.moveaxis(mxm(horizon, teme), -1, 0))  # (N, 3, 3)
        station = topos.at(t).position.au  # (3, N)
        self.station = np.einsum("ijn,jn->ni", horizon, station)  # (N, 3)
        self.index = {int(o): k for k, o in enumerate(self.offsets)} if len(self.offsets) < 4096 else None

    def __len__(self) -> int:
        return len(self.offsets)


_NUTATION_STEP = 600  # s; the shortest nutation terms take days


def _interpolated_nutation(ts, base, t, offsets: np.ndarray) -> None:
    """Nutation is the costly part of the Earth's orientation and changes
    slowly: computed every ten minutes and interpolated between, it differs
    from the full series by far less than a micro-arcsecond."""
    knots = np.arange(offsets.min() - _NUTATION_STEP, offsets.max() + 2 * _NUTATION_STEP, _NUTATION_STEP)
    tk = ts.utc(base.year, base.month, base.day, base.hour, base.minute, base.second + knots.astype(float))
    dpsi, deps = tk._nutation_angles_radians
    x = offsets.astype(float)
    t._nutation_angles_radians = (np.interp(x, knots, dpsi), np.interp(x, knots, deps))


def _angles(local: np.ndarray) -> Tuple[np.ndarray, np.ndarray]:
    x, y, z = local[..., 0], local[..., 1], local[..., 2]
    r = np.sqrt(x * x + y * y + z * z)
    el = Angle(radians=np.arcsin(z / (r + _TINY))).degrees
    az = Angle(radians=np.arctan2(y, x) % tau).degrees
    return az, el


def look_many(orbits: "Orbits", frames: Frames) -> Tuple[np.ndarray, np.ndarray, np.ndarray]:
    """Azimuth, elevation (degrees) and sgp4 error code, each (satellites, times).
    Elevation is NaN where the propagator fails."""
    e, r = orbits.positions(frames.jd[None, :], frames.fr[None, :])
    r = r / AU_KM
    local = np.einsum("nij,snj->sni", frames.rotation, r) - frames.station[None, :, :]
    az, el = _angles(local)
    el = np.where(e == 0, el, np.nan)
    return az, el, e


def look_one(orbit: "Orbits", frames: Frames, rows: np.ndarray) -> Tuple[np.ndarray, np.ndarray, np.ndarray]:
    """Azimuth, elevation and error code of one satellite at some of the frames' times."""
    e, r = orbit.positions(frames.jd[rows][None, :], frames.fr[rows][None, :])
    e, r = e[0], r[0] / AU_KM
    local = np.einsum("nij,nj->ni", frames.rotation[rows], r) - frames.station[rows]
    az, el = _angles(local)
    return az, np.where(e == 0, el, np.nan), e


def error_text(code: int) -> str:
    return SGP4_ERRORS.get(int(code), f"error {int(code)}")


_NEAR = ("mo", "mdot", "argpo", "argpdot", "nodeo", "nodedot", "nodecf", "cc1", "bstar", "cc4", "cc5",
         "t2cof", "t3cof", "t4cof", "t5cof", "omgcof", "eta", "xmcof", "delmo", "d2", "d3", "d4", "sinmao",
         "no_unkozai", "ecco", "inclo", "xke", "aycof", "xlcof", "j2", "con41", "x1mth2", "x7thm1",
         "radiusearthkm", "jdsatepoch", "jdsatepochF")


class Orbits:
    """Positions of several satellites at many times in one go. Debian's sgp4
    propagates one time per Python call (about 45 us); the near-Earth steps
    below are its own, written over arrays. Deep-space orbits (periods of
    225 minutes and more) go through the library one satellite at a time."""

    def __init__(self, satrecs: Sequence) -> None:
        self.satrecs = list(satrecs)
        self.deep = np.array([s.method == "d" for s in self.satrecs], dtype=bool)
        near = [s for s, d in zip(self.satrecs, self.deep) if not d]
        self.c = {k: np.array([getattr(s, k) for s in near], dtype=float)[:, None] for k in _NEAR}
        self.c["simple"] = np.array([s.isimp == 1 for s in near], dtype=bool)[:, None]

    def subset(self, rows: np.ndarray) -> "Orbits":
        """The orbits of some of the satellites, by index, repeats allowed."""
        out = Orbits.__new__(Orbits)
        out.satrecs = [self.satrecs[k] for k in rows]
        out.deep = self.deep[rows]
        # Near-Earth coefficients are stored for the near-Earth satellites only.
        place = np.cumsum(~self.deep) - 1
        near_rows = place[rows][~out.deep]
        out.c = {k: v[near_rows] for k, v in self.c.items()}
        return out

    def positions(self, jd: np.ndarray, fr: np.ndarray) -> Tuple[np.ndarray, np.ndarray]:
        """Error codes (S, N) and TEME positions in km (S, N, 3); jd and fr are
        (1, N) for the same times for all, or (S, N)."""
        shape = (len(self.satrecs), jd.shape[-1])
        jd, fr = np.broadcast_to(jd, shape), np.broadcast_to(fr, shape)
        e = np.zeros(shape, dtype=np.int64)
        r = np.empty(shape + (3,))
        near = ~self.deep
        if near.any():
            e[near], r[near] = _near_earth(self.c, jd[near], fr[near])
        for k in np.flatnonzero(self.deep):
            de, dr, _ = self.satrecs[k].sgp4_array(np.ascontiguousarray(jd[k]), np.ascontiguousarray(fr[k]))
            e[k], r[k] = de, dr
        return e, r


def _near_earth(c, jd, fr):
    t = (jd - c["jdsatepoch"]) * 1440.0 + (fr - c["jdsatepochF"]) * 1440.0
    twopi = 2.0 * np.pi
    xmdf = c["mo"] + c["mdot"] * t
    argpdf = c["argpo"] + c["argpdot"] * t
    nodedf = c["nodeo"] + c["nodedot"] * t
    t2 = t * t
    nodem = nodedf + c["nodecf"] * t2
    tempa = 1.0 - c["cc1"] * t
    tempe = c["bstar"] * c["cc4"] * t
    templ = c["t2cof"] * t2
    # The fuller drag terms, except for orbits flagged simple.
    delmtemp = 1.0 + c["eta"] * np.cos(xmdf)
    temp = c["omgcof"] * t + c["xmcof"] * (delmtemp * delmtemp * delmtemp - c["delmo"])
    full = ~c["simple"]
    mm = np.where(full, xmdf + temp, xmdf)
    argpm = np.where(full, argpdf - temp, argpdf)
    t3 = t2 * t
    t4 = t3 * t
    tempa = np.where(full, tempa - c["d2"] * t2 - c["d3"] * t3 - c["d4"] * t4, tempa)
    tempe = np.where(full, tempe + c["bstar"] * c["cc5"] * (np.sin(mm) - c["sinmao"]), tempe)
    templ = np.where(full, templ + c["t3cof"] * t3 + t4 * (c["t4cof"] + t * c["t5cof"]), templ)
    nm = c["no_unkozai"]
    with np.errstate(all="ignore"):
        am = np.power(c["xke"] / nm, 2.0 / 3.0) * tempa * tempa
        nm = c["xke"] / np.power(am, 1.5)
        em = c["ecco"] - tempe
        error = np.where(nm <= 0.0, 2, np.where((em >= 1.0) | (em < -0.001), 1, 0))
        em = np.where(em < 1.0e-6, 1.0e-6, em)
        mm = mm + c["no_unkozai"] * templ
        xlm = mm + argpm + nodem
        nodem = np.fmod(nodem, twopi)
        argpm = argpm % twopi
        xlm = xlm % twopi
        mm = (xlm - argpm - nodem) % twopi
        inclm = c["inclo"]
        sinip, cosip = np.sin(inclm), np.cos(inclm)
        axnl = em * np.cos(argpm)
        temp = 1.0 / (am * (1.0 - em * em))
        aynl = em * np.sin(argpm) + temp * c["aycof"]
        xl = mm + argpm + nodem + temp * c["xlcof"] * axnl
        u = (xl - nodem) % twopi
        eo1 = u.copy()
        sineo1 = np.zeros_like(u)
        coseo1 = np.zeros_like(u)
        active = np.ones(u.shape, dtype=bool)
        for _ in range(10):  # Kepler's equation, each element until it settles
            s, co = np.sin(eo1), np.cos(eo1)
            sineo1 = np.where(active, s, sineo1)
            coseo1 = np.where(active, co, coseo1)
            tem5 = 1.0 - coseo1 * axnl - sineo1 * aynl
            tem5 = (u - aynl * coseo1 + axnl * sineo1 - eo1) / tem5
            tem5 = np.clip(tem5, -0.95, 0.95)
            eo1 = np.where(active, eo1 + tem5, eo1)
            active &= np.abs(tem5) >= 1.0e-12
            if not active.any():
                break
        ecose = axnl * coseo1 + aynl * sineo1
        esine = axnl * sineo1 - aynl * coseo1
        el2 = axnl * axnl + aynl * aynl
        pl = am * (1.0 - el2)
        error = np.where((error == 0) & (pl < 0.0), 4, error)
        rl = am * (1.0 - ecose)
        betal = np.sqrt(1.0 - el2)
        temp = esine / (1.0 + betal)
        sinu = am / rl * (sineo1 - aynl - axnl * temp)
        cosu = am / rl * (coseo1 - axnl + aynl * temp)
        su = np.arctan2(sinu, cosu)
        sin2u = (cosu + cosu) * sinu
        cos2u = 1.0 - 2.0 * sinu * sinu
        temp = 1.0 / pl
        temp1 = 0.5 * c["j2"] * temp
        temp2 = temp1 * temp
        mrt = rl * (1.0 - 1.5 * temp2 * betal * c["con41"]) + 0.5 * temp1 * c["x1mth2"] * cos2u
        su = su - 0.25 * temp2 * c["x7thm1"] * sin2u
        xnode = nodem + 1.5 * temp2 * cosip * sin2u
        xinc = inclm + 1.5 * temp2 * cosip * sinip * cos2u
        sinsu, cossu = np.sin(su), np.cos(su)
        snod, cnod = np.sin(xnode), np.cos(xnode)
        sini, cosi = np.sin(xinc), np.cos(xinc)
        xmx = -snod * cosi
        xmy = cnod * cosi
        mr = mrt * c["radiusearthkm"]
        r = np.stack((mr * (xmx * sinsu + cnod * cossu), mr * (xmy * sinsu + snod * cossu),
                      mr * (sini * sinsu)), axis=-1)
        error = np.where((error == 0) & (mrt < 1.0), 6, error)
    return error, r
