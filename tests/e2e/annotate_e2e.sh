#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end test of the annotation program: it runs in a private X server
# (Xvfb, no window manager) and is driven with real mouse and keyboard events
# (xdotool), as a user annotates a recording.
#
#   annotate_e2e.sh ANNOTATE REPLAY MAKE_DEMO_VIDEO SEND_CLOSE_REQUEST
#
#   1. Clicks the stone on frames 0, 10 and 20 of the demo video, stepping with
#      Right, marks frames 5 to 9 out of the plane with O and saves with
#      Ctrl+S; the file must interpolate between the clicks, carry the centre
#      of frame 0 through the frames out of the plane, and the replay must take
#      it as its truth.
#   2. Deletes a keyframe and closes the window: the question about unsaved
#      work is answered with Escape (the window stays) and then with Return
#      (saved, the program ends with exit code 0).
#   3. Goes on with the saved file, moves a keyframe and is ended by SIGTERM:
#      exit code 143, the truth file untouched, the work beside it.
#
# Every wait polls with a deadline; E2E_KEEP=1 keeps the work directory.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/x11Session.sh
. "$here/x11Session.sh"

[ $# -eq 4 ] || { echo "usage: $0 ANNOTATE REPLAY MAKE_DEMO_VIDEO SEND_CLOSE_REQUEST" >&2; exit 2; }
annotate=$(realpath "$1") replay=$(realpath "$2") make_demo_video=$3 send_close_request=$4
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (tools/setup.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tessavolant-annotate-e2e.XXXXXX")
result=1
finish() {
    e2e_kill_program
    e2e_stop_x_server
    if [ "$result" -eq 0 ] && [ "${E2E_KEEP:-0}" != 1 ]; then
        rm -rf "$work"
    else
        echo "work directory kept: $work" >&2
        [ "$result" -ne 0 ] && [ -f "$work/program.stderr" ] && cat -v "$work/program.stderr" >&2
    fi
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

fail_with_picture() {
    [ -n "${e2e_window:-}" ] && e2e_screenshot "$work/failure.png" 2>/dev/null
    e2e_fail "$@"
    exit 1
}

video="$work/demo.avi"
truth="$work/truth.csv"
title="truth.csv - tessavolant-annotate"
unsaved_title="truth.csv* - tessavolant-annotate"

# The image lies at the window's top-left corner, unscaled on this screen.
start_annotating() {
    e2e_start_program "$work" "$annotate" --truth "$truth" "$video"
    e2e_wait_for_window 30 "$title" || fail_with_picture "the annotation window did not appear"
    e2e_poll 10 "keyboard focus on the annotation window" e2e_has_focus "$e2e_window" ||
        fail_with_picture "the annotation window has no keyboard focus"
    e2e_poll 20 "stone at ($x0, $y0) in the picture" \
        e2e_area_brighter_than "3x3+$((x0 - 1))+$((y0 - 1))" 144 ||
        fail_with_picture "the first frame is not shown at the window's corner"
}

# Succeeds when the yellow ring of a keyframe passes 9 px right of X, Y.
keyframe_ring_at() {
    e2e_pixels "3x1+$(($1 + 8))+$2" | awk '$3 > 200 && $4 > 170 && $5 < 80 { found = 1 } END { exit !found }'
}

# The value of COLUMN (1-based) on the row of FRAME in the truth file.
field() {
    awk -F, -v frame="$1" -v column="$2" 'NR > 1 && $1 == frame { print $column }' "$truth"
}

# Checks every row of the saved file against the clicks: frames 0..20,
# interpolated between the keyframes 0, 10 and 20, out of the plane on 5..9
# at the centre of frame 0.
check_saved_truth() {
    awk -F, -v x0="$x0" -v y0="$y0" -v x10="$x10" -v y10="$y10" -v x20="$x20" -v y20="$y20" '
        function near(a, b) { return a - b < 0.0006 && b - a < 0.0006 }
        NR == 1 { if ($0 != "frame,centre_x,centre_y,in_plane,keyframe") { print "header: " $0; bad++ }; next }
        {
            f = $1; rows++
            if (f != NR - 2) { print "row " NR " holds frame " f; bad++ }
            if (f <= 10) { s = f / 10; ex = x0 + s * (x10 - x0); ey = y0 + s * (y10 - y0) }
            else { s = (f - 10) / 10; ex = x10 + s * (x20 - x10); ey = y10 + s * (y20 - y10) }
            plane = (f >= 5 && f <= 9) ? 0 : 1
            if (!plane) { ex = x0; ey = y0 }
            key = (f == 0 || f == 10 || f == 20) ? 1 : 0
            if (!near($2, ex) || !near($3, ey) || $4 != plane || $5 != key) {
                printf "frame %d: %s, expected %.3f,%.3f,%d,%d\n", f, $0, ex, ey, plane, key; bad++
            }
        }
        END { if (rows != 21) { print rows " rows, expected 21"; bad++ }; exit bad > 0 }' "$truth"
}

e2e_start_clock
export E2E_SCREEN=${E2E_SCREEN:-1600x1200}
e2e_start_x_server "$work" || exit 1
timeout 180 "$make_demo_video" --frames 100 "$video" "$work/demo-truth.csv" >/dev/null ||
    e2e_fail "make_demo_video failed" || exit 1
# The clicks go where the generator put the stone on frames 0, 10 and 20.
read -r x0 y0 x10 y10 x20 y20 < <(awk -F, '
    NR == 2 || NR == 12 || NR == 22 { printf "%.0f %.0f ", $2, $3 } END { print "" }' "$work/demo-truth.csv")
e2e_say "the stone is at ($x0, $y0), ($x10, $y10) and ($x20, $y20) on frames 0, 10 and 20"

# 1. Three keyframes, O, Ctrl+S.
start_annotating
e2e_click "$x0" "$y0"
e2e_poll 10 "asterisk in the title after the first click" e2e_window_shown "$unsaved_title" ||
    fail_with_picture "the click did not make unsaved work"
xdotool key --delay 20 Right Right Right Right Right o Right Right Right Right Right
e2e_click "$x10" "$y10"
xdotool key --delay 20 Next
e2e_click "$x20" "$y20"
xdotool key ctrl+s
e2e_poll 10 "title without the asterisk after Ctrl+S" e2e_window_shown "$title" ||
    fail_with_picture "Ctrl+S did not save"
check_saved_truth || fail_with_picture "the saved truth does not interpolate between the clicks"
e2e_say "saved: 21 rows that interpolate between the three clicks, 5..9 out of the plane"

# The replay takes it as its truth: the ticks that show frames 0..20 are
# measured against it.
(cd "$work" && "$replay" --select $((x0 - 10)),$((y0 - 9)),21,19 --quiet --log replay.log \
    --track track.csv --truth "$truth" "$video" >replay.out 2>replay.err) ||
    { cat "$work/replay.err" >&2; e2e_fail "the replay refused the truth"; exit 1; }
annotated=$(awk -F, 'NR > 1 && $2 - 1 <= 20 { n++ } END { print n + 0 }' "$work/track.csv")
grep -qE "annotated $annotated, stone in plane on $((annotated - 5))\$" "$work/replay.out" ||
    { cat "$work/replay.out" >&2; e2e_fail "the replay's report does not count $annotated annotated ticks"; exit 1; }
e2e_say "the replay measured $annotated ticks against the annotation"

# 2. Unsaved work and the question on closing: Escape keeps the window,
# Return saves.
xdotool key Delete
e2e_poll 10 "asterisk after Delete" e2e_window_shown "$unsaved_title" ||
    fail_with_picture "Delete did not remove the keyframe"
main_window=$e2e_window
"$send_close_request" "$main_window" || fail_with_picture "the close request could not be sent"
e2e_wait_for_window 10 "Unsaved annotation" || fail_with_picture "closing did not ask about the unsaved work"
e2e_poll 10 "keyboard focus on the question" e2e_has_focus "$e2e_window" ||
    fail_with_picture "the question has no keyboard focus"
xdotool key Escape
e2e_poll 10 "the question gone after Escape" e2e_window_gone "Unsaved annotation" ||
    fail_with_picture "Escape did not cancel"
e2e_program_running || e2e_fail "Escape on the question ended the program" || exit 1
e2e_window_shown "$unsaved_title" || fail_with_picture "the window is gone after Cancel"
"$send_close_request" "$main_window" || fail_with_picture "the close request could not be sent"
e2e_wait_for_window 10 "Unsaved annotation" || fail_with_picture "closing did not ask again"
e2e_poll 10 "keyboard focus on the question" e2e_has_focus "$e2e_window" ||
    fail_with_picture "the question has no keyboard focus"
xdotool key Return
e2e_wait_for_exit 30 || fail_with_picture "the program did not end after Save"
[ "$e2e_app_status" -eq 0 ] || e2e_fail "exit code $e2e_app_status after Save, expected 0" || exit 1
last=$(tail -n1 "$truth" | cut -d, -f1)
[ "$last" = 10 ] || e2e_fail "after deleting keyframe 20 the file ends on frame $last, not 10" || exit 1
e2e_say "closing asked; Escape kept the window, Return saved it (now frames 0..10)"

# 3. Going on with the file, then SIGTERM: the work goes beside it.
saved=$(md5sum <"$truth")
start_annotating
e2e_poll 10 "keyframe ring around ($x0, $y0)" keyframe_ring_at "$x0" "$y0" ||
    fail_with_picture "the keyframe of the file is not drawn"
e2e_click $((x0 + 20)) $((y0 + 12))
e2e_poll 10 "asterisk after moving the keyframe" e2e_window_shown "$unsaved_title" ||
    fail_with_picture "the click did not move the keyframe"
kill -TERM "$e2e_app_pid"
e2e_wait_for_exit 30 || fail_with_picture "the program did not end on SIGTERM"
[ "$e2e_app_status" -eq 143 ] || e2e_fail "exit code $e2e_app_status after SIGTERM, expected 143" || exit 1
[ "$(md5sum <"$truth")" = "$saved" ] || e2e_fail "SIGTERM changed the truth file" || exit 1
kept="$work/truth-unsaved.csv"
[ "$(awk -F, 'NR == 2 { print $2 "," $3 }' "$kept" 2>/dev/null)" = "$((x0 + 20)).000,$((y0 + 12)).000" ] ||
    e2e_fail "the unsaved work is not in $kept" || exit 1
e2e_say "SIGTERM: exit code 143, the truth file untouched, the moved keyframe in truth-unsaved.csv"

result=0
e2e_say "PASSED (annotate)"
