#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing and we are root.
set -euo pipefail
# clang and its runtimes (libFuzzer, the sanitizers) for make fuzz; g++'s
# sanitizer runtimes for the sanitizer tree of make check.
pkgs=(cmake ninja-build g++ make googletest libgtest-dev libgmock-dev
      clang libclang-rt-14-dev libasan8 libubsan1
      g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
      libbenchmark-dev wine64 wine xvfb x11-apps xdotool imagemagick fonts-ipafont-gothic
      python3-markdown)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run as root to install them)" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
