#!/usr/bin/env bash
# fuzz.sh BUILD_DIR SECONDS: runs every fuzz target for SECONDS on its seeds (fuzz/corpus/NAME and
# the seed folders the target names in fuzz/seeds/NAME.dirs). A crash fails the run and its input
# is kept in BUILD_DIR/fuzz-findings for a regression seed.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$1"; secs="$2"
shopt -s nullglob
status=0
for bin in "$build"/bin/fuzz_*; do
  name="$(basename "$bin")"
  work="$build/fuzz-work/$name"; findings="$build/fuzz-findings/$name"
  mkdir -p "$work" "$findings"
  seeds=("$work")
  [ -d "$here/fuzz/corpus/$name" ] && seeds+=("$here/fuzz/corpus/$name")
  if [ -f "$here/fuzz/seeds/$name.dirs" ]; then
    while read -r d; do
      [ -n "$d" ] && [ -d "$here/$d" ] && seeds+=("$here/$d")
    done <"$here/fuzz/seeds/$name.dirs"
  fi
  if "$bin" -max_total_time="$secs" -rss_limit_mb=4096 -timeout=20 -artifact_prefix="$findings/" \
       -print_final_stats=1 "${seeds[@]}" >"$build/fuzz-$name.log" 2>&1; then
    echo "fuzz $name: ok, $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$build/fuzz-$name.log" | grep -o '[0-9]*$') runs"
  else
    echo "fuzz $name: FAILED"; tail -40 "$build/fuzz-$name.log"; status=1
  fi
done
exit $status
