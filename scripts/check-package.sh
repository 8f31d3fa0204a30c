#!/usr/bin/env bash
# Checks the Debian package of a build tree (make package): the files it
# installs, its dependencies, the menu entry, the AppStream metadata, and
# lintian's verdict (no errors). Exits non-zero on the first problem.
set -euo pipefail
build=${1:-build}
shopt -s nullglob
debs=("$build"/qxrtrans_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  echo "check-package: expected one qxrtrans_*.deb in $build, found ${#debs[@]}" >&2
  exit 1
fi
deb=${debs[0]}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -c "$deb" > "$work/contents"

fail() { echo "check-package: $*" >&2; exit 1; }

for path in \
  usr/bin/qxrtrans usr/bin/qxrtool usr/bin/qxremu \
  usr/share/qxrtrans/Message.C usr/share/qxrtrans/Message.E usr/share/qxrtrans/Customer.ini \
  usr/share/qxrtrans/102ParK.txt usr/share/qxrtrans/Q102Add.Ini "usr/share/qxrtrans/QXRX02通訊軟體手冊.pdf" \
  usr/share/applications/org.qxrtrans.qxrtrans.desktop \
  usr/share/metainfo/org.qxrtrans.qxrtrans.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/qxrtrans.svg \
  usr/share/icons/hicolor/48x48/apps/qxrtrans.png usr/share/icons/hicolor/256x256/apps/qxrtrans.png \
  usr/share/man/man1/qxrtrans.1.gz usr/share/man/man1/qxrtool.1.gz usr/share/man/man1/qxremu.1.gz \
  usr/share/doc/qxrtrans/copyright usr/share/doc/qxrtrans/changelog.gz; do
  [ -e "$work/root/$path" ] || fail "missing /$path"
done
# Only the shipped data: no manual sources, no settings written by a run.
! grep -qE 'usr/share/qxrtrans/(manual/|Init\.ini|Init\.Ini)' "$work/contents" || fail "unexpected data files"
for program in qxrtrans qxrtool qxremu; do
  file "$work/root/usr/bin/$program" | grep -q "stripped" && ! file "$work/root/usr/bin/$program" | grep -q "not stripped" ||
    fail "$program is not stripped"
done

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6gui6 libc6 fonts-wqy-microhei xdg-utils; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done

desktop-file-validate "$work/root/usr/share/applications/org.qxrtrans.qxrtrans.desktop"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.qxrtrans.qxrtrans.metainfo.xml"
# The version the metadata and changelog announce is the package's.
version=$(dpkg-deb -f "$deb" Version)
grep -q "version=\"$version\"" "$work/root/usr/share/metainfo/org.qxrtrans.qxrtrans.metainfo.xml" ||
  fail "metainfo does not name version $version"
zcat "$work/root/usr/share/doc/qxrtrans/changelog.gz" | head -1 | grep -q "($version)" ||
  fail "changelog does not start with version $version"

lintian --fail-on error --tag-display-limit 0 "$deb"
echo "check-package: $deb is complete and clean"
