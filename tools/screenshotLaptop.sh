#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the picture of the window on a laptop's screen (docs/window-on-a-laptop.md):
# the real program in a private X server of 1366 x 768 pixels (or E2E_SCREEN),
# the demo video scaled down so that every control fits, the stone marked with
# a real mouse drag, Play and Start clicked, and the whole screen taken once
# two hits are in the log and the video is paused.
#
#   tools/screenshotLaptop.sh [OUT.png]      (default docs/screenshot-1366x768.png)
#
# Uses the programs in ${BUILD_DIR:-build} and the helpers of the end-to-end test.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/screenshotSession.sh" tessavolant tools/make_demo_video
export E2E_SCREEN=${E2E_SCREEN:-1366x768}
out=$(realpath -m "${1:-$here/docs/screenshot-${E2E_SCREEN}.png}")
program="$build/tessavolant"
make_demo_video="$build/tools/make_demo_video"

# Where the window puts the 640 x 480 demo on this screen (app/windowGeometry.cpp):
# the pictures get the height that the controls (418 px below the video group)
# and a title bar (32 px) leave, the video group holds the views and no more.
screen_width=${E2E_SCREEN%x*} screen_height=${E2E_SCREEN#*x}
read -r scale view_width group_height < <(awk -v w="$screen_width" -v h="$screen_height" 'BEGIN {
    s = 1; across = (int((w - 30) / 2) - 5) / 640; down = (h - 32 - 418 - 35) / 480
    if (across < s) s = across; if (down < s) s = down
    pw = 640 * s; ph = 480 * s
    pw = (pw == int(pw)) ? pw : int(pw) + 1; ph = (ph == int(ph)) ? ph : int(ph) + 1
    printf "%.6f %d %d\n", s, pw + 5, 20 + ph + 5 + 10 }')
image_y=21
data_image_x=$((10 + view_width + 10 + 1))
play=(47 $((group_height + 27)))
pause=(127 $((group_height + 27)))
start_log=(57 $((group_height + 266)))
# Image pixel (X, Y) of the processed view in window coordinates.
on_data_view() {
    awk -v x="$1" -v y="$2" -v s="$scale" -v ox="$data_image_x" -v oy="$image_y" \
        'BEGIN { printf "%d %d\n", ox + x * s, oy + y * s }'
}

E2E_TIMEOUT=${E2E_TIMEOUT:-300}
e2e_start_clock
e2e_start_x_server "$work" || exit 1
"$make_demo_video" "$work/demo.avi" "$work/demo.csv" >/dev/null || exit 1
read -r cx cy < <(awk -F, 'NR == 2 { printf "%.0f %.0f\n", $2, $3 }' "$work/demo.csv")

e2e_start_program "$work" "$program" "$work/demo.avi"
e2e_wait_for_window 30 "Tessavolant 0.6b" || exit 1
e2e_say "window ${e2e_window_width}x${e2e_window_height} on a ${E2E_SCREEN} screen, pictures at scale $scale"
sleep 1
left=$((cx - 12)) top=$((cy - 11))
((left > 200)) || left=201
((top > 200)) || top=201
read -r x0 y0 < <(on_data_view "$left" "$top")
read -r x1 y1 < <(on_data_view $((cx + 13)) $((cy + 12)))
e2e_drag "$x0" "$y0" "$x1" "$y1"
e2e_click "${play[@]}"
e2e_click "${start_log[@]}"
e2e_poll 60 "two hits in the log" e2e_log_has "$work/loggfile.txt" "Skudd treffer" 2 || exit 1
e2e_click "${pause[@]}"
sleep 1
mkdir -p "$(dirname "$out")"
timeout 30 import -silent -window root "$out" || exit 1
e2e_say "saved $out"
