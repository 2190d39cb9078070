// Draws the harvest plan page's charts and the map's tooltip from its JSON block; reads
// nothing else.
(function() {
'use strict';
var element = document.getElementById('plan-data');
if (!element) return;
var plan = JSON.parse(element.textContent), text = plan.text, periods = plan.periods;
var labels = periods.map(function(p) { return p.label; });
regimeTip(document.querySelector('svg.map'));

// The map's tooltip: the regime of the stand pointed at (each regime's stands are one
// path that carries its name).
function regimeTip(svg) {
    if (!svg) return;
    var tip = document.createElement('div');
    tip.className = 'map-tip';
    tip.hidden = true;
    svg.parentNode.appendChild(tip);
    var paths = svg.querySelectorAll('path[data-regime]');
    // The regime drawn last (on top) whose stands hold the point, tested in the map's
    // own units, which also works for a map scrolled out of view.
    function regimeAt(x, y) {
        for (var p = paths.length - 1; p >= 0; p--) {
            var point = svg.createSVGPoint();
            point.x = x;
            point.y = y;
            point = point.matrixTransform(paths[p].getScreenCTM().inverse());
            if (paths[p].isPointInFill(point)) return paths[p].getAttribute('data-regime');
        }
        return null;
    }
    svg.addEventListener('pointermove', function(e) {
        var regime = regimeAt(e.clientX, e.clientY);
        if (!regime) {
            tip.hidden = true;
            return;
        }
        tip.textContent = regime;
        tip.style.left = e.clientX + 12 + 'px';
        tip.style.top = e.clientY + 12 + 'px';
        tip.hidden = false;
    });
    svg.addEventListener('pointerleave', function() { tip.hidden = true; });
}

Chart.defaults.animation = false;
Chart.defaults.maintainAspectRatio = false;
Chart.defaults.plugins.legend.position = 'bottom';
function axis(title) { return {title: {display: true, text: title}}; }
function field(name) {
    return periods.map(function(p) { return p[name]; });
}
function constant(value) {
    return periods.map(function() { return value; });
}
function line(label, data, colour, more) {
    return Object.assign(
        {
            type: 'line',
            label: label,
            data: data,
            borderColor: colour,
            backgroundColor: colour,
            pointRadius: 2,
            fill: false
        },
        more || {});
}
function draw(id, config) {
    var canvas = document.getElementById(id);
    if (canvas) new Chart(canvas, config);
}
function againstBaseline(name, baseline, unit, extra) {
    return {
        type: 'line',
        data: {
            labels: labels,
            datasets: [
                line(text.plan, field(name), '#2e7d32'),
                line(text.baseline, field(baseline), '#78909c', {borderDash: [4, 3]})
            ].concat(extra || [])
        },
        options:
            {scales: {x: axis(text.periodAxis), y: Object.assign(axis(unit), {beginAtZero: true})}}
    };
}

// Removed volume: the plan's bars, the baseline, the allowable cut and the minimum as
// lines, and the even-flow band: each period's removal within PCT percent of the one
// before, drawn from the plan's earlier period.
var removed = againstBaseline('removed', 'baselineRemoved', text.removedAxis);
removed.data.datasets[0] = {
    type: 'bar',
    label: text.plan,
    data: field('removed'),
    backgroundColor: '#66bb6a'
};
if (plan.harvestMax !== null)
    removed.data.datasets.push(
        line(text.harvestMax, constant(plan.harvestMax), '#c62828', {pointRadius: 0}));
if (plan.harvestMin !== null)
    removed.data.datasets.push(
        line(text.harvestMin, constant(plan.harvestMin), '#ef6c00', {pointRadius: 0}));
if (plan.evenFlow !== null) {
    var share = plan.evenFlow / 100, flow = field('removed');
    var low = flow.map(function(v, i) { return i ? flow[i - 1] * (1 - share) : null; });
    var high = flow.map(function(v, i) { return i ? flow[i - 1] * (1 + share) : null; });
    removed.data.datasets.push(
        line(text.evenFlowBand, low, '#1565c044', {pointRadius: 0, lowerEdge: true}));
    removed.data.datasets.push(line(
        text.evenFlowBand, high, '#1565c044',
        {pointRadius: 0, fill: '-1', backgroundColor: '#1565c022'}));
}
// The band's lower edge is in the legend once, with its upper edge.
removed.options.plugins = {
    legend: {
        labels:
            {filter: function(item, data) { return !data.datasets[item.datasetIndex].lowerEdge; }}
    }
};
draw('removed-chart', removed);
draw('stock-chart', againstBaseline('standing', 'baselineStanding', text.standingAxis));

// The carbon floor is a share of the baseline's carbon at each listed year.
var floor = [];
if (plan.carbonFloor !== null) {
    floor.push(line(
        text.carbonFloor,
        field('baselineCarbon').map(function(v) { return v * plan.carbonFloor / 100; }), '#c62828',
        {pointRadius: 0}));
}
draw('carbon-chart', againstBaseline('carbon', 'baselineCarbon', text.carbonUnit, floor));

if (plan.frontier.length) {
    draw('frontier-chart', {
        type: 'scatter',
        data: {
            datasets: [{
                label: text.plan,
                showLine: true,
                borderColor: '#2e7d32',
                backgroundColor: '#2e7d32',
                data: plan.frontier.map(function(f) { return {x: f[0], y: f[1]}; })
            }]
        },
        options: {scales: {x: axis(text.carbonAxis), y: axis(text.npvAxis)}}
    });
}
})();
