#include "reportassets.h"

namespace reportassets {

QByteArray styleSheet()
{
    return R"(body { font-family: sans-serif; margin: 1em 2em; color: #222; background: #f7f6f2; }
h1 { font-size: 1.4em; margin: 0.2em 0 0.6em; }
h2 { font-size: 1.1em; margin: 1.2em 0 0.4em; }
table { border-collapse: collapse; background: #fff; }
th, td { padding: 0.2em 0.6em; border-bottom: 1px solid #ddd; text-align: left; white-space: nowrap; }
thead th { position: sticky; top: 0; background: #d4d0c8; }
td.num { text-align: right; font-variant-numeric: tabular-nums; }
tr.bad td { color: #b00; }
td.ok { color: #070; }
.scroll { overflow-x: auto; max-width: 100%; }
iframe.status { border: 1px solid #bbb; width: 100%; height: 23em; background: #fff; }
.status th { width: 10em; }
.err { color: #b00; font-weight: bold; }
pre { background: #fff; padding: 0.5em; border: 1px solid #ddd; display: inline-block; margin: 0 1em 0 0; vertical-align: top; }
img.pass { max-width: 100%; height: auto; border: 1px solid #bbb; }
p.meta { color: #666; font-size: 0.9em; }
nav { margin-bottom: 0.5em; }
ul.months { columns: 14em; padding-left: 1.2em; }
form.filter { margin: 0.5em 0; }
form.filter output { color: #666; margin-left: 1em; }
.charts { display: flex; flex-wrap: wrap; gap: 1em; }
.charts > div { flex: 1 1 28em; min-width: 0; }
.chart { width: 100%; height: 260px; background: #fff; }
object.sky { width: 100%; max-width: 500px; height: auto; aspect-ratio: 500 / 420; background: #fff; }
svg.across { width: 100%; max-width: 600px; min-width: 300px; height: auto; background: #fff; display: block; }
svg.across .spread { fill: #dde6f2; }
svg.across .zero { stroke: #999; }
svg.across .mean { stroke: #2a5db0; stroke-width: 2; }
svg.across circle { fill: #c0392b; }
svg.across text { font-size: 12px; fill: #444; }
body.statuspage { margin: 0.3em; background: #fff; }
.live h1 { font-size: 1.2em; margin: 0 0 0.2em; }
.banner { margin: 0 0 0.3em; color: #555; }
.live.stale, .live.stale .err, .live.stale td, .live.stale th, .live.stale h1 { color: #fff; background: #c00; }
.live.stale .banner, .live.stopped .banner { font-weight: bold; color: #fff; background: #c00; padding: 0.2em 0.4em; }
.live.stopped td, .live.stopped th { color: #777; }
@media (max-width: 600px) {
  body { margin: 0.5em; }
  .status th { width: auto; }
  .status th, .status td { display: block; white-space: normal; border: 0; padding: 0.1em 0.3em; }
  .status td { padding-bottom: 0.4em; border-bottom: 1px solid #ddd; }
  iframe.status { height: 30em; }
  pre { display: block; margin: 0 0 0.5em; }
  .chart { height: 220px; }
}
)";
}

QByteArray script()
{
    return R"JS('use strict';
// Works from a plain folder (file://) as from any server: no requests.
function ageText(s) {
  s = Math.max(0, Math.floor(s));
  if (s < 120) return s + ' s';
  if (s < 3600) return Math.floor(s / 60) + ' min';
  if (s < 86400) return Math.floor(s / 3600) + ' h ' + Math.floor(s / 60) % 60 + ' min';
  return Math.floor(s / 86400) + ' d ' + Math.floor(s / 3600) % 24 + ' h';
}

function liveStatus() {
  const live = document.getElementById('live');
  if (!live) return;
  const at = Date.parse(live.dataset.time), limit = Number(live.dataset.stale);
  const tick = function () {
    const now = Date.now();
    const age = (now - at) / 1000;
    const banner = document.getElementById('age');
    if (banner && !isNaN(at)) {
      const stale = age > limit;
      live.classList.toggle('stale', stale);
      banner.textContent = stale ? 'no news for ' + ageText(age) : 'updated ' + ageText(age) + ' ago';
    }
    document.querySelectorAll('.countdown').forEach(function (c) {
      const left = (Date.parse(c.dataset.start) - now) / 1000;
      c.textContent = left > 0 ? 'starts in ' + ageText(left) : 'starting';
    });
  };
  tick();
  setInterval(tick, 1000);
}

function passFilter() {
  const form = document.querySelector('form.filter'), table = document.querySelector('table.passes');
  if (!form || !table) return;
  const rows = Array.prototype.slice.call(table.tBodies[0].rows);
  const select = form.elements.sat, errors = form.elements.errors, out = form.querySelector('output');
  const names = Array.from(new Set(rows.map(function (r) { return r.dataset.sat; }))).sort();
  names.forEach(function (n) { const o = document.createElement('option'); o.value = o.textContent = n; select.appendChild(o); });
  const wanted = new URLSearchParams(location.hash.slice(1));
  if (wanted.has('sat')) select.value = wanted.get('sat');
  errors.checked = wanted.get('errors') === '1';
  const apply = function () {
    let shown = 0;
    rows.forEach(function (r) {
      const hide = (select.value && r.dataset.sat !== select.value) || (errors.checked && !r.classList.contains('bad'));
      r.hidden = hide;
      if (!hide) shown++;
    });
    out.textContent = shown + ' of ' + rows.length + ' shown';
  };
  const remember = function () {
    const h = new URLSearchParams();
    if (select.value) h.set('sat', select.value);
    if (errors.checked) h.set('errors', '1');
    location.hash = h.toString();
    apply();
  };
  select.addEventListener('change', remember);
  errors.addEventListener('change', remember);
  form.hidden = false;
  apply();
}

// Called by a pass's data script with its rows [x, power, SNR, Korr, Korr0].
function tuvarnPass(d) {
  if (typeof Dygraph === 'undefined') return;
  const x = function (v) { return d.timed ? new Date(v) : v; };
  const common = {
    labelsUTC: true, legend: 'always', connectSeparatedPoints: false,
    xlabel: d.timed ? 'time (UTC)' : 'point', axes: { x: { axisLabelWidth: 70 } }
  };
  new Dygraph(document.getElementById('signal'),
    d.rows.map(function (r) { return [x(r[0]), r[1], r[2]]; }),
    Object.assign({ labels: ['x', 'power, dB', 'SNR, dB'], ylabel: 'power, dB', y2label: 'SNR, dB',
      series: { 'SNR, dB': { axis: 'y2' } }, colors: ['#c33', '#36c'] }, common));
  new Dygraph(document.getElementById('offsets'),
    d.rows.map(function (r) { return [x(r[0]), r[3], r[4]]; }),
    Object.assign({ labels: ['x', 'Korr', 'Korr0'], ylabel: 'correction steps', colors: ['#393', '#963'],
      stepPlot: true }, common));
}

document.addEventListener('DOMContentLoaded', function () { liveStatus(); passFilter(); });
)JS";
}

} // namespace reportassets
