// Draws the estate report's charts and the map's tooltip from the JSON blocks of the page;
// reads nothing else.
(function () {
  "use strict";
  function data(id) {
    var element = document.getElementById(id);
    return element ? JSON.parse(element.textContent) : null;
  }
  mapTooltip(document.querySelector("svg.map"));

  // The map's tooltip. Each colour class is one path, its stands' outlines one after the
  // other, each from its own "M", in the order of the map's data block (the values in
  // tenths or hundredths). Once the page is open and idle (or when first pointed at), the
  // paths are split into the outlines and each outline's box put in the cells of a grid
  // it covers; the stand pointed at is then the last drawn of its cell's stands whose
  // outline holds the point, tested on a canvas that is never shown.
  function mapTooltip(svg) {
    if (!svg) return;
    var group = svg.querySelector("g.stands");
    var tip = document.createElement("div"), index = null, pointed = null;
    tip.className = "map-tip";
    tip.hidden = true;
    svg.parentNode.appendChild(tip);
    function read() {
      if (index) return index;
      var outlines = [];
      group.querySelectorAll("path").forEach(function (p) {
        p.getAttribute("d").split("M").forEach(function (d) { if (d) outlines.push("M" + d); });
      });
      index = gridIndex(outlines);
      index.map = data("map-data");
      // Values for other stands than those drawn would be worse than none.
      index.usable = index.map.id.length === outlines.length;
      index.context = document.createElement("canvas").getContext("2d");
      pointed = document.createElementNS(svg.namespaceURI, "path");
      pointed.setAttribute("class", "pointed");
      group.appendChild(pointed);
      return index;
    }
    window.addEventListener("load", function () {
      if (window.requestIdleCallback) requestIdleCallback(read); else setTimeout(read, 200);
    });
    // The box [left, top, right, bottom] of path data of absolute or relative moves and
    // lines ("M", "m", "L", "l", implicit lines after a move) and closes ("z" returns to
    // the start of the subpath, from where a following "m" moves).
    function boxOf(d) {
      var tokens = d.match(/[A-Za-z]|-?[\d.]+/g) || [], box = [Infinity, Infinity, -Infinity, -Infinity];
      var command = "M", x = 0, y = 0, startX = 0, startY = 0;
      for (var i = 0; i < tokens.length; i++) {
        var t = tokens[i];
        if (t === "z" || t === "Z") { x = startX; y = startY; continue; }
        if (isNaN(t)) { command = t; continue; }
        var u = +t, v = +tokens[++i];
        if (command === "M" || command === "L") { x = u; y = v; } else { x += u; y += v; }
        if (command === "M" || command === "m") {
          startX = x; startY = y;
          command = command === "M" ? "L" : "l";
        }
        box[0] = Math.min(box[0], x); box[1] = Math.min(box[1], y);
        box[2] = Math.max(box[2], x); box[3] = Math.max(box[3], y);
      }
      return box;
    }
    // A grid of about one cell a stand over the outlines' boxes; each cell lists the
    // stands whose box reaches into it, in drawing order (entries from starts[cell]).
    function gridIndex(outlines) {
      var n = outlines.length, boxes = new Float64Array(4 * n), i, r, c;
      var left = Infinity, top = Infinity, right = -Infinity, bottom = -Infinity;
      for (i = 0; i < n; i++) {
        var box = boxOf(outlines[i]);
        boxes.set(box, 4 * i);
        left = Math.min(left, box[0]); top = Math.min(top, box[1]);
        right = Math.max(right, box[2]); bottom = Math.max(bottom, box[3]);
      }
      var width = Math.max(right - left, 1), height = Math.max(bottom - top, 1);
      var columns = Math.max(1, Math.round(Math.sqrt(n * width / height)));
      var rows = Math.max(1, Math.round(n / columns));
      var grid = { outlines: outlines, boxes: boxes, left: left, top: top, right: right,
                   bottom: bottom, columns: columns, rows: rows,
                   cellWidth: width / columns, cellHeight: height / rows };
      var starts = new Int32Array(columns * rows + 1);
      function eachCell(i, use) {
        var c0 = column(grid, boxes[4 * i]), c1 = column(grid, boxes[4 * i + 2]);
        var r1 = row(grid, boxes[4 * i + 3]);
        for (r = row(grid, boxes[4 * i + 1]); r <= r1; r++)
          for (c = c0; c <= c1; c++) use(r * columns + c);
      }
      for (i = 0; i < n; i++) eachCell(i, function (cell) { starts[cell + 1]++; });
      for (c = 1; c < starts.length; c++) starts[c] += starts[c - 1];
      var entries = new Int32Array(starts[starts.length - 1]), filled = starts.slice(0, -1);
      for (i = 0; i < n; i++) eachCell(i, function (cell) { entries[filled[cell]++] = i; });
      grid.starts = starts;
      grid.entries = entries;
      return grid;
    }
    function column(grid, x) {
      return Math.min(grid.columns - 1, Math.max(0, Math.floor((x - grid.left) / grid.cellWidth)));
    }
    function row(grid, y) {
      return Math.min(grid.rows - 1, Math.max(0, Math.floor((y - grid.top) / grid.cellHeight)));
    }
    // The stand at (x, y) in the stands' units, the last drawn if they overlap; -1 if none.
    function standAt(grid, x, y) {
      if (!(x >= grid.left && x <= grid.right && y >= grid.top && y <= grid.bottom)) return -1;
      var cell = row(grid, y) * grid.columns + column(grid, x), b = grid.boxes;
      for (var k = grid.starts[cell + 1] - 1; k >= grid.starts[cell]; k--) {
        var i = grid.entries[k];
        if (x < b[4 * i] || x > b[4 * i + 2] || y < b[4 * i + 1] || y > b[4 * i + 3]) continue;
        if (grid.context.isPointInPath(new Path2D(grid.outlines[i]), x, y, "nonzero")) return i;
      }
      return -1;
    }
    function shown(value, decimals) {
      if (value === null) return "\u2013";
      var parts = (value / Math.pow(10, decimals)).toFixed(decimals).split(".");
      parts[0] = parts[0].replace(/\B(?=(\d{3})+$)/g, ",");
      return parts.join(".");
    }
    function hide() {
      tip.hidden = true;
      if (pointed) pointed.removeAttribute("d");
    }
    function show(e) {
      var grid = read(), ctm = group.getScreenCTM();
      if (!grid.usable || !ctm) { hide(); return; }
      // From the page's pixels to the stands' units (the map's scale and the translate
      // that centres the stands).
      var point = svg.createSVGPoint();
      point.x = e.clientX;
      point.y = e.clientY;
      point = point.matrixTransform(ctm.inverse());
      var i = standAt(grid, point.x, point.y);
      if (i < 0) { hide(); return; }
      pointed.setAttribute("d", grid.outlines[i]);
      var map = grid.map;
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
    svg.addEventListener("pointerleave", hide);
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
