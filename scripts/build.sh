#!/usr/bin/env bash
# build.sh DIR [cmake options...]: configures and builds the whole project in DIR.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="$1"; shift
cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
ninja -C "$dir" -j"$(nproc)" | grep -vE '^\[[0-9]+/[0-9]+\] (Building|Linking)' || true
test "${PIPESTATUS[0]}" -eq 0
