#!/usr/bin/env bash
# The main job on the bundled sample: installs what is missing, builds, converts the sample DXF to
# DWG and the DWG back to DXF, one line per step.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/setup.sh"
bash "$here/scripts/build.sh" "$here/build" -DKELMOOR_TESTS=OFF -DKELMOOR_BENCH=OFF
out="$here/build/demo"
rm -rf "$out" && mkdir -p "$out"
k="$here/build/bin/kelmoor"
"$k" info "$here/samples/sample.dxf" --json
"$k" dxf2dwg "$here/samples/sample.dxf" "$out/sample.dwg" --log "$out/sample.log"
"$k" dwg2dxf "$out/sample.dwg" "$out/sample.dxf"
"$k" info "$out/sample.dxf" --json
