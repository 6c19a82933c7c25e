#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the README's picture of the annotation program: the real program in a
# private X server on the demo video, the stone clicked on frames 0, 24 and 44
# with real mouse clicks and keys, frame 0 labelled in focus, and the window
# taken on frame 24, a keyframe between the other two.
#
#   tools/screenshotAnnotate.sh [OUT.png]      (default docs/annotate.png)
#
# Uses the programs in ${BUILD_DIR:-build} (tools/setup.sh builds them) and the
# helpers of the end-to-end tests.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/tools/screenshotSession.sh" tessavolant-annotate tools/make_demo_video
out=$(realpath -m "${1:-$here/docs/annotate.png}")
program="$build/tessavolant-annotate"
make_demo_video="$build/tools/make_demo_video"

# The yellow ring of a keyframe passes 9 px right of X, Y.
keyframe_ring_at() {
    e2e_pixels "3x1+$(($1 + 8))+$2" | awk '$3 > 200 && $4 > 170 && $5 < 80 { found = 1 } END { exit !found }'
}

export E2E_SCREEN=${E2E_SCREEN:-1600x1200}
e2e_start_clock
e2e_start_x_server "$work" || exit 1
"$make_demo_video" --frames 100 "$work/demo.avi" "$work/demo.csv" >/dev/null || exit 1
# Where the generator put the stone on frames 0, 24 and 44.
read -r x0 y0 x24 y24 x44 y44 < <(awk -F, '
    NR == 2 || NR == 26 || NR == 46 { printf "%.0f %.0f ", $2, $3 } END { print "" }' "$work/demo.csv")

e2e_start_program "$work" "$program" --truth "$work/demo-truth.csv" "$work/demo.avi"
e2e_wait_for_window 30 "demo-truth.csv - tessavolant-annotate" || exit 1
e2e_poll 10 "keyboard focus" e2e_has_focus "$e2e_window" || exit 1
e2e_poll 20 "first frame" e2e_area_brighter_than "3x3+$((x0 - 1))+$((y0 - 1))" 144 || exit 1
e2e_click "$x0" "$y0"
xdotool key f Next Next Right Right Right Right
e2e_click "$x24" "$y24"
xdotool key Next Next
e2e_click "$x44" "$y44"
xdotool key Prior Prior
e2e_poll 10 "keyframe ring on frame 24" keyframe_ring_at "$x24" "$y24" || exit 1
mkdir -p "$(dirname "$out")"
e2e_screenshot "$out" || exit 1
e2e_say "saved $out"
