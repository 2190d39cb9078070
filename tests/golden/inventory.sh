#!/usr/bin/env bash
# Whole runs of `arbora-report inventory`, checked by value: for each case of
# tests/golden/inventory/cases.txt, the standard output, the error stream and the exit
# status, the CSV output, every table of a SQLite or GeoPackage output (the run's time
# stamp masked) and the estate page's data blocks are compared with the files kept in
# tests/golden/inventory/.
#
#   bash tests/golden/inventory.sh build/arbora-report               check every case
#   bash tests/golden/inventory.sh build/arbora-report --regenerate  rewrite the files
#
# After an intended change, regenerate and read `git diff tests/golden/inventory`.
set -euo pipefail
program=$(realpath "$1")
regenerate=${2:-}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
golden=$here/inventory
source_dir=$(cd "$here/../.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The text of one output file, as kept in the golden directory.
dump() {
  local file=$1
  case "$file" in
    *.csv) cat "$file" ;;
    *.sqlite | *.db | *.gpkg)
      local tables
      tables=$(sqlite3 "$file" "SELECT name FROM sqlite_master WHERE type = 'table'
        AND name NOT LIKE 'sqlite_%' AND name NOT LIKE 'gpkg_%' AND name NOT LIKE 'rtree_%'
        ORDER BY name")
      for table in $tables; do
        echo "-- $table"
        # Quote mode writes reals with 17 significant digits or more: every bit shows.
        sqlite3 -header -cmd '.mode quote' "$file" "SELECT * FROM \"$table\" ORDER BY rowid" |
          sed -E "s/'[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z'/'<time>'/g"
      done
      ;;
    *.html)
      # The data blocks: the page's numbers and words, without its fixed skeleton.
      awk '/<script type="application\/json"/ { inside = 1 } inside { print }
           inside && /<\/script>/ { inside = 0 }' "$file"
      ;;
    *) echo "(no dump for $file)" ;;
  esac
}

failed=0
cases=0
if [ "$regenerate" = --regenerate ]; then
  find "$golden" -maxdepth 1 -type f ! -name cases.txt -delete
fi
while IFS= read -r line; do
  [[ -z "$line" || "$line" == \#* ]] && continue
  name=${line%%:*}
  read -r -a args <<< "${line#*:}"
  run=$work/$name
  mkdir -p "$run"
  # Copies, not links: a case that writes over an input must not change the sources.
  cp -R "$source_dir/examples" "$run/examples"
  cp -R "$golden/inputs" "$run/in"
  status=0
  (cd "$run" && "$program" inventory "${args[@]}" > stdout.txt 2> stderr.txt) || status=$?
  {
    cat "$run/stdout.txt"
    echo "--- standard error"
    cat "$run/stderr.txt"
    echo "--- exit status $status"
  } > "$work/$name.out"
  produced=("$name.out")
  for file in "$run"/*; do
    base=$(basename "$file")
    case "$base" in stdout.txt | stderr.txt | examples | in) continue ;; esac
    [ -f "$file" ] || continue
    dump "$file" > "$work/$name.$base.txt"
    produced+=("$name.$base.txt")
  done
  cases=$((cases + 1))
  if [ "$regenerate" = --regenerate ]; then
    for file in "${produced[@]}"; do cp "$work/$file" "$golden/$file"; done
    continue
  fi
  # Every file the case should write, and no other.
  expected=$(cd "$golden" && ls "$name".* 2>/dev/null | sort || true)
  actual=$(printf '%s\n' "${produced[@]}" | sort)
  if [ "$expected" != "$actual" ]; then
    echo "FAILED $name: wrote [$actual], expected [$expected]"
    failed=$((failed + 1))
    continue
  fi
  for file in "${produced[@]}"; do
    if ! diff -u "$golden/$file" "$work/$file" > "$work/diff" ; then
      echo "FAILED $name: $file differs"
      head -n 60 "$work/diff"
      failed=$((failed + 1))
    fi
  done
done < "$golden/cases.txt"

if [ "$regenerate" = --regenerate ]; then
  echo "regenerated $cases cases in $golden"
  exit 0
fi
echo "$((cases)) golden inventory cases, $failed differences"
[ "$failed" -eq 0 ]
