#!/usr/bin/env bash
# Installs the Debian packages the Windows build and its tests under Wine need (only the missing
# ones): the mingw-w64 cross compiler, Wine, GoogleTest's sources and NSIS (the installer).
set -euo pipefail
packages=(g++-mingw-w64-x86-64-posix wine wine64 googletest cmake ninja-build time nsis)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
