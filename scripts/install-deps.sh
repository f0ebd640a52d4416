#!/bin/bash
# Installs the Debian packages the build, the tests and the asset tools need (Debian 12, as root).
# Idempotent and quiet: when nothing is missing it only asks dpkg.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

BUILD_PKGS=(cmake g++ pkg-config
  qtbase5-dev qtbase5-dev-tools qtdeclarative5-dev qtscript5-dev libqt5opengl5-dev libqt5svg5-dev
  qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-controls2 qml-module-qtquick-layouts
  qml-module-qttest
  portaudio19-dev libasound2-dev libfluidsynth-dev timgm6mb-soundfont libvorbis-dev libsqlite3-dev libkissfft-dev
  libjs-json fonts-dejavu-core woff2 libgtest-dev libgmock-dev)
TEST_PKGS=(xvfb xauth x11-utils libgl1-mesa-dri
  pulseaudio pulseaudio-utils libasound2-plugins alsa-utils
  sox espeak-ng vorbis-tools
  xdotool imagemagick x11-apps python3-xlib sqlite3
  openbox)  # a window manager: the learner run's small screen frames the window with a title bar
[ "${WITH_BENCH:-}" = 1 ] && TEST_PKGS+=(aubio-tools fluid-soundfont-gm)  # the pitch bench's second recorded voice

# The private virtual sound devices of a machine without any (scripts/with-sound-device.sh).
SOUND_PKGS=(pulseaudio pulseaudio-utils libasound2-plugins)

want=("${BUILD_PKGS[@]}")
[ "${1:-}" = "--tests" ] && want+=("${TEST_PKGS[@]}")
[ "${1:-}" = "--virtual-sound" ] && want=("${SOUND_PKGS[@]}")
command -v node >/dev/null || want+=(nodejs)
command -v npm >/dev/null || want+=(npm)

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "installing: ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
