#!/usr/bin/env bash
# The Windows programs and their tests: installs mingw-w64 and Wine when missing, builds with the
# windows preset (transfer-info.exe, apx-sim.exe, dbftool.exe, the test programs) and runs CTest,
# which makes a fresh Wine prefix in build/windows/wineprefix and runs every test program under
# Wine. The console scenarios are compared with the Linux build's when one is there.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps-windows.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)"
ctest --preset windows
