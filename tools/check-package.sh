#!/usr/bin/env bash
# Builds the Debian packages from a configured build directory (default build/), arbora
# and arbora-gis (the GIS module, so that arbora alone pulls in no GDAL), and checks
# them: their contents, dependencies, licence, icons and compression, the desktop entry, the
# AppStream metadata (also as configured with a homepage), the man pages and version,
# that it names no invented web address, lintian with its hardening checks, and the
# unpacked programs run outside the source and build trees.
#   bash tools/check-package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=$(realpath "${1:-build}")
app_id=net.arbora.Arbora

fail() {
  echo "check-package: $*" >&2
  exit 1
}

cmake --build "$build" -j "$(nproc)" --target package
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
deb="$build/arbora_${version}_$(dpkg --print-architecture).deb"
gis_deb="$build/arbora-gis_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no package $deb"
[ -f "$gis_deb" ] || fail "no package $gis_deb"
echo "Checking $deb and $gis_deb"

work=$(mktemp -d)
# Outputs are read whole before grep -q looks at them: grep stops at its first match, and a
# writer that has more to say, such as dpkg-deb writing line by line, then dies by SIGPIPE,
# which pipefail would take for a failed check.
trap 'rm -rf "$work"' EXIT

dpkg-deb -c "$deb" | sed -n 's|^.* \./|/|p' > "$work/contents"
expected=(
  /usr/bin/arbora
  /usr/bin/arbora-report
  "/usr/share/applications/$app_id.desktop"
  "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
  "/usr/share/icons/hicolor/48x48/apps/$app_id.png"
  "/usr/share/icons/hicolor/256x256/apps/$app_id.png"
  "/usr/share/metainfo/$app_id.metainfo.xml"
  /usr/share/man/man1/arbora.1.gz
  /usr/share/man/man1/arbora-report.1.gz
  /usr/share/doc/arbora/copyright
)
while IFS= read -r -d '' example; do
  expected+=("/usr/share/doc/arbora/$example")
done < <(find examples -type f -print0)
for path in "${expected[@]}"; do
  grep -qxF "$path" "$work/contents" || fail "the package lacks $path"
done
grep -qw 'libjs-chart\.js' <<< "$(dpkg-deb -f "$deb" Depends)" || fail "the package does not depend on libjs-chart.js"
# The GIS module and GDAL in arbora-gis only, which arbora recommends and which needs
# the arbora of its own version.
dpkg-deb -c "$gis_deb" | sed -n 's|^.* \./|/|p' > "$work/gis-contents"
for path in /usr/lib/arbora/modules/arbora-gis.so /usr/share/doc/arbora-gis/copyright \
  /usr/share/doc/arbora-gis/changelog.gz; do
  grep -qxF "$path" "$work/gis-contents" || fail "arbora-gis lacks $path"
done
if grep -q 'arbora-gis\.so' "$work/contents"; then fail "arbora holds the GIS module"; fi
if grep -q 'libgdal' <<< "$(dpkg-deb -f "$deb" Depends)"; then fail "arbora depends on GDAL"; fi
grep -q 'libgdal' <<< "$(dpkg-deb -f "$gis_deb" Depends)" || fail "arbora-gis does not depend on GDAL"
grep -qF "arbora (= $version)" <<< "$(dpkg-deb -f "$gis_deb" Depends)" ||
  fail "arbora-gis does not depend on arbora $version"
grep -qw 'arbora-gis' <<< "$(dpkg-deb -f "$deb" Recommends)" || fail "arbora does not recommend arbora-gis"
for package in "$deb" "$gis_deb"; do
  grep -q 'GIS' <<< "$(dpkg-deb -f "$package" Description)" ||
    fail "the description of $(basename "$package") does not say what it holds for GIS"
done
grep -qx 'data\.tar\.xz' <<< "$(ar t "$deb")" || fail "the package's data is not xz-compressed: $(ar t "$deb" | xargs)"

root="$work/root"
dpkg-deb -x "$deb" "$root"
# Without arbora-gis the runner says which package a GIS layer needs.
mkdir "$work/alone"
layer=$(pwd)/examples/stands.gpkg
(cd "$work/alone" && "$root/usr/bin/arbora-report" inventory "$layer" > /dev/null 2> gis.err) &&
  fail "arbora-report read a GIS layer without arbora-gis"
grep -q 'install the package arbora-gis' "$work/alone/gis.err" ||
  fail "without arbora-gis the runner does not name it: $(cat "$work/alone/gis.err")"
dpkg-deb -x "$gis_deb" "$root"
for size in 48 256; do
  file "$root/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png" |
    grep -q "PNG image data, $size x $size," || fail "the ${size}x${size} icon is not a PNG of that size"
done

# Free software under the GPL, version 3 or later: the licence text in the repository,
# the machine-readable copyright file in the package.
cmp -s COPYING /usr/share/common-licenses/GPL-3 || fail "COPYING is not the text of the GPL, version 3"
copyright="$root/usr/share/doc/arbora/copyright"
grep -qx 'License: GPL-3+' "$copyright" || fail "the copyright file does not say GPL-3+"
grep -q '/usr/share/common-licenses/GPL-3' "$copyright" || fail "the copyright file does not point to the GPL"
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
  "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "the metainfo does not say GPL-3.0-or-later"

# No web address that nobody gave: none of the project's sources nor the package
# names the made-up domain, and the package has a home page only when one was given.
invented='arbora[.]net'
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  found=$(git grep -lE "$invented" -- . || true)
  [ -z "$found" ] || fail "the sources name $invented: $found"
fi
while IFS= read -r -d '' packaged; do
  if grep -aqE "$invented" < <(zcat -f "$packaged"); then fail "the package's ${packaged#"$root"} names $invented"; fi
done < <(find "$root" -type f -print0)
homepage=$(sed -n 's/^ARBORA_HOMEPAGE:STRING=//p' "$build/CMakeCache.txt")
[ "$(dpkg-deb -f "$deb" Homepage)" = "$homepage" ] ||
  fail "the package's Homepage is not \"$homepage\" (ARBORA_HOMEPAGE)"
if [ -z "$homepage" ] && grep -q 'https\?://' "$root/usr/share/metainfo/$app_id.metainfo.xml"; then
  fail "the metainfo names a web address though ARBORA_HOMEPAGE is empty"
fi

# The version is written once, in CMakeLists.txt: the package, the man pages, and the
# newest entries of the changelog and of the metainfo's releases carry it.
for page in arbora arbora-report; do
  grep -q "^\.TH .* \"ARBORA $version\" " <<< "$(zcat "$root/usr/share/man/man1/$page.1.gz")" ||
    fail "man page $page.1 is not of version $version"
done
[[ "$(zcat "$root/usr/share/doc/arbora/changelog.gz")" == "arbora ($version) "* ]] ||
  fail "the changelog's newest entry is not version $version"
grep -m 1 '<release ' "$root/usr/share/metainfo/$app_id.metainfo.xml" | grep -q "version=\"$version\"" ||
  fail "the metainfo's newest release is not version $version"

desktop-file-validate "$root/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml"

# The metainfo with a home page and screenshots, as a publisher configures it: the test
# address is one reserved for examples. Configuring is enough, nothing is built.
cmake -S . -B "$work/published" -DBUILD_TESTING=OFF -DARBORA_HOMEPAGE=https://example.org/arbora \
  > "$work/published.log" || fail "configuring with ARBORA_HOMEPAGE failed: $(cat "$work/published.log")"
published="$work/published/packaging/$app_id.metainfo.xml"
grep -q '<url type="homepage">https://example.org/arbora</url>' "$published" ||
  fail "ARBORA_HOMEPAGE does not reach the metainfo"
grep -q '<image type="source">https://example.org/arbora/screenshots/' "$published" ||
  fail "the metainfo has no screenshot under ARBORA_HOMEPAGE"
appstreamcli validate --no-net "$published"
grep -q 'CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/arbora"' "$work/published/CPackConfig.cmake" ||
  fail "ARBORA_HOMEPAGE does not reach the package's Homepage"
for page in arbora arbora-report; do
  for locale in C C.UTF-8; do
    warnings=$(LC_ALL=$locale man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $page.1 ($locale):"$'\n'"$warnings"
  done
done
# The programs are hardened (stack protector, fortified functions, read-only
# relocations bound at start-up): lintian, at its most thorough, finds nothing to say
# about it.
lintian --pedantic --display-info --fail-on error "$deb" "$gis_deb" | tee "$work/lintian.txt"
if grep -E 'hardening-' "$work/lintian.txt"; then fail "lintian finds the programs not hardened"; fi

# The unpacked runner, from a directory outside the repository.
mkdir "$work/run"
cd "$work/run"
grep -q '^usage: arbora-report' <<< "$("$root/usr/bin/arbora-report" --help)" ||
  fail "arbora-report --help prints no usage"
"$root/usr/bin/arbora-report" site-index-table --species 3 > screen.txt
[ -s "site index table.txt" ] || fail "arbora-report wrote no site index table"
grep -q 'Age' screen.txt || fail "arbora-report printed no site index table"
# The example inventories, as the man page shows them, project without rejected rows.
for example in "$root"/usr/share/doc/arbora/examples/stands*.csv; do
  "$root/usr/bin/arbora-report" inventory "$example" > summary.txt ||
    fail "arbora-report inventory $(basename "$example") failed"
done
docs="$root/usr/share/doc/arbora/examples"
"$root/usr/bin/arbora-report" inventory "$docs/stands.csv" --treatments "$docs/treatments.csv" \
  --prices "$docs/prices.csv" --output scenarios.sqlite > summary.txt ||
  fail "arbora-report inventory with the example treatments and prices failed"
# The example layers, through the GIS module the unpacked runner finds beside it.
"$root/usr/bin/arbora-report" inventory "$docs/stands.gpkg" --output results.gpkg > summary.txt ||
  fail "arbora-report inventory stands.gpkg failed"
"$root/usr/bin/arbora-report" inventory "$docs/xiaoban.shp" --area-unit mu \
  > summary.txt || fail "arbora-report inventory xiaoban.shp failed"

# The unpacked window starts and draws its icon; it runs until it is stopped.
status=0
QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/arbora" 2> window.err || status=$?
[ "$status" -eq 124 ] || fail "arbora ended with status $status: $(cat window.err)"
if grep -q 'window icon' window.err; then
  fail "$(grep 'window icon' window.err)"
fi

echo "The packages $(basename "$deb") and $(basename "$gis_deb") are complete and their programs run."
