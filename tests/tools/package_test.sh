#!/bin/bash
# The Debian package of a build: made with cpack, unpacked with dpkg-deb, and both programs of
# it run from there; the stand-in appraisal program lies under libexec, not on the PATH. The
# package's Depends (dpkg-shlibdeps, most of the time taken) are left out here.
set -eu
build=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$dir" -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF > "$dir/cpack.log" || {
  cat "$dir/cpack.log"; exit 1; }
dpkg-deb -x "$dir"/transfer-info_*.deb "$dir/root"
usr=$dir/root/usr
[[ $("$usr/bin/transfer-info" --version) == "Transfer Info 5.1.2" ]]
[[ $("$usr/bin/dbftool" --version) == "dbftool 5.1.2" ]]
[[ -x $usr/libexec/transfer-info/apx-sim && ! -e $usr/bin/apx-sim ]]
ls "$usr/share/man/man1/transfer-info.1.gz" "$usr/share/doc/transfer-info/copyright" \
  "$usr/share/metainfo/transfer-info.metainfo.xml" > /dev/null
