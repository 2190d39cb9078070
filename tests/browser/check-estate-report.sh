#!/usr/bin/env bash
# The estate report in a real browser (Debian's Chromium, headless, with no network):
# the page loads without a script error and fetches nothing, each chart's canvas has a
# size and is drawn on, the map draws each stand (an outline from its own "M" in one of its
# colour class's paths) and its tooltip shows the values of the stand pointed at, and printing
# gives A4 pages.
# The harvest plan's page likewise (no map). Also makes the screenshots docs/inventory.md
# and docs/planning-report.md show.
#   check-estate-report.sh ARBORA_REPORT SOURCE_DIR WORK_DIR
set -euo pipefail
runner=$(realpath "$1")
source_dir=$(realpath "$2")
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "check-estate-report: $*" >&2
  exit 1
}

browser() {
  timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --disable-extensions --user-data-dir="$work/profile" \
    "--host-resolver-rules=MAP * ~NOTFOUND" --proxy-server=127.0.0.1:9 "$@" 2>>browser.log
}

# One page: loaded with the checker, printed, its charts and mapped stands counted, and
# the map's tooltip over its last stand read.
check_page() {
  local page=$1 charts=$2 stands=${3:-0} tip=${4:-}
  awk '{ print } /<meta charset="utf-8">/ { print "<script>"; while ((getline line < "'"$source_dir"'/tests/browser/page_check.js") > 0) print line; print "</script>" }' \
    "$page" > "checked-$page"
  browser --virtual-time-budget=15000 --dump-dom "file://$work/checked-$page" > "$page.dom"
  local result
  result=$(sed -n 's|.*<pre id="browser-check">\(.*\)</pre>.*|\1|p' "$page.dom")
  [ -n "$result" ] || fail "$page: the page check did not run"
  echo "$page: $result"
  grep -q '"errors":\[\]' <<< "$result" || fail "$page: script errors: $result"
  grep -q '"resources":0' <<< "$result" || fail "$page: the page fetched resources"
  [ "$(grep -o '"drawn":true' <<< "$result" | wc -l)" -eq "$charts" ] ||
    fail "$page: not all $charts charts are drawn"
  grep -q '"width":0\|"height":0' <<< "$result" && fail "$page: a chart has no size"
  grep -q "\"stands\":$stands," <<< "$result" || fail "$page: the map does not draw $stands stands"
  grep -qF "\"tip\":\"$tip\"}" <<< "$result" || fail "$page: the map's tooltip does not say \"$tip\""

  browser --no-pdf-header-footer --print-to-pdf="$work/$page.pdf" "file://$work/$page" > /dev/null
  local pages a4
  pages=$(pdfinfo "$page.pdf" | sed -n 's/^Pages: *//p')
  a4=$(pdfinfo -f 1 -l "$pages" "$page.pdf" | grep -c '^Page .* size: .*(A4)' || true)
  [ "$pages" -ge 1 ] && [ "$a4" -eq "$pages" ] || fail "$page: $a4 of $pages printed pages are A4"
}

# The example inventory, in English: all four charts.
cp "$source_dir/examples/stands.csv" stands.csv
"$runner" inventory stands.csv --years 0:50:10 --report estate.html > /dev/null
check_page estate.html 4

# One species and one year, in Chinese: the charts that can be drawn, and a note in place
# of the uptake chart.
head -n 6 "$source_dir/examples/stands_zh.csv" > one-species.csv
"$runner" inventory one-species.csv --years 0 --report estate-zh.html --lang zh > /dev/null
grep -q '油松' estate-zh.html || fail "the Chinese page does not name 油松"
grep -q '<html lang="zh">' estate-zh.html || fail "the Chinese page is not marked zh"
check_page estate-zh.html 3

# The example scenarios with prices: the four scenario charts besides the four.
"$runner" inventory stands.csv --years 0:60:10 --treatments "$source_dir/examples/treatments.csv" \
  --prices "$source_dir/examples/prices.csv" --report scenarios.html > /dev/null
check_page scenarios.html 8

# The example GeoPackage: a map of its 20 stands besides the four charts. The last stand
# drawn is of the densest class; its tooltip shows that stand's values of the outputs.
"$runner" inventory "$source_dir/examples/stands.gpkg" --years 0:50:10 --report map.html > /dev/null
check_page map.html 4 20 "C04-05: 221.1 t C/ha, 208.4 m3/ha, 3.90 ha"

# The example plan's page with every chart (the frontier too), in English and in Chinese.
"$runner" plan stands.csv --regimes "$source_dir/examples/regimes.csv" \
  --prices "$source_dir/examples/prices.csv" --starts 0,10,20 --harvest-max 3000 \
  --even-flow 15 --carbon-floor 60 --frontier 5 --report plan.html > /dev/null
check_page plan.html 4
"$runner" plan stands.csv --regimes "$source_dir/examples/regimes.csv" --objective volume \
  --harvest-max 3000 --report plan-zh.html --lang zh > /dev/null
grep -q '采伐规划' plan-zh.html || fail "the Chinese plan page is not in Chinese"
check_page plan-zh.html 3
# The plan of the example GeoPackage: its 20 stands on the map, each regime's stands one
# path; the tooltip over the last stand drawn names the regime drawn last.
"$runner" plan "$source_dir/examples/stands.gpkg" --regimes "$source_dir/examples/regimes.csv" \
  --prices "$source_dir/examples/prices.csv" --starts 0,10,20 --harvest-max 3000 \
  --even-flow 15 --carbon-floor 60 --frontier 5 --report plan-map.html > /dev/null
last_regime=$(grep -o 'data-regime="[^"]*"' plan-map.html | tail -n 1 | cut -d'"' -f2)
check_page plan-map.html 4 20 "$last_regime"
browser --hide-scrollbars --window-size=1200,3000 --screenshot="$work/plan-report.png" \
  "file://$work/plan-map.html" > /dev/null
[ -s plan-report.png ] || fail "no screenshot of the plan page"

browser --hide-scrollbars --window-size=1200,2600 --screenshot="$work/estate-report.png" \
  "file://$work/estate.html" > /dev/null
[ -s estate-report.png ] || fail "no screenshot"
echo "check-estate-report: pages load, draw and print on A4; screenshot $work/estate-report.png"
