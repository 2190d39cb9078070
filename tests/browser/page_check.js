// Injected into a copy of an estate report by check-estate-report.sh: records script
// errors, blocked loads and the resources fetched, whether each chart's canvas has a
// size and something drawn on it, how many stands the map draws (outlines of a size, each
// from its own "M" in the colour classes' paths) and what its tooltip says over the last
// of them, into <pre id="browser-check"> once the page has loaded.
(function () {
  var errors = [];
  window.addEventListener("error", function (e) { errors.push(String(e.message)); });
  document.addEventListener("securitypolicyviolation", function (e) {
    errors.push("blocked: " + e.blockedURI);
  });
  var consoleError = console.error;
  console.error = function () {
    errors.push(Array.prototype.join.call(arguments, " "));
    consoleError.apply(console, arguments);
  };
  // The stands' outlines: the colour classes' paths split at each "M", drawn each in a
  // path of its own for a moment to measure its box.
  function standBoxes(group) {
    var boxes = [];
    group.querySelectorAll("path:not(.pointed)").forEach(function (p) {
      p.getAttribute("d").split("M").forEach(function (d) {
        if (!d) return;
        var single = document.createElementNS(group.namespaceURI, "path");
        single.setAttribute("d", "M" + d);
        group.appendChild(single);
        var box = single.getBBox();
        group.removeChild(single);
        boxes.push({ d: "M" + d, box: box });
      });
    });
    return boxes;
  }
  // What the map's tooltip says when the pointer moves onto a point of the outline that
  // the browser finds inside it (as well as a unit around it); "" without a map.
  function tipOf(group, stand) {
    if (!stand) return "";
    var context = document.createElement("canvas").getContext("2d"), path = new Path2D(stand.d);
    function inside(x, y) {
      return [[0, 0], [-1, 0], [1, 0], [0, -1], [0, 1]].every(function (step) {
        return context.isPointInPath(path, x + step[0], y + step[1]);
      });
    }
    var b = stand.box, at = null;
    for (var k = 0; k <= 100 && !at; k++) {  // the middle first, then a grid over the box
      var x = k ? b.x + b.width * ((k - 1) % 10 + .5) / 10 : b.x + b.width / 2;
      var y = k ? b.y + b.height * (Math.floor((k - 1) / 10) + .5) / 10 : b.y + b.height / 2;
      if (inside(x, y)) at = { x: x, y: y };
    }
    if (!at) return "no point inside the last stand";
    var point = group.ownerSVGElement.createSVGPoint();
    point.x = at.x;
    point.y = at.y;
    point = point.matrixTransform(group.getScreenCTM());
    group.dispatchEvent(new PointerEvent("pointermove",
      { bubbles: true, clientX: point.x, clientY: point.y }));
    var tip = document.querySelector(".map-tip");
    return tip && !tip.hidden ? tip.textContent : "";
  }
  window.addEventListener("load", function () {
    setTimeout(function () {
      var canvases = Array.prototype.map.call(document.querySelectorAll("canvas"), function (c) {
        var drawn = false;
        if (c.width > 0 && c.height > 0) {
          var alpha = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
          for (var i = 3; i < alpha.length && !drawn; i += 4) drawn = alpha[i] !== 0;
        }
        return { id: c.id, width: c.width, height: c.height, drawn: drawn };
      });
      var group = document.querySelector("svg.map g.stands");
      var stands = group ? standBoxes(group) : [];
      var out = document.createElement("pre");
      out.id = "browser-check";
      out.textContent = JSON.stringify({
        errors: errors, canvases: canvases,
        resources: performance.getEntriesByType("resource").length,
        stands: stands.filter(function (s) { return s.box.width > 0 && s.box.height > 0; }).length,
        tip: tipOf(group, stands[stands.length - 1])
      });
      document.body.appendChild(out);
    }, 500);
  });
})();
