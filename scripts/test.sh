#!/usr/bin/env bash
# Every test: installs what is missing, builds with warnings as errors, runs the test suite, then
# builds again with AddressSanitizer + UndefinedBehaviorSanitizer and runs the unit tests there, then
# builds the libFuzzer targets with clang and runs each for a bounded time on its seeds.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
bash "$here/scripts/setup.sh"
fuzz_seconds="${KELMOOR_FUZZ_SECONDS:-30}"

echo "== build (warnings as errors)"
bash "$here/scripts/build.sh" "$here/build" -DKELMOOR_WERROR=ON
echo "== oracles (independent DWG readers from npm, ezdxf from Debian)"
oracle="$here/build/oracle-node"
shared="$here/../shared"
if [ -f "$shared/oracles/node/package.json" ]; then
  rm -rf "$oracle" && mkdir -p "$oracle"
  cp "$shared/oracles/node/"{package.json,package-lock.json,dwginfo.mjs} "$oracle/"
  (cd "$oracle" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) && export KELMOOR_ORACLE_NODE="$oracle"
fi
echo "== tests"
(cd "$here/build" && ctest --output-on-failure -j2)
unset KELMOOR_ORACLE_NODE

echo "== build with AddressSanitizer + UndefinedBehaviorSanitizer"
bash "$here/scripts/build.sh" "$here/build-asan" -DKELMOOR_SANITIZE=ON -DKELMOOR_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
echo "== tests under the sanitizers"
(cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   KELMOOR_SANITIZED=1 ctest --output-on-failure -j2)

echo "== fuzz targets (${fuzz_seconds}s each)"
bash "$here/scripts/build.sh" "$here/build-fuzz" -DKELMOOR_FUZZ=ON -DKELMOOR_TESTS=OFF -DKELMOOR_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
bash "$here/scripts/fuzz.sh" "$here/build-fuzz" "$fuzz_seconds"
echo "== all tests passed"
