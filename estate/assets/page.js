// Draws the estate report's charts and the map's tooltip from the JSON blocks of the page;
// reads nothing else.
(function () {
  "use strict";
  function data(id) {
    var element = document.getElementById(id);
    return element ? JSON.parse(element.textContent) : null;
  }
  mapTooltip(document.querySelector("svg.map"));

  // The map's tooltip: the stand under the pointer is found by its path's place among the
  // map's paths, and its values in the map's data block, listed in the same order (the
  // values in tenths or hundredths). The paths and the data are read once the page is open
  // and idle (or when first pointed at), not while it opens.
  function mapTooltip(svg) {
    if (!svg) return;
    var tip = document.createElement("div"), place = null, map = null;
    tip.className = "map-tip";
    tip.hidden = true;
    svg.parentNode.appendChild(tip);
    function read() {
      if (place) return;
      map = data("map-data");
      place = new Map();
      svg.querySelectorAll("g.stands path").forEach(function (p, i) { place.set(p, i); });
    }
    window.addEventListener("load", function () {
      if (window.requestIdleCallback) requestIdleCallback(read); else setTimeout(read, 200);
    });
    function placeOf(path) {
      read();
      return place.get(path);
    }
    function shown(value, decimals) {
      if (value === null) return "\u2013";
      var parts = (value / Math.pow(10, decimals)).toFixed(decimals).split(".");
      parts[0] = parts[0].replace(/\B(?=(\d{3})+$)/g, ",");
      return parts.join(".");
    }
    function show(e) {
      var i = placeOf(e.target);
      if (i === undefined) { tip.hidden = true; return; }
      var values = [map.id[i], shown(map.carbonTenths[i], 1), shown(map.volumeTenths[i], 1),
                    shown(map.areaHundredths[i], 2)];
      var k = 0;
      tip.textContent = map.tip.replace(/\{\}/g, function () { return values[k++]; });
      tip.hidden = false;
      var x = e.clientX + 14, y = e.clientY + 14;
      if (x + tip.offsetWidth > window.innerWidth) x = Math.max(0, e.clientX - 14 - tip.offsetWidth);
      if (y + tip.offsetHeight > window.innerHeight) y = Math.max(0, e.clientY - 14 - tip.offsetHeight);
      tip.style.left = x + "px";
      tip.style.top = y + "px";
    }
    svg.addEventListener("pointermove", show);
    svg.addEventListener("pointerdown", show);  // a tap, where there is no hovering
    svg.addEventListener("pointerleave", function () { tip.hidden = true; });
  }

  var allRows = data("summary-data"), ageClasses = data("age-class-data"), text = data("chart-text");
  var scenarioData = data("scenario-data");
  var colours = { 1: "#2e7d32", 2: "#00838f", 3: "#ef6c00", 4: "#6d4c41" };
  var palette = ["#37474f", "#1565c0", "#c62828", "#6a1b9a", "#2e7d32", "#ef6c00", "#00838f",
                 "#ad1457", "#4e342e", "#9e9d24"];
  var baseline = allRows.length ? allRows[0].scenario : "none";
  var rows = allRows.filter(function (r) { return r.scenario === baseline; });
  var years = [];
  rows.forEach(function (r) { if (years.indexOf(r.year) < 0) years.push(r.year); });
  var species = [1, 2, 3, 4].filter(function (s) {
    return rows.some(function (r) { return r.species === s; });
  });
  function row(list, year, s, scenario) {
    return list.find(function (r) {
      return r.year === year && r.species === s && (scenario === undefined || r.scenario === scenario);
    });
  }
  Chart.defaults.animation = false;
  Chart.defaults.maintainAspectRatio = false;
  Chart.defaults.plugins.legend.position = "bottom";
  function axis(title, stacked) {
    return { stacked: stacked, title: { display: true, text: title } };
  }
  function draw(id, config) {
    var canvas = document.getElementById(id);
    if (canvas) new Chart(canvas, config);
  }
  function stackedOverYears(field, unit) {
    return {
      type: "line",
      data: {
        labels: years,
        datasets: species.map(function (s) {
          return {
            label: text.species[s],
            data: years.map(function (y) { var r = row(rows, y, s); return r ? r[field] : 0; }),
            fill: true, borderColor: colours[s], backgroundColor: colours[s] + "99",
            pointRadius: years.length === 1 ? 4 : 2
          };
        })
      },
      options: { scales: { x: axis(text.yearAxis, false),
                           y: Object.assign(axis(unit, true), { beginAtZero: true }) } }
    };
  }
  draw("carbon-chart", stackedOverYears("carbon", text.carbonUnit));
  draw("volume-chart", stackedOverYears("volume", text.volumeUnit));

  var totals = years.map(function (y) { return row(rows, y, null); });
  var periods = totals.slice(1).map(function (r, i) {
    var before = totals[i];
    return { label: before.year + "–" + r.year, value: (r.co2e - before.co2e) / (r.year - before.year) };
  });
  draw("uptake-chart", {
    type: "bar",
    data: { labels: periods.map(function (p) { return p.label; }),
            datasets: [{ label: text.uptake, backgroundColor: "#1565c0",
                         data: periods.map(function (p) { return p.value; }) }] },
    options: { scales: { x: axis(text.periodAxis, false), y: axis(text.uptakeUnit, false) } }
  });

  var classes = [];
  ageClasses.forEach(function (a) { if (classes.indexOf(a.ageClass) < 0) classes.push(a.ageClass); });
  classes.sort(function (a, b) { return a - b; });
  var classSpecies = [1, 2, 3, 4].filter(function (s) {
    return ageClasses.some(function (a) { return a.species === s; });
  });
  draw("age-class-chart", {
    type: "bar",
    data: {
      labels: classes.map(function (c) { return (10 * c + 1) + "–" + (10 * c + 10); }),
      datasets: classSpecies.map(function (s) {
        return { label: text.species[s], backgroundColor: colours[s],
                 data: classes.map(function (c) {
                   var a = ageClasses.find(function (a) { return a.species === s && a.ageClass === c; });
                   return a ? a.area : 0;
                 }) };
      })
    },
    options: { scales: { x: axis(text.ageClassAxis, true),
                         y: Object.assign(axis(text.areaUnit, true), { beginAtZero: true }) } }
  });

  if (!scenarioData) return;
  var scenarios = scenarioData.scenarios;
  function colour(i) { return palette[i % palette.length]; }
  function perScenario(value) {
    return {
      type: "line",
      data: {
        labels: years,
        datasets: scenarios.map(function (name, i) {
          return { label: name, borderColor: colour(i), backgroundColor: colour(i),
                   borderDash: i === 0 ? [6, 4] : [], pointRadius: years.length === 1 ? 4 : 2,
                   data: years.map(function (y) { return value(name, y); }) };
        })
      },
      options: { scales: { x: axis(text.yearAxis, false),
                           y: Object.assign(axis(text.carbonUnit, false), { beginAtZero: true }) } }
    };
  }
  function standing(name, y) { var r = row(allRows, y, null, name); return r ? r.carbon : 0; }
  function products(name, y) { var r = row(allRows, y, null, name); return r ? r.productsCarbon : 0; }
  draw("scenario-carbon-chart", perScenario(standing));
  draw("scenario-total-chart", perScenario(function (name, y) {
    return standing(name, y) + products(name, y);
  }));

  var assortments = ["roughTimber", "timberMachining", "fuelWood", "wasteWood", "unsorted"];
  var labels = [];
  scenarioData.removals.forEach(function (p) {
    var label = p.year + "";
    if (labels.indexOf(label) < 0) labels.push(label);
  });
  var removalSets = [];
  scenarios.forEach(function (name, i) {
    if (i === 0) return;
    assortments.forEach(function (a, k) {
      removalSets.push({
        label: name + ": " + text.assortments[a], stack: name,
        backgroundColor: palette[(k + 1) % palette.length] + (i % 2 ? "cc" : "77"),
        data: years.map(function (y) {
          var p = scenarioData.removals.find(function (p) { return p.scenario === name && p.year === y; });
          return p ? p[a] : 0;
        })
      });
    });
  });
  draw("scenario-removals-chart", {
    type: "bar", data: { labels: years, datasets: removalSets },
    options: { scales: { x: axis(text.periodEndAxis, true),
                         y: Object.assign(axis(text.volumeUnit, true), { beginAtZero: true }) } }
  });

  var pools = ["sawnwood", "panels", "paper"];
  var poolSets = [];
  scenarios.forEach(function (name, i) {
    if (i === 0) return;
    pools.forEach(function (pool, k) {
      poolSets.push({
        label: name + ": " + text.pools[pool], stack: name,
        backgroundColor: palette[(k + 4) % palette.length] + (i % 2 ? "cc" : "77"),
        data: years.map(function (y) {
          var p = scenarioData.products.find(function (p) {
            return p.scenario === name && p.year === y && p.pool === pool;
          });
          return p ? p.stock : 0;
        })
      });
    });
  });
  draw("products-chart", {
    type: "bar", data: { labels: years, datasets: poolSets },
    options: { scales: { x: axis(text.yearAxis, true),
                         y: Object.assign(axis(text.carbonUnit, true), { beginAtZero: true }) } }
  });
})();
