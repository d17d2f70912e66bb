#!/usr/bin/env bash
# Installs what building and testing kelmoor needs on a Debian 12 machine (run as root). Packages
# already present are left alone, so a prepared machine needs no network.
set -euo pipefail
pkgs=(cmake ninja-build g++ make pkg-config binutils libgtest-dev libgmock-dev libbenchmark-dev
      clang libclang-rt-14-dev python3 python3-ezdxf)
# Node.js may come from elsewhere than Debian (then its npm must not be replaced).
command -v node >/dev/null 2>&1 || pkgs+=(nodejs)
command -v npm >/dev/null 2>&1 || pkgs+=(npm)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
