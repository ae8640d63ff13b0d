#!/bin/bash
# The Debian package of a build, as an office installs it: made with cpack and unpacked with
# dpkg-deb into a scratch root. Both programs run from there; the stand-in appraisal program lies
# under libexec, not on the PATH; the setup guide, the example INI files and every man page are
# where the man pages say; each program's --help and man page list the same options. Then the
# ecosystem's own checks, each when its tool is installed: appstreamcli validate,
# desktop-file-validate, and lintian (no error or warning, no hardening tag; a build that does
# not fortify libc's calls, one without optimisation or with the sanitizers, lets that tag go).
# FORTIFIED is yes when the build fortifies.
set -eu
build=$1 fortified=${2:-yes}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
# The package's Depends (dpkg-shlibdeps, most of the time taken) only for lintian, which wants
# them.
shlibdeps=OFF
command -v lintian >/dev/null && shlibdeps=ON
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$dir" -D CPACK_DEBIAN_PACKAGE_SHLIBDEPS=$shlibdeps \
  > "$dir/cpack.log" || { cat "$dir/cpack.log"; exit 1; }
deb=$(echo "$dir"/transfer-info_*.deb)
dpkg-deb -x "$deb" "$dir/root"
usr=$dir/root/usr
[[ $("$usr/bin/transfer-info" --version) == "Transfer Info 5.1.2" ]] || fail "transfer-info --version"
[[ $("$usr/bin/dbftool" --version) == "dbftool 5.1.2" ]] || fail "dbftool --version"
[[ -x $usr/libexec/transfer-info/apx-sim && ! -e $usr/bin/apx-sim ]] || fail "apx-sim's place"

# Every installed path a man page names, and every page its SEE ALSO names.
pages=$(cd "$usr/share/man" && ls man*/*.gz)
for page in $pages; do
  text=$(zcat "$usr/share/man/$page" | sed 's/\\-/-/g; s/\\e/\\/g')
  for path in $(grep -o '/usr/share/doc/transfer-info/[A-Za-z0-9._/-]*' <<<"$text" | sort -u); do
    [[ -e $dir/root$path ]] || fail "$page names $path, which the package does not hold"
  done
  for ref in $(grep -oE '^\.BR [a-z.-]+ \([15]\)' <<<"$text" | sed -E 's/^\.BR ([a-z.-]+) \(([15])\)/\1.\2/'); do
    [[ -e $usr/share/man/man${ref##*.}/$ref.gz ]] || fail "$page refers to $ref, not installed"
  done
done
for file in setup.md copyright examples/XFR.INI examples/APX.INI examples/Trk.Ini \
  examples/sample-report.json; do
  [[ -s $usr/share/doc/transfer-info/$file ]] || fail "share/doc/transfer-info/$file is missing"
done

# --help and the man page's synopsis and options list the same options.
options() { grep -oE -- '--[a-z][a-z-]*' | sort -u; }
for program in bin/transfer-info bin/dbftool libexec/transfer-info/apx-sim; do
  name=${program##*/}
  from_help=$(QT_QPA_PLATFORM=offscreen "$usr/$program" --help | options)
  from_page=$(zcat "$usr/share/man/man1/$name.1.gz" | sed 's/\\-/-/g' |
    awk '/^\.SH/ { on = / (SYNOPSIS|OPTIONS)$/ } on' | options)
  [[ $from_help == "$from_page" ]] ||
    fail "$name: --help and $name(1) differ: $(diff <(echo "$from_help") <(echo "$from_page") | grep '^[<>]' | tr '\n' ' ')"
done

if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$usr"/share/applications/*.desktop || fail "desktop-file-validate"
fi
if command -v lintian >/dev/null; then
  let_go=
  [[ $fortified == yes ]] || let_go=--suppress-tags=hardening-no-fortify-functions
  tags=$(lintian --allow-root --display-info $let_go "$deb" 2>&1 | grep -E '^[EW]: |hardening' || true)
  [[ -z $tags ]] || fail "lintian: $tags"
fi
echo "package checked"
