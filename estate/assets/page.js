// Draws the estate report's charts and the map's tooltip from the JSON blocks of the page;
// reads nothing else.
(function () {
  "use strict";
  function data(id) {
    var element = document.getElementById(id);
    return element ? JSON.parse(element.textContent) : null;
  }
  mapTooltip(document.querySelector("svg.map"));

  // The map's tooltip. Each colour class is a few paths (one a band down the map), their
  // stands' outlines one after the other, each from its own "M", in the order of the
  // map's data block. Once the page is open and idle (or when first pointed at), the
  // paths are read into the outlines and their boxes, and each box put in the cells of a
  // grid it covers; the stand pointed at is then the last drawn of its cell's stands whose
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
      index = gridIndex(outlinesOf(group.querySelectorAll("path")));
      var map = data("map-data");
      index.tip = map.tip;
      index.values = [typeof map.id === "string" ? map.id.split(map.separator) : map.id,
                      map.carbonTenths.split(","), map.volumeTenths.split(","),
                      map.areaHundredths.split(",")];
      // Values for other stands than those drawn would be worse than none.
      index.usable = index.values.every(function (list) {
        return list.length === index.from.length;
      });
      index.context = document.createElement("canvas").getContext("2d");
      pointed = document.createElementNS(svg.namespaceURI, "path");
      pointed.setAttribute("class", "pointed");
      group.appendChild(pointed);
      return index;
    }
    window.addEventListener("load", function () {
      if (window.requestIdleCallback) requestIdleCallback(read); else setTimeout(read, 200);
    });
    // The stands' outlines in the paths, each from its "M" to the next: in which path and
    // where, and its box (left, top, right, bottom), by one scan of the path data (100,000
    // stands take some tenths of a second). The data are those the report writes: an
    // absolute "M"; "m", "l", "h" and "v" relative, "L", "H" and "V" absolute, the numbers
    // of a command possibly repeated (after a move, as lines); "z" back to the subpath's
    // start.
    function outlinesOf(paths) {
      var o = { texts: [], path: [], from: [], to: [], boxes: [] }, boxes = o.boxes;
      for (var p = 0; p < paths.length; p++) {
        var d = paths[p].getAttribute("d") || "", n = d.length, i = 0, b = -1;
        var command = 77, pending = null, x = 0, y = 0, startX = 0, startY = 0;
        o.texts.push(d);
        while (i < n) {
          var c = d.charCodeAt(i);
          if (c === 45 || c === 46 || (c >= 48 && c <= 57)) {
            var negative = c === 45, value = 0, scale = 0;
            for (i += negative ? 1 : 0; i < n; i++) {
              c = d.charCodeAt(i);
              if (c === 46 && !scale) scale = 1;
              else if (c >= 48 && c <= 57) { value = value * 10 + c - 48; scale *= 10; }
              else break;
            }
            if (scale) value /= scale;
            if (negative) value = -value;
            if (command === 104) x += value;
            else if (command === 72) x = value;
            else if (command === 118) y += value;
            else if (command === 86) y = value;
            else if (pending === null) { pending = value; continue; }
            else {
              if (command === 77 || command === 76) { x = pending; y = value; }
              else { x += pending; y += value; }
              pending = null;
              if (command === 77 || command === 109) {
                startX = x; startY = y;
                command = command === 77 ? 76 : 108;
              }
            }
            if (b < 0) continue;
            if (x < boxes[b]) boxes[b] = x;
            if (y < boxes[b + 1]) boxes[b + 1] = y;
            if (x > boxes[b + 2]) boxes[b + 2] = x;
            if (y > boxes[b + 3]) boxes[b + 3] = y;
            continue;
          }
          if (c === 77) {
            if (b >= 0) o.to.push(i);
            o.path.push(p);
            o.from.push(i);
            b = boxes.length;
            boxes.push(Infinity, Infinity, -Infinity, -Infinity);
          }
          if (c === 122 || c === 90) { x = startX; y = startY; }
          else if (c > 64) { command = c; pending = null; }
          i++;
        }
        if (b >= 0) o.to.push(n);
      }
      return o;
    }
    function outline(grid, k) {
      return grid.texts[grid.path[k]].slice(grid.from[k], grid.to[k]);
    }
    // A grid of about one cell to four stands over the outlines' boxes (smaller cells
    // would hold fewer stands, but a box would reach into more of them); each cell lists
    // the stands whose box reaches into it, in drawing order (entries from starts[cell]).
    function gridIndex(grid) {
      var n = grid.from.length, b = grid.boxes, k, r, c;
      var left = Infinity, top = Infinity, right = -Infinity, bottom = -Infinity;
      for (k = 0; k < 4 * n; k += 4) {
        left = Math.min(left, b[k]); top = Math.min(top, b[k + 1]);
        right = Math.max(right, b[k + 2]); bottom = Math.max(bottom, b[k + 3]);
      }
      var width = Math.max(right - left, 1), height = Math.max(bottom - top, 1);
      var columns = Math.max(1, Math.round(Math.sqrt(n / 4 * width / height)));
      var rows = Math.max(1, Math.round(n / 4 / columns));
      var cell = new Cells(left, top, width / columns, height / rows, columns, rows);
      var starts = new Int32Array(columns * rows + 1), entries = null, filled = null;
      for (var pass = 0; pass < 2; pass++) {  // counting, then filling
        for (k = 0; k < n; k++) {
          var c0 = cell.column(b[4 * k]), c1 = cell.column(b[4 * k + 2]);
          var r0 = cell.row(b[4 * k + 1]), r1 = cell.row(b[4 * k + 3]);
          for (r = r0; r <= r1; r++) {
            for (c = c0; c <= c1; c++) {
              if (pass) entries[filled[r * columns + c]++] = k;
              else starts[r * columns + c + 1]++;
            }
          }
        }
        if (pass) break;
        for (c = 1; c < starts.length; c++) starts[c] += starts[c - 1];
        entries = new Int32Array(starts[starts.length - 1]);
        filled = starts.slice(0, -1);
      }
      grid.box = [left, top, right, bottom];
      grid.cell = cell;
      grid.starts = starts;
      grid.entries = entries;
      return grid;
    }
    function Cells(left, top, width, height, columns, rows) {
      this.column = function (x) {
        return Math.min(columns - 1, Math.max(0, Math.floor((x - left) / width)));
      };
      this.row = function (y) {
        return Math.min(rows - 1, Math.max(0, Math.floor((y - top) / height)));
      };
      this.at = function (x, y) { return this.row(y) * columns + this.column(x); };
    }
    // The stand at (x, y) in the stands' units, the last drawn if they overlap; -1 if none.
    function standAt(grid, x, y) {
      var box = grid.box, b = grid.boxes;
      if (!(x >= box[0] && x <= box[2] && y >= box[1] && y <= box[3])) return -1;
      var cell = grid.cell.at(x, y);
      for (var e = grid.starts[cell + 1] - 1; e >= grid.starts[cell]; e--) {
        var k = grid.entries[e];
        if (x < b[4 * k] || x > b[4 * k + 2] || y < b[4 * k + 1] || y > b[4 * k + 3]) continue;
        if (grid.context.isPointInPath(new Path2D(outline(grid, k)), x, y, "nonzero")) return k;
      }
      return -1;
    }
    // A value of the data block (whole tenths or hundredths in base 36, "" for none) as
    // the report shows it.
    function shown(text, decimals) {
      if (text === "") return "\u2013";
      var parts = (parseInt(text, 36) / Math.pow(10, decimals)).toFixed(decimals).split(".");
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
      pointed.setAttribute("d", outline(grid, i));
      var v = grid.values;
      var values = [v[0][i], shown(v[1][i], 1), shown(v[2][i], 1), shown(v[3][i], 2)];
      var k = 0;
      tip.textContent = grid.tip.replace(/\{\}/g, function () { return values[k++]; });
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
