#!/usr/bin/env bash
# Builds the Debian package from a configured build directory (default build/) and
# checks it: its contents, the desktop entry, the AppStream metadata, the man pages,
# lintian, and the unpacked programs run outside the source and build trees.
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
[ -f "$deb" ] || fail "no package $deb"
echo "Checking $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

dpkg-deb -c "$deb" | sed -n 's|^.* \./|/|p' > "$work/contents"
expected=(
  /usr/bin/arbora
  /usr/bin/arbora-report
  "/usr/share/applications/$app_id.desktop"
  "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
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
dpkg-deb -f "$deb" Depends | grep -qw 'libjs-chart\.js' || fail "the package does not depend on libjs-chart.js"

root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml"
for page in arbora arbora-report; do
  for locale in C C.UTF-8; do
    warnings=$(LC_ALL=$locale man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page $page.1 ($locale):"$'\n'"$warnings"
  done
done
lintian --fail-on error "$deb"

# The unpacked runner, from a directory outside the repository.
mkdir "$work/run"
cd "$work/run"
"$root/usr/bin/arbora-report" --help | grep -q '^usage: arbora-report' ||
  fail "arbora-report --help prints no usage"
"$root/usr/bin/arbora-report" site-index-table --species 3 > screen.txt
[ -s "site index table.txt" ] || fail "arbora-report wrote no site index table"
grep -q 'Age' screen.txt || fail "arbora-report printed no site index table"
# The example inventories, as the man page shows them, project without rejected rows.
for example in "$root"/usr/share/doc/arbora/examples/*.csv; do
  "$root/usr/bin/arbora-report" inventory "$example" > summary.txt ||
    fail "arbora-report inventory $(basename "$example") failed"
done

# The unpacked window starts and draws its icon; it runs until it is stopped.
status=0
QT_QPA_PLATFORM=offscreen timeout 5 "$root/usr/bin/arbora" 2> window.err || status=$?
[ "$status" -eq 124 ] || fail "arbora ended with status $status: $(cat window.err)"
if grep -q 'window icon' window.err; then
  fail "$(grep 'window icon' window.err)"
fi

echo "The package $(basename "$deb") is complete and its programs run."
