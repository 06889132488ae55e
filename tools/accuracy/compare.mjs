// Holds the model's sun (the CSV of heliotrope-model-table on standard input)
// against Astronomy Engine and prints the figures as a Markdown section.
//
//   node compare.mjs < model.csv > accuracy.md
//
// Reference for the position: the sun's centre seen from the observer
// (topocentric, sea level), of date, with aberration, on the geometric
// horizon: no refraction, the same convention the model's elevation uses.
// Only instants with the reference sun above the horizon count: that is when
// the antenna points at it.
//
// Reference for sunset and sunrise: Astronomy Engine's own rise and set, the
// upper limb on the horizon with standard refraction (about -0.83 degrees for
// the centre); the model's rise/set altitude, -0.85 degrees for the centre,
// is a like convention. Compared are the times the window shows (whole
// minutes, truncated) and, to show what the truncation adds, the solver's
// unrounded root.

import * as Astronomy from 'astronomy-engine';
import { createInterface } from 'node:readline';

const CITIES = {
  Hachioji: [35.64, 139.3], Tokyo: [35.65, 139.7], Sapporo: [43.06, 141.3],
  Sendai: [38.27, 140.9], Nagoya: [35.17, 136.9], Osaka: [34.68, 135.5],
  Hiroshima: [34.37, 132.4], Fukuoka: [33.58, 130.4], Naha: [26.217, 127.7],
};
const JST_HOURS = 9;
const RAD = Math.PI / 180;

// A JST clock reading to an Astronomy Engine time.
function jst(dateText, hour, minute) {
  const [y, m, d] = dateText.split('-').map(Number);
  return Astronomy.MakeTime(new Date(Date.UTC(y, m - 1, d, hour - JST_HOURS, minute)));
}

function wrap180(deg) {
  return ((deg + 540) % 360) - 180;
}

// Angle on the sky between two horizon directions, degrees.
function separation(el1, az1, el2, az2) {
  const a = Math.sin(((el2 - el1) * RAD) / 2) ** 2
    + Math.cos(el1 * RAD) * Math.cos(el2 * RAD) * Math.sin(((az2 - az1) * RAD) / 2) ** 2;
  return (2 * Math.asin(Math.min(1, Math.sqrt(a)))) / RAD;
}

class Stat {
  constructor() { this.values = []; this.worst = null; this.sum = 0; this.signed = 0; }
  add(error, where) {
    const v = Math.abs(error);
    this.values.push(v);
    this.sum += v;
    this.signed += error;
    if (!this.worst || v > this.worst.v) this.worst = { v, error, where };
  }
  get n() { return this.values.length; }
  get max() { return this.worst ? this.worst.v : NaN; }
  get mean() { return this.sum / this.n; }
  get bias() { return this.signed / this.n; }
  percentile(p) {
    const s = Float64Array.from(this.values).sort();
    return s[Math.max(0, Math.ceil(p * s.length) - 1)];
  }
}

const stats = {};
function stat(city, what) {
  stats[city] ??= {};
  stats[city][what] ??= new Stat();
  return stats[city][what];
}
const observers = Object.fromEntries(
  Object.entries(CITIES).map(([name, [lat, lon]]) => [name, new Astronomy.Observer(lat, lon, 0)]));
let missing = 0;
const years = new Set();

const lines = createInterface({ input: process.stdin, crlfDelay: Infinity });
for await (const line of lines) {
  const f = line.split(',');
  const [kind, city, date] = f;
  const observer = observers[city];
  if (!observer) throw new Error(`unknown city in: ${line}`);
  years.add(date.slice(0, 4));
  if (kind === 'P') {
    const [hh, mm] = f[3].split(':').map(Number);
    const time = jst(date, hh, mm);
    const eq = Astronomy.Equator(Astronomy.Body.Sun, time, observer, true, true);
    const ref = Astronomy.Horizon(time, observer, eq.ra, eq.dec);
    if (ref.altitude <= 0) continue;
    const el = Number(f[4]);
    const az = Number(f[5]);
    const where = `${city} ${date} ${f[3]} JST (elevation ${ref.altitude.toFixed(1)})`;
    stat('month', date.slice(5, 7)).add(separation(el, az, ref.altitude, ref.azimuth), where);
    for (const c of [city, 'all']) {
      stat(c, 'elevation').add(el - ref.altitude, where);
      stat(c, 'azimuth').add(wrap180(az - ref.azimuth), where);
      stat(c, 'pointing').add(separation(el, az, ref.altitude, ref.azimuth), where);
    }
    continue;
  }
  // S or R: the time the window shows and the solver's root.
  if (f[3] === '-') { missing++; continue; }
  const start = jst(date, JST_HOURS, 0); // 0 h UT of the calculation date: the solver's t = 0
  const direction = kind === 'S' ? -1 : +1;
  const ref = Astronomy.SearchRiseSet(Astronomy.Body.Sun, observer, direction, start, 1);
  if (!ref) { missing++; continue; }
  const hour = Number(f[3]);
  const minute = Number(f[4]);
  // The sunrise hour is one of the next morning (0..8 on the clock).
  const shownUt = start.ut + (hour - JST_HOURS + (kind === 'R' ? 24 : 0)) / 24 - 0 + minute / 1440;
  const rootUt = start.ut + Number(f[5]);
  const name = kind === 'S' ? 'sunset' : 'sunrise';
  const where = `${city} ${date} ${kind === 'S' ? 'sunset' : 'next sunrise'}`;
  for (const c of [city, 'all']) {
    stat(c, `${name} shown`).add((shownUt - ref.ut) * 1440, where);
    stat(c, `${name} root`).add((rootUt - ref.ut) * 1440, where);
  }
}

const deg = (v) => v.toFixed(3);
const min = (v) => v.toFixed(2);
const all = stats.all;
const span = [...years].sort();
const yearText = span.length > 1 ? `${span[0]}–${span[span.length - 1]}` : span[0];

const out = [];
out.push(`Measured by \`scripts/accuracy\` for ${yearText}: the nine listed cities, every 10 minutes`
  + ` while the sun is above the horizon (${all.elevation.n.toLocaleString('en')} instants),`
  + ` against Astronomy Engine 2.1.19 (the sun's centre seen from the site, geometric horizon,`
  + ` no refraction, as the model's elevation is meant).`);
out.push('');
out.push('| | max | 99th percentile |');
out.push('|---|---|---|');
out.push(`| Elevation error (°) | ${deg(all.elevation.max)} | ${deg(all.elevation.percentile(0.99))} |`);
out.push(`| Azimuth error (°) | ${deg(all.azimuth.max)} | ${deg(all.azimuth.percentile(0.99))} |`);
out.push(`| Pointing error on the sky (°) | ${deg(all.pointing.max)} | ${deg(all.pointing.percentile(0.99))} |`);
out.push('');
// What the worst error costs a beam of half-power width B, with the usual
// Gaussian main-beam approximation: 12 (theta / B)^2 dB, the half-power
// point (3 dB) at theta = B / 2.
const worst = all.pointing.max;
const inBeam = [];
const outOfBeam = [];
for (const b of [10, 5, 3, 2, 1, 0.5]) {
  const loss = 12 * (worst / b) ** 2;
  if (loss <= 3) inBeam.push(`${loss.toFixed(1)} dB for a half-power beamwidth of ${b}°`);
  else outOfBeam.push(`${b}°`);
}
out.push(`At the worst error (${deg(worst)}°) the sun's signal drops by ${inBeam.join(', ') || 'more than 3 dB'}`
  + (outOfBeam.length ? `; with a beamwidth of ${outOfBeam.join(', ')} the sun lies outside the half-power beam.` : '.')
  + ' (Gaussian main beam, 12 (error / beamwidth)² dB.)');
out.push('');
const months = Object.keys(stats.month).sort();
out.push('Largest pointing error by month (°): '
  + months.map((m) => `${Number(m)}: ${stats.month[m].max.toFixed(2)}`).join(', ') + '.');
out.push('');
out.push('Sunset and next sunrise as the window shows them (whole minutes, truncated), against'
  + ' Astronomy Engine\'s sunrise and sunset (upper limb on the horizon, standard refraction;'
  + ' the model puts the centre at −0.85°, a like convention):');
out.push('');
out.push('| | max (min) | mean (min) | mean signed (min) |');
out.push('|---|---|---|---|');
for (const name of ['sunset', 'sunrise']) {
  const s = all[`${name} shown`];
  const r = all[`${name} root`];
  out.push(`| ${name === 'sunset' ? 'Sunset' : 'Sunrise'} shown | ${min(s.max)} | ${min(s.mean)} | ${min(s.bias)} |`);
  out.push(`| ${name === 'sunset' ? 'Sunset' : 'Sunrise'}, solver's root before truncation | ${min(r.max)} | ${min(r.mean)} | ${min(r.bias)} |`);
}
out.push('');
out.push('Per city (degrees; minutes for the shown times):');
out.push('');
out.push('| City | elevation max / p99 | azimuth max / p99 | pointing max / p99 | sunset max / mean | sunrise max / mean |');
out.push('|---|---|---|---|---|---|');
for (const city of Object.keys(CITIES)) {
  const s = stats[city];
  out.push(`| ${city} | ${deg(s.elevation.max)} / ${deg(s.elevation.percentile(0.99))}`
    + ` | ${deg(s.azimuth.max)} / ${deg(s.azimuth.percentile(0.99))}`
    + ` | ${deg(s.pointing.max)} / ${deg(s.pointing.percentile(0.99))}`
    + ` | ${min(s['sunset shown'].max)} / ${min(s['sunset shown'].mean)}`
    + ` | ${min(s['sunrise shown'].max)} / ${min(s['sunrise shown'].mean)} |`);
}
out.push('');
out.push(`Worst instants: elevation ${all.elevation.worst.where}, ${deg(all.elevation.worst.error)}°;`
  + ` azimuth ${all.azimuth.worst.where}, ${deg(all.azimuth.worst.error)}°;`
  + ` sunset ${all['sunset shown'].worst.where}, ${min(all['sunset shown'].worst.error)} min;`
  + ` sunrise ${all['sunrise shown'].worst.where}, ${min(all['sunrise shown'].worst.error)} min.`
  + (missing ? ` ${missing} dates without a time.` : ''));
console.log(out.join('\n'));
