#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, makes the demo video if it is missing and opens the
# program on it (or on the video given as argument). The event log
# "loggfile.txt" of the demo is written beside the demo video, in demo/, so
# that no log lands in the checkout itself; with a video given as argument it
# is written to the directory this script is started from, as the program
# itself does.
# Only the window and the demo maker are built here; tools/test.sh builds the
# rest. Each step is said on stderr.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
BUILD_TARGETS="tessavolant make_demo_video" "$here/tools/setup.sh"

video=${1:-$here/demo/demo.avi}
log_option=()
if [ $# -eq 0 ]; then
    if [ ! -f "$video" ]; then
        echo "run: making the demo video $video" >&2
        mkdir -p "$here/demo"
        "$here/build/tools/make_demo_video" "$video" "$here/demo/demo-ground-truth.csv"
    fi
    log_option=(--log "$here/demo/loggfile.txt")
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting the program in a virtual X server (xvfb-run)." >&2
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$here/build/tessavolant" "${log_option[@]}" "$video"
fi
echo "run: opening $video" >&2
exec "$here/build/tessavolant" "${log_option[@]}" "$video"
