#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine, builds, and then runs the
# intro (./setup.sh run) or every test (./setup.sh test).
set -euo pipefail
cd "$(dirname "$0")"
what="${1:-run}"

packages=(build-essential cmake pkg-config libsdl2-dev libxmp-dev libgtest-dev libgmock-dev
          libbenchmark-dev)
if [ "$what" = test ]; then
  packages+=(xvfb xdotool imagemagick sox openbox x11-utils clang libclang-rt-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)"
case "$what" in
  run) exec ./build/korvane ;;
  test) cd build && ctest --output-on-failure -j"$(nproc)" ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac
