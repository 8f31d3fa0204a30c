#!/usr/bin/env bash
# Checks the Debian package of a build tree (make package): the files it
# installs, its dependencies, the menu entry, the AppStream metadata, the
# manual pages, the shop service (program, web page, systemd unit, options
# file, maintainer scripts run against a scratch root), and lintian's
# verdict (no errors). Exits non-zero on the first problem.
set -euo pipefail
build=${1:-build}
source=$(cd "$(dirname "$0")/.." && pwd)
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
  usr/bin/qxrtrans usr/bin/qxrtool usr/bin/qxremu usr/bin/qxrd \
  usr/share/qxrtrans/Message.C usr/share/qxrtrans/Message.E usr/share/qxrtrans/Customer.ini \
  usr/share/qxrtrans/102ParK.txt usr/share/qxrtrans/Q102Add.Ini "usr/share/qxrtrans/QXRX02通訊軟體手冊.pdf" \
  usr/share/applications/org.qxrtrans.qxrtrans.desktop \
  usr/share/metainfo/org.qxrtrans.qxrtrans.metainfo.xml \
  usr/share/icons/hicolor/scalable/apps/qxrtrans.svg \
  usr/share/icons/hicolor/48x48/apps/qxrtrans.png usr/share/icons/hicolor/256x256/apps/qxrtrans.png \
  usr/share/man/man1/qxrtrans.1.gz usr/share/man/man1/qxrtool.1.gz usr/share/man/man1/qxremu.1.gz \
  usr/share/man/man8/qxrd.8.gz usr/lib/systemd/system/qxrd.service etc/default/qxrd \
  usr/share/doc/qxrtrans/copyright usr/share/doc/qxrtrans/changelog.gz; do
  [ -e "$work/root/$path" ] || fail "missing /$path"
done
# Only the shipped data: no manual sources, no settings written by a run.
! grep -qE 'usr/share/qxrtrans/(manual/|Init\.ini|Init\.Ini)' "$work/contents" || fail "unexpected data files"
for program in qxrtrans qxrtool qxremu qxrd; do
  file "$work/root/usr/bin/$program" | grep -q "stripped" && ! file "$work/root/usr/bin/$program" | grep -q "not stripped" ||
    fail "$program is not stripped"
done

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libqt6gui6 libc6 libsodium23 libcpp-httplib fonts-wqy-microhei xdg-utils adduser init-system-helpers; do
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

# The web page: every file of web/ in the tree, nothing else.
if [ -d "$source/web" ]; then
  diff <(cd "$source/web" && find . -type f ! -path '*/node_modules/*' ! -path './test*' | sort) \
       <(cd "$work/root/usr/share/qxrtrans/web" && find . -type f | sort) ||
    fail "/usr/share/qxrtrans/web differs from web/"
  [ -f "$work/root/usr/share/qxrtrans/web/index.html" ] || fail "the web page has no index.html"
fi

# The manual pages format without a warning.
for page in "$work"/root/usr/share/man/man*/*.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "manual page ${page#"$work/root"}: $warnings"
done

# The programs start from the package: --help of the shop service and the tool.
for program in qxrd qxrtool; do
  "$work/root/usr/bin/$program" --help >"$work/help" 2>&1 || fail "$program --help failed: $(head -3 "$work/help")"
  grep -q "$program" "$work/help" || fail "$program --help does not name it"
done

# The systemd unit: valid for systemd (with the unpacked program in its
# ExecStart), its user, groups, state directory and hardening as intended.
unit="$work/root/usr/lib/systemd/system/qxrd.service"
for setting in User=qxrd Group=qxrd SupplementaryGroups=dialout StateDirectory=qxrtrans \
  'ExecStart=/usr/bin/qxrd --start-dir /var/lib/qxrtrans $QXRD_OPTIONS' EnvironmentFile=-/etc/default/qxrd \
  Restart=on-failure NoNewPrivileges=yes ProtectSystem=strict ProtectHome=yes PrivateTmp=yes \
  DevicePolicy=closed 'DeviceAllow=char-ttyS rw' 'DeviceAllow=char-ttyUSB rw' 'DeviceAllow=char-ttyACM rw' \
  WantedBy=multi-user.target; do
  grep -qxF "$setting" "$unit" || fail "qxrd.service lacks $setting"
done
if command -v systemd-analyze >/dev/null; then
  mkdir -p "$work/unit"
  sed "s|/usr/bin/qxrd|$work/root/usr/bin/qxrd|" "$unit" >"$work/unit/qxrd.service"
  systemd-analyze verify --man=no "$work/unit/qxrd.service" || fail "systemd-analyze verify refuses qxrd.service"
  systemd-analyze security --offline=yes --threshold=30 "$work/unit/qxrd.service" >"$work/security" 2>&1 ||
    fail "qxrd.service: $(tail -1 "$work/security")"
  echo "check-package: qxrd.service: $(grep -o 'exposure level.*' "$work/security")"
fi

# The maintainer scripts: the options file is a conffile; postinst, prerm
# and postrm run against the unpacked tree as DPKG_ROOT with adduser, the
# user data base, chown and the systemd helpers replaced by stubs that
# record their calls, as in a chroot without systemd.
dpkg-deb -e "$deb" "$work/control"
grep -qx /etc/default/qxrd "$work/control/conffiles" || fail "/etc/default/qxrd is not a conffile"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || fail "no executable $script"
  sh -n "$work/control/$script" || fail "$script: syntax"
done
stubs="$work/stubs"
mkdir -p "$stubs"
for command in adduser chown deb-systemd-helper deb-systemd-invoke systemctl; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\n' "$command" "$work" >"$stubs/$command"
done
printf '#!/bin/sh\necho "adduser $*" >>"%s/calls"\n[ "$1" = --quiet ] && [ "$2" = --system ] && touch "%s/user"\nexit 0\n' \
  "$work" "$work" >"$stubs/adduser"
printf '#!/bin/sh\n[ "$1 $2" = "passwd qxrd" ] && [ -e "%s/user" ]\n' "$work" >"$stubs/getent"
printf '#!/bin/sh\necho qxrd\n' >"$stubs/id"
printf '#!/bin/sh\necho "deb-systemd-helper $*" >>"%s/calls"\n[ "$1" = --quiet ] && [ "$2" = was-enabled ] && exit 0\nexit 0\n' \
  "$work" >"$stubs/deb-systemd-helper"
chmod +x "$stubs"/*
run_script() { DPKG_ROOT="$work/root" PATH="$stubs:$PATH" "$work/control/$1" "${@:2}" || fail "$* failed"; }
state="$work/root/var/lib/qxrtrans"
run_script postinst configure
for expected in "adduser --quiet --system --group --no-create-home --home /var/lib/qxrtrans qxrd" \
  "adduser --quiet qxrd dialout" "deb-systemd-helper enable qxrd.service"; do
  grep -qxF "$expected" "$work/calls" || fail "postinst did not call: $expected"
done
! grep -q '^systemctl\|deb-systemd-invoke' "$work/calls" || fail "postinst called systemd without systemd running"
for file in Message.C Message.E Customer.ini 102ParK.txt Machines.ini; do
  [ -f "$state/$file" ] || fail "postinst did not prepare /var/lib/qxrtrans/$file"
done
[ -d "$state/library" ] || fail "postinst did not make /var/lib/qxrtrans/library"
# The service starts in the directory postinst prepared (the example
# Machines.ini holds no machine), serves the packaged page and refuses the
# API without a session, and ends at SIGTERM with status 0.
QXR_JOURNAL="$state/journal.db" QXR_WEB_DIR="$work/root/usr/share/qxrtrans/web" timeout 20 \
  "$work/root/usr/bin/qxrd" --start-dir "$state" --listen 127.0.0.1:0 >"$work/qxrd.out" 2>&1 &
service=$!
for _ in $(seq 100); do grep -q 'listening on http://127.0.0.1:' "$work/qxrd.out" && break; sleep 0.1; done
address=$(grep -o 'http://127.0.0.1:[0-9]*' "$work/qxrd.out") ||
  fail "qxrd did not start in the prepared directory: $(cat "$work/qxrd.out")"
statuses=$(/usr/bin/python3 - "$address" <<'PYTHON'
import sys, urllib.request, urllib.error
for path in ("/", "/api/me"):
    try:
        print(urllib.request.urlopen(sys.argv[1] + path, timeout=10).status, end=" ")
    except urllib.error.HTTPError as error:
        print(error.code, end=" ")
PYTHON
)
[ -d "$work/root/usr/share/qxrtrans/web" ] && expected="200 401 " || expected="404 401 "
[ "$statuses" = "$expected" ] || fail "qxrd answered / and /api/me with $statuses, not $expected"
kill -TERM "$service"
wait "$service" || fail "qxrd did not end with status 0 at SIGTERM: $(cat "$work/qxrd.out")"
! grep warning "$work/qxrd.out" | grep -qv 'no users yet' ||
  fail "qxrd warned about the prepared directory: $(cat "$work/qxrd.out")"
! ls "$state" | grep -q '\.pdf$\|dpkg-new' || fail "/var/lib/qxrtrans holds the manual or a half-copied file"
# An upgrade keeps the shop's files and the user, and refreshes a catalogue.
echo "Language = 1" >"$state/Customer.ini"
echo "[Lathe]" >"$state/Machines.ini"
touch -d '2000-01-01' "$state/Message.E"
: >"$work/calls"
run_script postinst configure 1.0.0
grep -qx "Language = 1" "$state/Customer.ini" && grep -qxF "[Lathe]" "$state/Machines.ini" ||
  fail "postinst on upgrade replaced Customer.ini or Machines.ini"
cmp -s "$state/Message.E" "$work/root/usr/share/qxrtrans/Message.E" || fail "postinst on upgrade kept an old catalogue"
! grep -q -- '--system' "$work/calls" || fail "postinst on upgrade made the user again"
run_script prerm remove
run_script postrm remove
run_script postrm purge
grep -qxF "deb-systemd-helper purge qxrd.service" "$work/calls" || fail "postrm purge did not forget the unit"
[ -f "$state/Machines.ini" ] || fail "postrm purge removed the shop's start directory"

lintian --fail-on error --tag-display-limit 0 "$deb"
echo "check-package: $deb is complete and clean"
