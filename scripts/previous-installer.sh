#!/usr/bin/env bash
# Builds the installer of an earlier version (default f2a20b0, the build before the console
# twin) from a scratch clone of this repository, into build/previous/transfer-info-setup.exe, for
# the installer test's upgrade step with that version's own programs:
#   bash scripts/previous-installer.sh [REVISION]
#   XFR_PREVIOUS_SETUP=$PWD/build/previous/transfer-info-setup.exe ctest --preset windows -R installer
# Without it the test makes the earlier installer from that version's script
# (tests/data/installer/) with this build's programs.
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:-f2a20b0}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash scripts/deps-windows.sh
git clone -q --no-checkout . "$work/src"
git -C "$work/src" checkout -q "$rev"
export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
cmake -S "$work/src" -B "$work/build" -G Ninja --toolchain "$work/src/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DXFR_TESTS=OFF >/dev/null
cmake --build "$work/build" --target installer -j "$(nproc)"
mkdir -p build/previous
cp "$work/build/transfer-info-setup.exe" build/previous/
echo "Wrote build/previous/transfer-info-setup.exe ($rev)"
