#!/usr/bin/env bash
# Installs BankShuttle into a temporary prefix and builds its Debian package, and checks both
# as a distribution would: the tree, the desktop entry and AppStream validators, the installed
# command line, the package's control fields, contents and lintian.
#   check-package.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }
id=org.bankshuttle.BankShuttle

# 1. cmake --install into a prefix of our own.
cmake --install "$build" --prefix "$work/usr" >/dev/null
for f in bin/bankshuttle bin/bankshuttle-cli share/applications/$id.desktop \
         share/metainfo/$id.metainfo.xml share/icons/hicolor/scalable/apps/$id.svg \
         share/mime/packages/$id.xml share/man/man1/bankshuttle.1.gz \
         share/man/man1/bankshuttle-cli.1.gz share/doc/bankshuttle/copyright \
         share/doc/bankshuttle/changelog.gz; do
  [ -e "$work/usr/$f" ] || fail "cmake --install did not install $f"
done
desktop-file-validate "$work/usr/share/applications/$id.desktop"
appstreamcli validate --no-net --explain "$work/usr/share/metainfo/$id.metainfo.xml" >/dev/null ||
  appstreamcli validate --no-net "$work/usr/share/metainfo/$id.metainfo.xml"
"$work/usr/bin/bankshuttle-cli" --help | grep -q '^usage: bankshuttle-cli' ||
  fail "the installed bankshuttle-cli does not answer --help"
for page in bankshuttle bankshuttle-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -l \
             "$work/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page $page: $warnings"
done

# 2. The Debian package.
rm -f "$build"/bankshuttle_*.deb
cmake --build "$build" --target package >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$build"/bankshuttle_*_amd64.deb)
version=$(dpkg-deb -f "$deb" Version)
[ "$(basename "$deb")" = "bankshuttle_${version}_amd64.deb" ] || fail "package name $deb"
[ "$(dpkg-deb -f "$deb" Package)" = bankshuttle ] || fail "Package field"
[ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] || fail "Architecture field"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libasound2 libjack; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/bankshuttle ./usr/bin/bankshuttle-cli ./usr/share/applications/$id.desktop \
         ./usr/share/man/man1/bankshuttle-cli.1.gz ./usr/share/doc/bankshuttle/copyright; do
  grep -q " $f\$" <<<"$contents" || fail "the package lacks $f"
done
dpkg-deb -x "$deb" "$work/unpacked"
file "$work/unpacked/usr/bin/bankshuttle-cli" | grep -q ', stripped' || fail "binaries not stripped"
report=$(lintian --fail-on error "$deb" 2>&1) || { echo "$report"; fail "lintian reports errors"; }
grep -v '^running with root privileges' <<<"$report" || true
echo "check-package: $(basename "$deb") installs, validates and passes lintian"
