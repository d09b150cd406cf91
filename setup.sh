#!/usr/bin/env bash
# Installs what the build, tests and tools need (only what is missing), then
# configures and builds the release and sanitizer builds and the Windows DLLs
# (MinGW-w64 cross compilers; wine64 runs the 64-bit tests).
#
#   ./setup.sh          everything the test suite needs
#   ./setup.sh --tool   only the library and the tintwell tool (build/tool)
set -euo pipefail
cd "$(dirname "$0")"

tool_only=0
[ "${1:-}" = "--tool" ] && tool_only=1

packages=(build-essential cmake ninja-build pkg-config libpng-dev libtiff-dev libjpeg-dev)
presets=(tool)
if [ "$tool_only" -eq 0 ]; then
  packages+=(
    libgtest-dev libgmock-dev libbenchmark-dev
    liblcms2-dev liblcms2-utils python3
    help2man libimage-exiftool-perl libtiff-tools libjpeg-turbo-progs time
    icc-profiles-free colord-data ghostscript argyll argyll-ref
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest wine64
    clang libclang-rt-14-dev
    valgrind
    mate-backgrounds  # a photograph for bench/link_bench, read where it is installed
  )
  presets=(release sanitize windows-x86 windows-x64)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
