#!/usr/bin/env python3
"""Writes the band-limited wave tables as C++ data, so that no effect spends its start-up on them.

    make-wave-tables.py OUTPUT.cpp

Level k of a shape sums its harmonics up to min(2^k, 512). Harmonic j at entry i is
sin(j*i*2pi/2048) = sine[(j*i) mod 2048], one quarter-wave of sines serving every harmonic; each
level adds its new harmonics to the sums of the level below, in rising order as a direct sum would.
Python's floats are IEEE doubles and each step below is one rounded operation, so the sums are the
bits a C++ loop of the same operations gives. The sines are rounded from 50 decimal digits: the
nearest doubles, the same on every build machine, but for one entry (below) where the tables have
always held the C library's value.

Only the entries the shapes' symmetries need are written: sawtooth 0..1024 (odd about 0),
triangle and square 0..512 (also symmetric about 512), for levels 0..9 (10 and 11 equal 9).
dsp/WaveTables.cpp unfolds them.
"""
import decimal
import sys

SIZE = 2048
HALF = SIZE // 2
QUARTER = SIZE // 4
MAX_HARMONIC = 512
STORED_LEVELS = 10


def nearest_sine(x):
    """sin(x) for the double x, rounded to the nearest double."""
    decimal.getcontext().prec = 50
    d = decimal.Decimal(x)  # exact
    term, total, n = d, d, 1
    while abs(term) > decimal.Decimal(10) ** -60:
        term = -term * d * d / ((n + 1) * (n + 2))
        total += term
        n += 2
    return float(total)  # float() of a Decimal rounds to nearest


# The tables were first built from glibc's sines, which at entry 54 of the quarter-wave answer the
# double one ulp above the nearest; that value stays, so the sound stays what it was bit for bit.
KEPT = {54: 0.16491312048996992}


def quarter_sines():
    sine = [0.0] * SIZE
    for n in range(QUARTER + 1):
        sine[n] = nearest_sine(n * 6.283185307179586 / SIZE)
    for n, value in KEPT.items():
        assert abs(value - sine[n]) <= 2.8e-17, "kept value more than an ulp away"
        sine[n] = value
    sine[QUARTER] = 1.0
    for n in range(1, QUARTER):
        sine[HALF - n] = sine[n]
    sine[0] = 0.0
    sine[HALF] = 0.0
    for n in range(1, HALF):
        sine[HALF + n] = -sine[n]
    return sine


def levels(sine):
    triangle = [0.0] * (QUARTER + 1)
    square = [0.0] * (QUARTER + 1)
    sawtooth = [0.0] * (HALF + 1)
    harmonic = 0
    out = []
    for k in range(STORED_LEVELS):
        top = min(1 << k, MAX_HARMONIC)
        for j in range(harmonic + 1, top + 1):
            jd = float(j)
            saw = 0.6366197723675814 / jd
            index = 0
            if j % 2 == 1:
                tri = (0.8105694691387022 if j % 4 == 1 else -0.8105694691387022) / (jd * jd)
                sq = 1.2732395447351628 / jd
                for i in range(QUARTER + 1):
                    s = sine[index]
                    triangle[i] += tri * s
                    square[i] += sq * s
                    sawtooth[i] += saw * s
                    index = (index + j) & (SIZE - 1)
                for i in range(QUARTER + 1, HALF + 1):
                    sawtooth[i] += saw * sine[index]
                    index = (index + j) & (SIZE - 1)
            else:
                for i in range(HALF + 1):
                    sawtooth[i] += saw * sine[index]
                    index = (index + j) & (SIZE - 1)
        harmonic = top
        out.append((list(triangle), list(square), list(sawtooth)))
    return out


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-wave-tables.py OUTPUT.cpp")
    sine = quarter_sines()
    lines = [
        "// Made by dsp/make-wave-tables.py: do not edit.",
        '#include "dsp/WaveTables.h"',
        "",
        "namespace Korvel {",
        "",
        "const double WaveTables::kQuarterSines[WaveTables::kQuarter + 1] = {",
    ]
    lines += ["    %s," % sine[n].hex() for n in range(QUARTER + 1)]
    lines += ["};", "", "const double WaveTables::kStoredHalves[] = {"]
    for k, shapes in enumerate(levels(sine)):
        lines.append("    // level %d: triangle, square, sawtooth" % k)
        for values in shapes:
            lines += ["    %s," % v.hex() for v in values]
    lines += ["};", "", "} // namespace Korvel", ""]
    with open(sys.argv[1], "w", encoding="ascii") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    main()
