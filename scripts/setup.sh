#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing qxrtrans
# need. Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  g++ make cmake ninja-build pkgconf      # compiler and build tools
  qt6-base-dev                            # Qt 6 Widgets, QtTest, moc, platform plugins
  libgtest-dev libgmock-dev               # unit tests
  libbenchmark-dev                        # benchmarks
  libsqlite3-dev                          # the journal of transfers
  libsodium-dev                           # the shop service: password hashes, session tokens
  libcpp-httplib-dev libssl-dev           # the shop service: HTTP and TLS
  chromium chromium-driver python3-selenium  # the shop service: the browser test
  ser2net                                 # serial device server: the network-port tests and the shop set-up
  time                                    # peak memory of the benchmarks (/usr/bin/time)
  xvfb xauth xdotool imagemagick          # running and checking the windows without a screen
  fonts-wqy-microhei                      # a CJK font: the Chinese captions
  xdg-utils                               # opens the manual in the desktop's PDF viewer
  qt6-translations-l10n                   # the toolkit's own buttons and dialogs in Chinese
  poppler-utils                           # checking the built manual (pdfinfo, pdftoppm)
  clang libclang-rt-14-dev                # fuzzing (libFuzzer) and sanitizers
  dpkg-dev file                           # make package: dependencies of the binaries (dpkg-shlibdeps)
  desktop-file-utils appstream lintian    # checking the package, its menu entry and metadata
  systemd man-db                          # checking the package: the service's unit (systemd-analyze), manual pages
  python3                                 # the shop service's benchmark (bench/bench_service.py, standard library only)
  # The package's maintainer scripts are written by hand (packaging/debian) and
  # need nothing to build; at installation they use adduser and
  # deb-systemd-helper (init-system-helpers), which the package depends on.
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
