#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the README's picture of the program tracking the demo video: the real
# program in a private X server, the stone marked with a real mouse drag, Play
# and Start clicked, and the window taken, paused, at a moment when the tracking
# rectangle (purple) and the focal area (red, or green on a hit) both show in
# the left view and the histogram is drawn.
#
#   tools/screenshot.sh [OUT.png]      (default docs/screenshot.png)
#
# Uses the programs in ${BUILD_DIR:-build} (tools/setup.sh builds them) and the
# helpers of the end-to-end test. The good moment comes at the deepest point of
# a breath; should the tracker lose the stone before one was caught, the
# program is started afresh (three tries).
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/screenshotSession.sh" tessavolant tools/make_demo_video tests/send_close_request
out=$(realpath -m "${1:-$here/docs/screenshot.png}")
program="$build/tessavolant"
make_demo_video="$build/tools/make_demo_video"
send_close_request="$build/tests/send_close_request"

# Both rectangles in a picture of the left view around the focal area ("x y r
# g b" lines on stdin): enough of the purple tracking rectangle, which the
# stone, breathing in, has taken down to the lower edge of the focal area, so
# that the focal area hides little of it.
both_rectangles_in() {
    awk '
        {
            y = $2; r = $3; g = $4; b = $5
            if (r > 110 && r < 190 && g < 50 && b > 60 && b < 140) {
                purple++
                if (purpleTop == "" || y < purpleTop) purpleTop = y
            }
            if ((r > 170 && g < 90 && b < 90) || (g > 170 && r < 90 && b < 90)) {
                focal++
                if (y > focalBottom) focalBottom = y
            }
        }
        END { exit !(purple >= 150 && focal >= 60 && purpleTop >= focalBottom - 5) }'
}

around_focus="120x120+$((e2e_image_x + 150))+$((e2e_image_y + 150))"

# Watches the view; on a good frame pauses the video (the paused view keeps
# that frame with its rectangles) and takes the window. If the frame moved on
# before the pause took hold, plays on and watches again.
paused_on_good_frame() {
    e2e_pixels "$around_focus" | both_rectangles_in || return 1
    e2e_click "${e2e_pause_button[@]}"
    e2e_poll 5 "paused view" e2e_view_still "$around_focus" || return 1
    e2e_screenshot "$work/candidate.png" || return 1
    if convert "$work/candidate.png" -crop "$around_focus" -depth 8 txt:- 2>/dev/null |
        awk -F'[(),: ]+' 'NR > 1 { print $1, $2, $3, $4, $5 }' | both_rectangles_in; then
        return 0
    fi
    e2e_click "${e2e_play_button[@]}"
    return 1
}

# One run of the program: mark the stone, play, log, wait for the picture.
take_picture() {
    e2e_start_program "$work" "$program" "$work/demo.avi"
    e2e_wait_for_window 30 "Tessavolant 0.6b" || return 1
    local sx=$((e2e_image_x + cx)) sy=$((e2e_image_y + cy))
    e2e_poll 20 "first frame" e2e_area_brighter_than "5x3+$((sx - 2))+$((sy - 1))" 144 || return 1

    # Mark the stone inside the region of interest, as the end-to-end test does.
    local left=$((cx - 10)) top=$((cy - 9)) dx=$((e2e_image_x + e2e_data_view_dx))
    ((left > 200)) || left=201
    ((top > 200)) || top=201
    e2e_drag $((dx + left)) $((e2e_image_y + top)) $((dx + cx + 11)) $((e2e_image_y + cy + 10))
    e2e_click "${e2e_play_button[@]}"
    e2e_click "${e2e_start_log_button[@]}"
    e2e_poll 30 "two hits in the log" e2e_log_has "$work/loggfile.txt" "Skudd treffer" 2 || return 1
    e2e_poll 30 "frame with both rectangles in view" paused_on_good_frame
}

close_program() {
    if "$send_close_request" "$e2e_window"; then
        e2e_wait_for_exit 30 && return 0
    fi
    e2e_kill_program
}

# The demo video shown unscaled, as the layout facts of the helpers assume.
export E2E_SCREEN=${E2E_SCREEN:-1600x1200}
E2E_TIMEOUT=${E2E_TIMEOUT:-400}
e2e_start_clock
e2e_start_x_server "$work" || exit 1
"$make_demo_video" "$work/demo.avi" "$work/demo.csv" >/dev/null || exit 1
read -r cx cy < <(awk -F, 'NR == 2 { printf "%.0f %.0f\n", $2, $3 }' "$work/demo.csv")

for try in 1 2 3; do
    if take_picture; then
        mkdir -p "$(dirname "$out")"
        cp "$work/candidate.png" "$out"
        e2e_say "saved $out"
        close_program
        exit 0
    fi
    e2e_say "try $try found no good moment; starting again"
    close_program
done
exit 1
