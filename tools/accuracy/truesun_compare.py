#!/usr/bin/python3
"""Holds the real sun of heliotrope-rotctl's true-sun mode (ERFA) and the
window's model sun against python3-ephem (libastro, Debian's python3-ephem),
a reference not built on ERFA, and prints the figures as Markdown.

    heliotrope-truesun-table 2024 2030 | truesun_compare.py [--limit DEG] [--label TEXT]

Reference: ephem's sun for an Observer at the site's latitude, longitude and
height, pressure 0 (no refraction: the geometric direction, as the bridge's
default and the window's model mean it), at the row's UTC instant; ephem's
alt/az is the topocentric apparent place (nutation, aberration, parallax).
Exits 1 when the largest difference on the sky of the real sun exceeds
--limit (degrees, default 0.005), so that the tests can run a sample.
"""

import argparse
import csv
import datetime
import math
import sys

try:
    import ephem
except ImportError:
    sys.exit("truesun_compare.py: python3-ephem が必要です (needs Debian's python3-ephem: apt-get install python3-ephem)")


def separation(az1, el1, az2, el2):
    """Angle on the sky between two horizon directions, degrees (haversine, exact near 0)."""
    p1, p2 = math.radians(el1), math.radians(el2)
    dl = math.radians(az2 - az1)
    h = math.sin((p2 - p1) / 2) ** 2 + math.cos(p1) * math.cos(p2) * math.sin(dl / 2) ** 2
    return math.degrees(2 * math.asin(min(1.0, math.sqrt(h))))


def percentile(values, p):
    ordered = sorted(values)
    if not ordered:
        return float("nan")
    return ordered[min(len(ordered) - 1, int(math.ceil(p / 100 * len(ordered))) - 1)]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--limit", type=float, default=0.005, help="largest allowed difference, degrees")
    parser.add_argument("--label", default="", help="what the rows cover, for the heading line")
    parser.add_argument("--daily", help="also write each JST day's largest errors to this CSV, for the picture")
    args = parser.parse_args()

    sun = ephem.Sun()
    observer = ephem.Observer()
    observer.pressure = 0
    rows = 0
    dubious = 0
    per_site = {}
    worst = None
    years = set()
    daily = {}  # JST date -> [largest model error (deg), largest real-sun error (deg)]
    for row in csv.DictReader(sys.stdin):
        rows += 1
        observer.lat = math.radians(float(row["latitudeDeg"]))
        observer.lon = math.radians(float(row["longitudeDeg"]))
        observer.elevation = float(row["heightM"])
        instant = datetime.datetime.fromtimestamp(int(row["unixSeconds"]), datetime.timezone.utc)
        years.add((instant + datetime.timedelta(hours=9)).year)  # JST years, as the table is made
        observer.date = ephem.Date(instant.replace(tzinfo=None))
        sun.compute(observer)
        ref_az, ref_el = math.degrees(sun.az), math.degrees(sun.alt)
        true_gap = separation(float(row["trueAz"]), float(row["trueEl"]), ref_az, ref_el)
        model_gap = separation(float(row["modelAz"]), float(row["modelEl"]), ref_az, ref_el)
        entry = per_site.setdefault(row["site"], ([], []))
        entry[0].append(true_gap)
        entry[1].append(model_gap)
        dubious += row["status"] == "dubious"
        day = daily.setdefault((instant + datetime.timedelta(hours=9)).date(), [0.0, 0.0])
        day[0] = max(day[0], model_gap)
        day[1] = max(day[1], true_gap)
        if worst is None or true_gap > worst[0]:
            worst = (true_gap, row["site"], instant, ref_az, ref_el, float(row["trueAz"]), float(row["trueEl"]))

    if rows == 0:
        sys.exit("truesun_compare.py: no rows on standard input")
    if args.daily:
        with open(args.daily, "w", encoding="utf-8") as out:
            out.write("date,modelMaxDeg,trueMaxArcsec\n")
            for day in sorted(daily):
                out.write(f"{day.isoformat()},{daily[day][0]:.5f},{daily[day][1] * 3600:.4f}\n")
    all_true = [g for t, _ in per_site.values() for g in t]
    all_model = [g for _, m in per_site.values() for g in m]
    arcsec = 3600.0
    print(f"Measured by `scripts/accuracy-truesun`{(' for ' + args.label) if args.label else ''}: "
          f"{rows:,} instants with the sun above the horizon, "
          f"{len(per_site)} sites, {min(years)}–{max(years)}, against python3-ephem {ephem.__version__} "
          "(libastro; the sun's centre seen from the site, geometric horizon, no refraction). "
          f"ERFA's status was \"dubious year\" (past its leap-second table) for {dubious:,} of them.")
    print()
    print("| Sun | max on the sky | 99th percentile | mean |")
    print("|---|---|---|---|")
    print(f"| Real sun, `heliotrope-rotctl --true-sun` (ERFA) | {max(all_true):.5f}° ({max(all_true) * arcsec:.2f}″) "
          f"| {percentile(all_true, 99):.5f}° | {sum(all_true) / len(all_true):.5f}° |")
    print(f"| The window's model | {max(all_model):.3f}° | {percentile(all_model, 99):.3f}° "
          f"| {sum(all_model) / len(all_model):.3f}° |")
    print()
    print("| Site | instants | real sun max (″) | model max (°) |")
    print("|---|---|---|---|")
    for name, (t, m) in per_site.items():
        print(f"| {name} | {len(t):,} | {max(t) * arcsec:.2f} | {max(m):.3f} |")
    print()
    gap, site, instant, ref_az, ref_el, az, el = worst
    print(f"Largest difference of the real sun: {gap * arcsec:.2f}″ at {site}, "
          f"{instant:%Y-%m-%d %H:%M} UTC (ERFA az {az:.5f}°, el {el:.5f}°; ephem az {ref_az:.5f}°, el {ref_el:.5f}°). "
          f"Limit {args.limit}° ({args.limit * arcsec:.0f}″): {'met' if max(all_true) <= args.limit else 'MISSED'}.")
    return 0 if max(all_true) <= args.limit else 1


if __name__ == "__main__":
    sys.exit(main())
