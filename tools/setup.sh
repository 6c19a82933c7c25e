#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need (only the
# missing ones, so a second run does nothing) and builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core
    libopencv-dev locales
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool x11-utils imagemagick libx11-dev
    dpkg-dev librsvg2-bin desktop-file-utils appstream man-db
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if ((${#missing[@]})); then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi

build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${@}" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
