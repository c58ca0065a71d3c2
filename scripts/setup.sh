#!/usr/bin/env bash
# Installs the Debian packages Halvane needs (only those missing), then configures and
# builds it in ./build. Sourced by run.sh, test.sh and package.sh; extra CMake options in
# $@, and the targets to build (all when not set) in $BUILD_TARGETS.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-webengine-dev qt6-webengine-dev-tools
    libqt6webenginecore6-bin qt6-qpa-plugins libgl-dev libxkbcommon-dev
    fonts-dejavu-core fonts-liberation2 xvfb openbox xauth xdotool x11-utils libxcb1-dev libicu-dev
    libbenchmark-dev dbus poppler-utils qt6-base-private-dev desktop-file-utils xdg-utils
    dpkg-dev file lintian libqt6sql6-sqlite
)
scripts/install-missing.sh "${packages[@]}"

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
read -r -a targets <<<"${BUILD_TARGETS:-all}"
cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]}"
