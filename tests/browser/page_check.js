// Injected into a copy of an estate report by check-estate-report.sh: records script
// errors, blocked loads and the resources fetched, whether each chart's canvas has a
// size and something drawn on it, how many stands the map draws (paths of a size) and
// what its tooltip says over the last of them, into <pre id="browser-check"> once the
// page has loaded.
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
  // What the map's tooltip says when the pointer moves onto the path; "" without a map.
  function tipOf(path) {
    if (!path) return "";
    var box = path.getBoundingClientRect();
    path.dispatchEvent(new PointerEvent("pointermove", {
      bubbles: true, clientX: box.left + box.width / 2, clientY: box.top + box.height / 2 }));
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
      var paths = document.querySelectorAll("svg.map g.stands path");
      var out = document.createElement("pre");
      out.id = "browser-check";
      out.textContent = JSON.stringify({
        errors: errors, canvases: canvases,
        resources: performance.getEntriesByType("resource").length,
        stands: Array.prototype.filter.call(paths,
          function (p) { var box = p.getBBox(); return box.width > 0 && box.height > 0; }).length,
        tip: tipOf(paths[paths.length - 1])
      });
      document.body.appendChild(out);
    }, 500);
  });
})();
