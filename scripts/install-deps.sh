#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking Orvane needs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config git python3
  # engine libraries
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev libavdevice-dev
  libcairo2-dev libpango1.0-dev
  nlohmann-json3-dev libcurl4-openssl-dev libssl-dev libarchive-dev libasio-dev libcli11-dev
  libsecret-1-dev libglib2.0-dev
  libopencv-dev opencv-data
  libebur128-dev
  libpocketsphinx-dev pocketsphinx-en-us
  flite1-dev
  # the desktop studio (Qt 6 Widgets, D-Bus for the desktop's light/dark preference, QTest)
  qt6-base-dev
  # Wayland capture: the screen-cast portal over sd-bus, its PipeWire stream
  libsystemd-dev libpipewire-0.3-dev
  libpulse-dev libx11-dev libxext-dev libxrandr-dev libxi-dev libxtst-dev libxcomposite-dev libxfixes-dev libxdamage-dev
  # programs the application runs: the user's Pictures and Desktop folders for screenshots
  xdg-user-dirs
  # opening URLs, and registering the studio as the handler of our URL schemes
  xdg-utils desktop-file-utils
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  flite
  # fuzzing (scripts/fuzz.sh): clang with its sanitizer and libFuzzer runtimes
  clang-14 libclang-rt-14-dev libfuzzer-14-dev
  ffmpeg xvfb xauth pulseaudio pulseaudio-utils dbus dbus-daemon gnome-keyring
  # the headless Wayland desktop of scripts/wayland-session.sh (the Wayland recording test; grim takes
  # the wlroots portal's screenshots), and the
  # reference client of bench/wayland_capture_bench.sh
  sway swaybg weston grim pipewire pipewire-bin wireplumber xdg-desktop-portal xdg-desktop-portal-wlr dbus-bin
  libwayland-dev
  gstreamer1.0-tools gstreamer1.0-pipewire gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  gstreamer1.0-plugins-ugly python3-gi
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg-query -W -f='${Status}\n' "${packages[@]}" 2>/dev/null | grep -qv '^install ok installed$' \
   && [ "$(dpkg-query -W -f='${Status}\n' "${packages[@]}" 2>/dev/null | wc -l)" -eq "${#packages[@]}" ]; then
  echo "install-deps: all packages present"
  exit 0
fi
"${sudo_cmd[@]}" apt-get update
"${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
