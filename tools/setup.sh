#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that building, running and testing need (only the
# missing ones, so a second run does nothing) and builds into build/: everything,
# or only the targets that BUILD_TARGETS names (for example
# BUILD_TARGETS="tessavolant make_demo_video"). Arguments go to CMake's
# configure step. What it does is said on stderr, so stdout stays the caller's.
set -euo pipefail
cd "$(dirname "$0")/.."

say() { echo "setup: $*" >&2; }

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev fonts-dejavu-core
    libopencv-dev libopencv-contrib-dev libgdcm-dev zlib1g-dev locales
    libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool x11-utils imagemagick libx11-dev
    dpkg-dev librsvg2-bin desktop-file-utils appstream man-db lintian
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
    say "installing ${#missing[@]} Debian packages: ${missing[*]}"
    $sudo apt-get update -qq
    # dpkg's "Unpacking" and "Setting up" lines show how far it has got.
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}" >&2
fi

build_dir=${BUILD_DIR:-build}
# A configured tree reconfigures itself when a CMake file changes, so a later
# run without arguments goes straight to the build.
if (($#)) || [ ! -f "$build_dir/CMakeCache.txt" ]; then
    say "configuring $build_dir/"
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${@}" >/dev/null
fi
read -ra targets <<<"${BUILD_TARGETS:-}"
if ((${#targets[@]})); then
    say "building ${targets[*]} in $build_dir/"
    cmake --build "$build_dir" -j"$(nproc)" --target "${targets[@]}" >&2
else
    say "building everything in $build_dir/ (the programs, tests and benchmarks)"
    cmake --build "$build_dir" -j"$(nproc)" >&2
fi
say "built"
