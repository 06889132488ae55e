// The station's page: /api/status asked every second, drawn as it comes.
// Every text the station says arrives in both languages; the page picks one.
"use strict";

const WORDS = {
  ja: {
    title: "局のページ", rotctld: "rotctld", power: "受信機", clock: "時計", sunrise: "次の日の出", sunset: "次の日の入り",
    heartbeat: "最後の読み", sky: "空", sun: "太陽", commanded: "指令", rotator: "ローテーター", stow: "格納位置", path: "今日の太陽の道",
    warnings: "警告", said: "これまでの警告", figures: "較正と測定", control: "操作", token: "合言葉",
    doStow: "格納", doStop: "停止", doResume: "再開", statusText: "--status の答え（そのまま）",
    connected: "つながっています", notConnected: "つながっていません", none: "なし",
    notWatching: "見ていません（--watch-power なし）", synchronised: "同期しています", unsynchronised: "同期していません",
    unknownClock: "分かりません", noWarnings: "いまはありません", nothingSaid: "ありません", secondsAgo: "秒前",
    neverRead: "まだ読めていません", stale: "このページは古くなっています: ブリッジから {s} 秒答えがありません。",
    readingOld: "（古い読み）", noSite: "地点が分からないので太陽は描けません（--site）", noFigures: "記録にまだありません",
    trackingError: "追尾誤差（この 1 時間）", beamwidths: "ビーム幅", degrees: "度", noErrors: "まだありません（追尾中に 10 秒ごと）",
    latest: "最新", largest: "最大",
    asked: "依頼しました", refused: "断られました", needToken: "合言葉を入れてください", sky2: "空では",
    record: "記録（この 90 日）", yTrend: "太陽雑音 Y（dB、黒: 局の測定、灰: バースト中かリハーサル）",
    fluxTrend: "日の流束（SFU、± 全体の誤差）", noRuns: "まだありません", burstsOf: "最新の日のバースト", noBursts: "バーストなし",
    peak: "ピーク", excess: "超過", todayCurve: "今日の流束（1 分ごとのきれいな読みの中央値、SFU、橙: バースト）",
    notWorkedOut: "まだ計算していません（--watch-power で追尾中、5 分ごと）", todaysBursts: "今日のバースト",
    park: "パーク位置（K）",
  },
  en: {
    title: "station page", rotctld: "rotctld", power: "Receiver", clock: "Clock", sunrise: "Next sunrise", sunset: "Next sunset",
    heartbeat: "Last reading", sky: "Sky", sun: "Sun", commanded: "Commanded", rotator: "Rotator", stow: "Stow position", path: "Sun's path today",
    warnings: "Warnings", said: "Warnings said", figures: "Calibration and measurements", control: "Control", token: "Token",
    doStow: "Stow", doStop: "Stop", doResume: "Resume", statusText: "--status's answer, as it is",
    connected: "connected", notConnected: "not connected", none: "none",
    notWatching: "not watched (no --watch-power)", synchronised: "synchronised", unsynchronised: "not synchronised",
    unknownClock: "unknown", noWarnings: "none now", nothingSaid: "none", secondsAgo: "s ago",
    neverRead: "not read yet", stale: "This page is stale: no answer from the bridge for {s} s.",
    readingOld: " (an old reading)", noSite: "No site, so no sun to draw (--site)", noFigures: "none in the record yet",
    trackingError: "Tracking error, the last hour", beamwidths: "beamwidths", degrees: "degrees", noErrors: "none kept yet (every 10 s while tracking)",
    latest: "latest", largest: "largest",
    asked: "asked", refused: "refused", needToken: "give the token", sky2: "on the sky",
    record: "Record, the last 90 days", yTrend: "Sun-noise Y (dB; black: the station's, grey: during a burst or a rehearsal)",
    fluxTrend: "Daily flux (SFU, ± total error)", noRuns: "none yet", burstsOf: "bursts of the latest day", noBursts: "no bursts",
    peak: "peak", excess: "excess", todayCurve: "Today's flux (each minute's clean readings' median, SFU; orange: bursts)",
    notWorkedOut: "not worked out yet (while tracking with --watch-power, every 5 min)", todaysBursts: "today's bursts",
    park: "park position (K)",
  },
};

const STATE_CLASS = {
  trackingBySelf: "ok", trackingWindow: "ok", reference: "ok", night: "calm", stowed: "calm", stopped: "calm",
  measuring: "busy", movingToStow: "busy", stowAsked: "busy", stowWaiting: "busy", noSetPoint: "busy",
  stowRefused: "bad", stowUnanswered: "bad", stopRefused: "bad",
};
// What keeps the rotator from being where the state says it is going: the
// state's mark is red over its words while one of these stands.
const NOT_MOVING = new Set(["rotctld", "notFollowing", "controller"]);

const POLL_MS = 1000;
// The record changes with a run or a day's end: asked once a minute.
const RECORD_POLL_MS = 60000;
const STALE_MS = 5000;
const OLD_READING_MS = 10000;

let lang = localStorage.getItem("heliotrope-lang") || ((navigator.language || "en").toLowerCase().startsWith("ja") ? "ja" : "en");
let latest = null;
let runsKept = null;
let fluxDays = null;
let lastAnswer = performance.now();
let token = "";

const $ = (id) => document.getElementById(id);
const w = (key) => WORDS[lang][key];
const said = (pair) => (pair ? pair[lang] || pair.en || "" : "");

function jst(utcMs) {
  if (utcMs === null || utcMs === undefined) return w("none");
  const d = new Date(utcMs + 9 * 3600 * 1000);
  const two = (n) => String(n).padStart(2, "0");
  return `${d.getUTCFullYear()}-${two(d.getUTCMonth() + 1)}-${two(d.getUTCDate())} ${two(d.getUTCHours())}:${two(d.getUTCMinutes())}:${two(d.getUTCSeconds())} JST`;
}

const sinceText = (utcMs) => (lang === "ja" ? `${jst(utcMs)} から` : `since ${jst(utcMs)}`);
const deg = (p) => (p ? `${p.az.toFixed(2)}° ${p.el.toFixed(2)}°` : w("none"));

function setText(id, text, cls) {
  const el = $(id);
  el.textContent = text;
  el.className = cls || "";
}

function fillList(id, items, empty) {
  const list = $(id);
  list.replaceChildren();
  for (const text of items.length ? items : [empty]) {
    const li = document.createElement("li");
    li.textContent = text;
    if (!items.length) li.className = "empty";
    list.appendChild(li);
  }
}

const SVG = "http://www.w3.org/2000/svg";
function svg(name, attrs, text) {
  const el = document.createElementNS(SVG, name);
  for (const [k, v] of Object.entries(attrs)) el.setAttribute(k, v);
  if (text) el.textContent = text;
  return el;
}

// North up, east right; the horizon at the rim, the zenith in the middle.
function xy(p) {
  const r = (100 * (90 - Math.max(-5, Math.min(90, p.el)))) / 90;
  const a = (p.az * Math.PI) / 180;
  return [r * Math.sin(a), -r * Math.cos(a)];
}

const MARKS = [
  { key: "sun", colour: "#f0a000", draw: (x, y) => svg("circle", { cx: x, cy: y, r: 6, fill: "#f7c600", stroke: "#b07000" }) },
  { key: "commanded", colour: "#1565c0", draw: (x, y) => svg("circle", { cx: x, cy: y, r: 8, fill: "none", stroke: "#1565c0", "stroke-width": 1.6 }) },
  { key: "rotator", colour: "#222", draw: (x, y) => svg("circle", { cx: x, cy: y, r: 3, fill: "#222" }) },
  { key: "stow", colour: "#6a1b9a", draw: (x, y) => svg("rect", { x: x - 4, y: y - 4, width: 8, height: 8, fill: "none", stroke: "#6a1b9a", "stroke-width": 1.4 }) },
];

function drawChart(sky) {
  const chart = $("chart");
  chart.replaceChildren();
  for (const el of [0, 30, 60]) chart.appendChild(svg("circle", { class: "grid", cx: 0, cy: 0, r: (100 * (90 - el)) / 90 }));
  chart.appendChild(svg("line", { class: "grid", x1: -100, y1: 0, x2: 100, y2: 0 }));
  chart.appendChild(svg("line", { class: "grid", x1: 0, y1: -100, x2: 0, y2: 100 }));
  for (const [t, x, y] of [["N", 0, -104], ["E", 110, 3], ["S", 0, 112], ["W", -110, 3]]) chart.appendChild(svg("text", { class: "label", x, y }, t));
  for (const el of [30, 60]) chart.appendChild(svg("text", { class: "label", x: 3, y: -(100 * (90 - el)) / 90 + 8 }, `${el}°`));
  if (sky.path.length > 1)
    chart.appendChild(svg("polyline", { class: "path", points: sky.path.map(([az, el]) => xy({ az, el }).join(",")).join(" ") }));
  const legend = $("legend");
  legend.replaceChildren();
  for (const mark of MARKS) {
    const p = sky[mark.key === "rotator" ? "rotator" : mark.key];
    if (p) chart.appendChild(mark.draw(...xy(p)));
    const li = document.createElement("li");
    const swatch = document.createElement("i");
    swatch.className = `k-${mark.key}`;
    li.append(swatch, w(mark.key));
    legend.appendChild(li);
  }
  if (!sky.site) chart.appendChild(svg("text", { class: "label", x: 0, y: 40 }, w("noSite")));
}

// The error on the sky between what is tracked and where the rotator reads,
// in beamwidths when the station knows its beam, else in degrees.
function drawErrors(trail, nowMs) {
  const plot = $("errors");
  plot.replaceChildren();
  const beam = trail.beamwidthDegrees;
  const unit = beam ? w("beamwidths") : w("degrees");
  const values = trail.points.map(([t, d]) => [t, beam ? d / beam : d]);
  // Scaled to most of the hour, so that a slew does not flatten the rest;
  // what lies above is drawn at the top, and the largest said in figures.
  const sorted = values.map(([, v]) => v).sort((a, b) => a - b);
  const usual = sorted.length ? sorted[Math.floor(0.9 * (sorted.length - 1))] : 0;
  const top = Math.max(0.5, usual * 1.5);
  const x = (t) => 30 + (270 * (t - (nowMs - 3600000))) / 3600000;
  const y = (v) => 105 - (95 * Math.min(v, top)) / top;
  plot.appendChild(svg("line", { class: "grid", x1: 30, y1: 105, x2: 300, y2: 105 }));
  plot.appendChild(svg("line", { class: "grid", x1: 30, y1: 10, x2: 30, y2: 105 }));
  plot.appendChild(svg("text", { class: "label", x: 15, y: 14 }, top.toFixed(2)));
  plot.appendChild(svg("text", { class: "label", x: 15, y: 108 }, "0"));
  plot.appendChild(svg("text", { class: "label", x: 40, y: 118 }, "-60 min"));
  plot.appendChild(svg("text", { class: "label", x: 290, y: 118 }, "0"));
  // A gap of more than a minute (held, measuring, night) is drawn as one.
  let line = [];
  const lines = [line];
  values.forEach(([t, v], i) => {
    if (i && t - values[i - 1][0] > 60000) lines.push((line = []));
    line.push(`${x(t).toFixed(1)},${y(v).toFixed(1)}`);
  });
  for (const points of lines) if (points.length) plot.appendChild(svg("polyline", { class: "trail", points: points.join(" ") }));
  const last = values.length ? values[values.length - 1][1] : null;
  $("error-now").textContent = last === null ? w("noErrors")
    : `${w("latest")} ${last.toFixed(3)} ${unit}, ${w("largest")} ${Math.max(...values.map(([, v]) => v)).toFixed(3)} ${unit}`;
}

// Points [t, value, error, muted] over time as dots with error bars, in a
// plot of its own scale; nothing to draw is said in words.
function drawTrend(id, points) {
  const plot = $(id);
  plot.replaceChildren();
  if (!points.length) {
    plot.appendChild(svg("text", { class: "label", x: 150, y: 50, "text-anchor": "middle" }, w("noRuns")));
    return;
  }
  const ts = points.map((p) => p[0]);
  const lo = Math.min(...points.map((p) => p[1] - (p[2] || 0)));
  const hi = Math.max(...points.map((p) => p[1] + (p[2] || 0)));
  const span = Math.max(hi - lo, 1e-6);
  const t0 = Math.min(...ts), t1 = Math.max(...ts, t0 + 1);
  const x = (t) => 40 + (250 * (t - t0)) / (t1 - t0);
  const y = (v) => 80 - (70 * (v - lo)) / span;
  plot.appendChild(svg("line", { class: "grid", x1: 40, y1: 80, x2: 295, y2: 80 }));
  plot.appendChild(svg("text", { class: "label", x: 2, y: 14 }, hi.toFixed(2)));
  plot.appendChild(svg("text", { class: "label", x: 2, y: 82 }, lo.toFixed(2)));
  for (const [t, v, e, muted] of points) {
    const colour = muted ? "#aaa" : "#1a237e";
    if (e) plot.appendChild(svg("line", { x1: x(t), y1: y(v - e), x2: x(t), y2: y(v + e), stroke: colour }));
    plot.appendChild(svg("circle", { cx: x(t), cy: y(v), r: 2, fill: colour }));
  }
}

// Today's minutes as a line, the burst minutes over it in orange.
function drawCurve(today) {
  const plot = $("today-flux");
  plot.replaceChildren();
  const minutes = today ? today.minutes : [];
  if (!minutes.length) {
    plot.appendChild(svg("text", { class: "label", x: 150, y: 50, "text-anchor": "middle" }, w("notWorkedOut")));
    return;
  }
  const lo = Math.min(...minutes.map((m) => m[1])), hi = Math.max(...minutes.map((m) => m[1]));
  const t0 = minutes[0][0], t1 = Math.max(minutes[minutes.length - 1][0], t0 + 60);
  const x = (t) => 40 + (250 * (t - t0)) / (t1 - t0);
  const y = (v) => 80 - (70 * (v - lo)) / Math.max(hi - lo, 1e-6);
  plot.appendChild(svg("line", { class: "grid", x1: 40, y1: 80, x2: 295, y2: 80 }));
  plot.appendChild(svg("text", { class: "label", x: 2, y: 14 }, hi.toFixed(1)));
  plot.appendChild(svg("text", { class: "label", x: 2, y: 82 }, lo.toFixed(1)));
  plot.appendChild(svg("polyline", { class: "trail", points: minutes.map((m) => `${x(m[0]).toFixed(1)},${y(m[1]).toFixed(1)}`).join(" ") }));
  for (const m of minutes) if (m[2]) plot.appendChild(svg("circle", { cx: x(m[0]), cy: y(m[1]), r: 1.5, fill: "#e65100" }));
}

function renderRecord() {
  if (runsKept) {
    const runs = runsKept.runs.filter((r) => r.kind === "sunNoise" && r.yDecibels !== null);
    drawTrend("y-trend", runs.map((r) => [Date.parse(r.utc), r.yDecibels, r.yDecibelsDeviation, r.duringBurst || r.rehearsalClockOffsetSeconds !== 0]));
  }
  if (fluxDays) {
    const valued = fluxDays.days.filter((d) => d.daily.sfu !== null);
    drawTrend("flux-trend", valued.map((d) => [Date.parse(d.jstDay), d.daily.sfu, d.daily.totalError, false]));
    drawCurve(fluxDays.today);
    if (fluxDays.today) {
      const items = fluxDays.today.bursts.map((b) => `${w("todaysBursts")}: ${jst(b.peakUtc * 1000)} ${w("peak")} ${b.peakSfu.toFixed(1)} SFU, ${w("excess")} +${b.peakExcessSfu.toFixed(1)} ± ${b.peakExcessError.toFixed(1)} SFU`);
      fillList("bursts", items, `${w("todaysBursts")}: ${w("noBursts")}`);
      return;
    }
    const last = fluxDays.days[fluxDays.days.length - 1];
    const items = last ? last.bursts.map((b) => `${jst(b.peakUtc * 1000)} ${w("peak")} ${b.peakSfu.toFixed(1)} SFU, ${w("excess")} +${b.peakExcessSfu.toFixed(1)} ± ${b.peakExcessError.toFixed(1)} SFU`) : [];
    fillList("bursts", items.map((i) => `${w("burstsOf")} (${last.jstDay}): ${i}`), last ? `${w("burstsOf")} (${last.jstDay}): ${w("noBursts")}` : w("noRuns"));
  }
}

async function pollRecord() {
  try {
    const [h, f] = await Promise.all(["api/history", "api/flux"].map((p) => fetch(p, { headers: headers(), cache: "no-store" })));
    if (h.ok) runsKept = await h.json();
    if (f.ok) fluxDays = await f.json();
    renderRecord();
  } catch (e) {
    // Shown again at the next minute's ask.
  }
}

function render() {
  document.documentElement.lang = lang;
  for (const el of document.querySelectorAll("[data-t]")) el.textContent = w(el.dataset.t);
  for (const b of document.querySelectorAll("#lang button")) b.classList.toggle("on", b.dataset.lang === lang);
  const s = latest;
  if (!s) return;
  $("control").hidden = !s.control;
  // When the station was first shown, for whoever measures the page.
  if (!document.body.dataset.firstRenderMs) document.body.dataset.firstRenderMs = Math.round(performance.now());
  const state = $("state");
  state.textContent = said(s.state.text);
  const held = s.warnings.now.some((c) => NOT_MOVING.has(c.kind));
  state.className = `state ${STATE_CLASS[s.state.kind] || "busy"}${held ? " held" : ""}`;
  state.dataset.kind = s.state.kind;
  setText("rotctld", `${s.rotctld.endpoint}: ${s.rotctld.connected ? w("connected") : `${w("notConnected")} (${sinceText(s.rotctld.lostSinceUtcMs)})`}`,
    s.rotctld.connected ? "good" : "bad");
  setText("power", s.power.watching ? s.power.lines.map(said).join(" / ") : w("notWatching"));
  const clockWord = { synchronised: w("synchronised"), unsynchronised: w("unsynchronised"), unknown: w("unknownClock") }[s.clock.state];
  // The clock's whole explanation is among the warnings.
  setText("clock", clockWord, s.clock.state === "synchronised" ? "good" : "bad");
  setText("sunrise", jst(s.sky.sunriseUtcMs));
  setText("sunset", jst(s.sky.sunsetUtcMs));
  const age = s.lastReadingUtcMs === null ? null : s.generatedUtcMs - s.lastReadingUtcMs;
  setText("heartbeat", age === null ? w("neverRead") : `${Math.max(0, Math.round(age / 1000))} ${w("secondsAgo")} (${jst(s.lastReadingUtcMs)})${age > OLD_READING_MS ? w("readingOld") : ""}`,
    age === null || age > OLD_READING_MS ? "bad" : "");
  drawChart(s.sky);
  drawErrors(s.trackingError, s.generatedUtcMs);
  setText("pos-sun", deg(s.sky.sun));
  setText("pos-commanded", deg(s.sky.commanded));
  setText("pos-rotator", s.sky.rotatorReading ? `${deg(s.sky.rotatorReading)} (${w("sky2")} ${deg(s.sky.rotator)})` : w("neverRead"));
  setText("pos-stow", s.sky.stow ? deg(s.sky.stow) : w("park"));
  fillList("warnings-now", s.warnings.now.map((c) => (c.sinceUtcMs ? `${sinceText(c.sinceUtcMs)}: ` : "") + said(c.text)), w("noWarnings"));
  fillList("warnings-said", s.warnings.said.slice().reverse().map((c) => `${jst(c.utcMs)}: ${said(c.text)}`), w("nothingSaid"));
  fillList("figures", [s.pointing.text, ...s.calibration, ...s.health, ...s.flux].map(said), w("noFigures"));
  $("status").textContent = s.status.join("\n");
}

function headers() {
  return token ? { "X-Heliotrope-Token": token } : {};
}

async function poll() {
  try {
    const answer = await fetch("api/status", { headers: headers(), cache: "no-store" });
    if (answer.ok) {
      latest = await answer.json();
      lastAnswer = performance.now();
      render();
    }
  } catch (e) {
    // The bridge gone or the network down: the stale notice says so.
  }
}

function watchStale() {
  const silent = performance.now() - lastAnswer;
  const banner = $("stale");
  banner.hidden = silent < STALE_MS;
  banner.textContent = w("stale").replace("{s}", Math.round(silent / 1000));
  document.body.classList.toggle("stale", !banner.hidden);
}

async function ask(what) {
  token = $("token").value.trim();
  if (!token) {
    $("answer").textContent = w("needToken");
    return;
  }
  sessionStorage.setItem("heliotrope-token", token);
  try {
    const answer = await fetch(`api/${what}`, { method: "POST", headers: headers() });
    const body = await answer.json();
    $("answer").textContent = answer.ok ? `${w("asked")}: ${said(body.text)}` : `${w("refused")}: ${said(body.error)}`;
    $("answer").className = answer.ok ? "small" : "small bad";
  } catch (e) {
    $("answer").textContent = w("refused");
  }
  poll();
}

function start() {
  // The token may come in the address (#token=… or ?token=…), kept for this tab only.
  const given = new URLSearchParams(location.hash.slice(1)).get("token") || new URLSearchParams(location.search).get("token");
  token = given || sessionStorage.getItem("heliotrope-token") || "";
  if (given) sessionStorage.setItem("heliotrope-token", given);
  if (location.hash) history.replaceState(null, "", location.pathname + location.search);
  $("token").value = token;
  for (const b of document.querySelectorAll("#lang button"))
    b.addEventListener("click", () => {
      lang = b.dataset.lang;
      localStorage.setItem("heliotrope-lang", lang);
      render();
      renderRecord();
    });
  $("do-stow").addEventListener("click", () => ask("stow"));
  $("do-stop").addEventListener("click", () => ask("stop"));
  $("do-resume").addEventListener("click", () => ask("resume"));
  render();
  poll();
  setInterval(poll, POLL_MS);
  setInterval(watchStale, 1000);
  pollRecord();
  setInterval(pollRecord, RECORD_POLL_MS);
}

document.addEventListener("DOMContentLoaded", start);
