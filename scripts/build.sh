#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures and builds the whole project in DIR. Progress lines
# are left out; compiler messages and a failing build's status come through.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"; shift
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
status=0
ninja -C "$dir" -j"$(nproc)" >"$dir/build.log" 2>&1 || status=$?
grep -vE '^\[[0-9]+/[0-9]+\] (Building|Linking)' "$dir/build.log" || true
exit "$status"
