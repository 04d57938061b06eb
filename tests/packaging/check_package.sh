#!/bin/sh
# Installs the build into a scratch DESTDIR and packs it as a .deb, then checks
# both as a distribution would: the files are there, the desktop entry and
# the AppStream data validate, the manual pages render without warnings, the
# extracted program runs and still carries its version note, and lintian
# finds no error.
set -eu
build=$1
source=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >/dev/null
root="$scratch/root/usr"
for file in bin/velmora bin/velmora-cli \
            share/applications/example.ternwick.Velmora.desktop \
            share/icons/hicolor/scalable/apps/example.ternwick.Velmora.svg \
            share/metainfo/example.ternwick.Velmora.metainfo.xml \
            share/man/man1/velmora-cli.1.gz share/man/man1/velmora.1.gz \
            share/doc/velmora/copyright share/doc/velmora/changelog.gz; do
  [ -f "$root/$file" ] || fail "not installed: $file"
done
desktop-file-validate "$root/share/applications/example.ternwick.Velmora.desktop" | grep -v ': hint: ' \
  | grep . && fail "desktop-file-validate"
appstreamcli validate --no-net "$root/share/metainfo/example.ternwick.Velmora.metainfo.xml" >/dev/null \
  || fail "appstreamcli validate"
for page in velmora-cli velmora; do
  warnings=$(zcat "$root/share/man/man1/$page.1.gz" | groff -ww -man -z 2>&1)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
done

(cd "$build" && cpack -G DEB -B "$scratch/deb" >/dev/null) || fail "cpack"
deb=$(ls "$scratch"/deb/velmora_*_amd64.deb)
contents=$(dpkg-deb --contents "$deb")
echo "$contents" | grep -q './usr/bin/velmora-cli$' || fail "the .deb lacks velmora-cli"
echo "$contents" | grep -q './usr/share/applications/example.ternwick.Velmora.desktop$' \
  || fail "the .deb lacks the desktop entry"
dpkg-deb -x "$deb" "$scratch/extracted"
version=$("$scratch/extracted/usr/bin/velmora-cli" --version)
case $version in "Velmora 3."*) ;; *) fail "extracted velmora-cli --version said: $version" ;; esac
for program in velmora velmora-cli; do
  readelf -n "$scratch/extracted/usr/bin/$program" | grep -q '\.note\.velmora' || fail "$program lost its version note"
  file "$scratch/extracted/usr/bin/$program" | grep -q "not stripped" && fail "$program is not stripped"
done
lintian --tag-display-limit 0 "$deb" 2>/dev/null > "$scratch/lintian.txt" || true
cat "$scratch/lintian.txt"
grep -q '^E:' "$scratch/lintian.txt" && fail "lintian reports errors"
echo "package checks passed: $(basename "$deb")"
