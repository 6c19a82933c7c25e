#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# End-to-end tests of the real program: it runs in a private X server (Xvfb, no
# window manager) and is driven with real mouse and keyboard events (xdotool),
# the way a new user works with it.
#
#   run_e2e.sh track  TESSAVOLANT MAKE_DEMO_VIDEO SEND_CLOSE_REQUEST
#       Chooses the demo video in the file dialog by typing its path, marks the
#       stone on the processed view, plays, starts the logging, waits for hits,
#       moves the focal area to and fro with its sliders, changes the shot rate
#       in its spin box and closes the window as a window manager's close button
#       does; then the program must end with exit code 0 and the log must hold
#       well-formed lines from the first to the summary.
#   run_e2e.sh scaled TESSAVOLANT MAKE_DEMO_VIDEO SEND_CLOSE_REQUEST
#       Opens a 1920 x 1080 video on a 1280 x 1024 screen, marks the stone with
#       a drag on the scaled-down processed view and waits for hits, which
#       only a region in image pixels gives. E2E_SCREENSHOT=PATH saves the
#       window, paused, once the hits come.
#   run_e2e.sh cancel TESSAVOLANT
#       Cancels the file dialog with Escape: exit code 1 and a three-line log.
#   run_e2e.sh abrupt TESSAVOLANT MAKE_DEMO_VIDEO
#       Twice opens the demo video from the command line, marks the stone, plays
#       and starts the logging; ends the first run with SIGTERM (exit code 143)
#       and the second by killing the X server (exit code 1). Both logs must
#       end with the summary and the last line.
#   run_e2e.sh dialoglost TESSAVOLANT
#       Cancels the file dialog with Escape, starts again and kills the X
#       server while the dialog is open: exit code 1, the three lines of a
#       cancelled dialog, and the first run's log kept as loggfile.txt.1.
#   run_e2e.sh openings TESSAVOLANT MAKE_DEMO_VIDEO SEND_CLOSE_REQUEST
#       Opens a video that fits the form's own layout several times. Each time
#       the first picture must lie at the top-left of both views; the stone is
#       marked by a drag the moment it does (the pointer jumps to the start and
#       presses at once), and the run must track it onto the focal area.
#
# Every wait polls with a deadline, and the whole run ends within E2E_TIMEOUT
# seconds (240). A failure prints the program's stderr and the log.
# E2E_KEEP=1 keeps the work directory (the log, the program's output, a
# screenshot before the close, and one of the moment of a failure).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/x11Session.sh
. "$here/x11Session.sh"

usage() {
    echo "usage: $0 track|scaled TESSAVOLANT MAKE_DEMO_VIDEO SEND_CLOSE_REQUEST" >&2
    echo "       $0 cancel|dialoglost TESSAVOLANT" >&2
    echo "       $0 abrupt TESSAVOLANT MAKE_DEMO_VIDEO" >&2
    echo "       $0 openings TESSAVOLANT MAKE_DEMO_VIDEO SEND_CLOSE_REQUEST" >&2
    exit 2
}

scenario=${1:-}
case "$scenario" in
    track | scaled | openings) [ $# -eq 4 ] || usage ;;
    cancel | dialoglost) [ $# -eq 2 ] || usage ;;
    abrupt) [ $# -eq 3 ] || usage ;;
    *) usage ;;
esac
program=$(realpath "$2")

for tool in Xvfb xdotool import; do
    if ! command -v "$tool" >/dev/null; then
        echo "$0: $tool is missing (tools/setup.sh installs it)" >&2
        exit 1
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tessavolant-e2e.XXXXXX")
log="$work/loggfile.txt"
result=1

finish() {
    e2e_kill_program
    e2e_stop_x_server
    if [ "$result" -ne 0 ]; then
        for file in program.stderr loggfile.txt; do
            [ -f "$work/$file" ] && { echo "--- $file" >&2; cat -v "$work/$file" >&2; }
        done
    fi
    if [ "${E2E_KEEP:-0}" = 1 ]; then
        echo "work directory kept: $work" >&2
    else
        rm -rf "$work"
    fi
}
trap finish EXIT
trap 'exit 1' INT TERM HUP

# Keeps a screenshot of the moment of a failure, where the work directory is kept.
fail_with_picture() {
    [ -n "${e2e_window:-}" ] && [ "${E2E_KEEP:-0}" = 1 ] && e2e_screenshot "$work/failure.png" 2>/dev/null
    e2e_fail "$@"
    exit 1
}

# --- log rows -----------------------------------------------------------------
# Every line that the program writes, as an extended regex of its bytes (the
# log is Latin-1: \xC5 is Å, \xE5 å, \xF8 ø). S is a time stamp.
S='[0-9]+\.[0-9]{6}'
row_shot_period="^$S: Antall ms mellom hvert skudd er $S \$"
row_opened_prefix="^$S: "$'\xC5'"pnet fil  "
row_open_failed="^$S  kunne ikke apne fil\$"
row_initialised="^$S: Initiering fullfort\$"
row_tracking="^${S}Starter tracking\$"
row_left_plane="^$S: Ut av planet\$"
row_entered_plane="^$S: Inn i planet\\. Var ute av plan i $S sekunder\$"
row_interval_starts="^$S: Skudd intervall starter\$"
row_interval_ends="^$S: Skudd intervall slutter\$"
row_hit="^$S: Skudd treffer\\. Det er -?[0-9]+ millisekunder siden forrige treff\$"
row_rate="^$S: Skuddfrekvens endret til ${S}ms og [0-9]+skudd per min\$"
row_without_tracking="^$S: Totalt skudd i tracking periode uten tracking med [0-9]+ skudd per min er -?[0-9]+ p"$'\xE5'"  $S sekunder\$"
row_with_tracking="^$S : P"$'\xE5'" denne tiden ble [0-9]+ skudd gjennomf"$'\xF8'"rt i brennpunkt med tracking p"$'\xE5'"\$"
row_ended="^$S: Programmet avsluttet\$"

stamp_of() {
    [[ $1 =~ ^([0-9]+\.[0-9]{6}) ]] && echo "${BASH_REMATCH[1]}"
}

# Checks the log of a tracked run line by line; prints what is wrong.
check_tracked_log() {
    local video=$1
    local -a lines
    local problems=0 line i n
    mapfile -t lines <"$log"
    n=${#lines[@]}
    complain() { echo "log line $(($1 + 1)): $2: $(printf '%s' "${lines[$1]:-}" | cat -v)" >&2; problems=$((problems + 1)); }

    [ "$(tail -c1 "$log" | od -An -c | tr -d ' ')" = '\n' ] || { echo "the log does not end with a newline" >&2; problems=$((problems + 1)); }
    ((n >= 9)) || { echo "the log has only $n lines" >&2; return 1; }

    [[ ${lines[0]} =~ $row_shot_period ]] && [[ ${lines[0]} == *" 600.000000 " ]] ||
        complain 0 "expected the shot period 600.000000"
    if [[ ${lines[1]} =~ $row_opened_prefix ]]; then
        [ "${lines[1]#"${BASH_REMATCH[0]}"}" = "$video " ] || complain 1 "expected the path $video and a blank"
    else
        complain 1 "expected the opened file"
    fi
    [[ ${lines[2]} =~ $row_initialised ]] || complain 2 "expected the end of initialisation"
    [ -z "${lines[3]}" ] || complain 3 "expected an empty line"

    # The body: tracking starts once, before every other event of the run.
    local tracking_at=-1 hits=0 rates=0 last_rate=100 period=600 in_plane_events=0 previous=0
    for ((i = 4; i < n - 3; i++)); do
        line=${lines[i]}
        if [[ $line =~ $row_tracking ]]; then
            ((tracking_at < 0)) || complain "$i" "tracking starts a second time"
            tracking_at=$i
        elif [[ $line =~ $row_rate ]]; then
            [[ $line =~ endret\ til\ ([0-9.]+)ms\ og\ ([0-9]+)skudd ]]
            rates=$((rates + 1))
            last_rate=${BASH_REMATCH[2]}
            [ "$last_rate" = 120 ] && [ "${BASH_REMATCH[1]}" = 500.000000 ] ||
                complain "$i" "expected only the rate that was typed (120 per minute, 500 ms)"
            period=500
        elif [[ $line =~ $row_hit ]] || [[ $line =~ $row_left_plane ]] ||
            [[ $line =~ $row_entered_plane ]] || [[ $line =~ $row_interval_starts ]] ||
            [[ $line =~ $row_interval_ends ]]; then
            ((tracking_at >= 0)) || complain "$i" "an event of the run before tracking started"
            if [[ $line =~ $row_hit ]]; then
                hits=$((hits + 1))
                [[ $line =~ Det\ er\ (-?[0-9]+)\ milli ]]
                ((BASH_REMATCH[1] >= period)) ||
                    complain "$i" "a hit less than one shot period ($period ms) after the previous one"
            fi
            [[ $line =~ $row_left_plane || $line =~ $row_entered_plane ]] && in_plane_events=$((in_plane_events + 1))
        else
            complain "$i" "not a line that the program writes while it runs"
        fi
        # Stamps never go back (rows printed in single precision may show
        # 0.000001 less than the stamp of the same millisecond).
        local stamp
        stamp=$(stamp_of "$line")
        if [ -n "$stamp" ] && awk -v a="$stamp" -v b="$previous" 'BEGIN { exit !(a < b - 0.0005) }'; then
            complain "$i" "time stamp goes back from $previous"
        fi
        [ -n "$stamp" ] && previous=$stamp
    done
    ((tracking_at >= 0)) || { echo "no \"Starter tracking\" line" >&2; problems=$((problems + 1)); }
    ((hits >= 1)) || { echo "no hit (\"Skudd treffer\") line" >&2; problems=$((problems + 1)); }
    ((rates >= 1)) || { echo "no line for the shot-rate change to 120" >&2; problems=$((problems + 1)); }

    # The summary and the last line.
    local summary=${lines[n - 3]} with=${lines[n - 2]} last=${lines[n - 1]}
    if [[ $summary =~ $row_without_tracking ]]; then
        [[ $summary =~ med\ ([0-9]+)\ skudd\ per\ min\ er\ (-?[0-9]+)\ p.\ \ ([0-9.]+)\ sekunder ]]
        local rate=${BASH_REMATCH[1]} shots=${BASH_REMATCH[2]} seconds=${BASH_REMATCH[3]}
        [ "$rate" = "$last_rate" ] || complain $((n - 3)) "expected the rate in force, $last_rate"
        # The shots that the rate would have fired over the tracking period.
        awk -v s="$shots" -v t="$seconds" -v r="$rate" 'BEGIN { e = t * r / 60; exit !(s >= e - 1.01 && s <= e + 0.01) }' ||
            complain $((n - 3)) "$shots shots do not fit $seconds s at $rate per minute"
        local start_stamp end_stamp
        start_stamp=$(stamp_of "${lines[tracking_at]}")
        end_stamp=$(stamp_of "$summary")
        awk -v d="$seconds" -v a="$start_stamp" -v b="$end_stamp" 'BEGIN { x = b - a - d; exit !(x > -0.01 && x < 0.01) }' ||
            complain $((n - 3)) "the tracking period $seconds s is not the time from $start_stamp to $end_stamp"
    else
        complain $((n - 3)) "expected the summary of shots without tracking"
    fi
    if [[ $with =~ $row_with_tracking ]]; then
        [[ $with =~ ble\ ([0-9]+)\ skudd ]]
        [ "${BASH_REMATCH[1]}" = "$hits" ] || complain $((n - 2)) "expected as many shots as hit lines ($hits)"
    else
        complain $((n - 2)) "expected the summary of shots with tracking"
    fi
    [[ $last =~ $row_ended ]] || complain $((n - 1)) "expected the end of the program as the last line"

    echo "log: $n lines, tracking started, $hits hits, $rates rate change(s), $in_plane_events plane events, summary and end"
    ((problems == 0))
}

check_cancelled_log() {
    local -a lines
    mapfile -t lines <"$log"
    local ok=1
    [ ${#lines[@]} -eq 3 ] || { echo "expected 3 log lines, found ${#lines[@]}" >&2; ok=0; }
    [[ ${lines[0]:-} =~ $row_shot_period ]] && [[ ${lines[0]} == *" 600.000000 " ]] ||
        { echo "line 1 is not the shot period of 600.000000 ms" >&2; ok=0; }
    local empty_name="${row_opened_prefix} \$"
    [[ ${lines[1]:-} =~ $empty_name ]] ||
        { echo "line 2 is not the opened-file line with an empty name (three blanks)" >&2; ok=0; }
    [[ ${lines[2]:-} =~ $row_open_failed ]] || { echo "line 3 is not the failed open" >&2; ok=0; }
    [ "$(tail -c1 "$log" | od -An -c | tr -d ' ')" = '\n' ] || { echo "the log does not end with a newline" >&2; ok=0; }
    ((ok == 1))
}

# --- the scenarios -------------------------------------------------------------

scenario_cancel() {
    e2e_start_program "$work" "$program"
    e2e_wait_for_window 30 "Select AVI" || fail_with_picture "the file dialog did not open"
    e2e_poll 10 "keyboard focus on the file dialog" e2e_has_focus "$e2e_window" ||
        fail_with_picture "the file dialog has no keyboard focus"
    xdotool key Escape
    e2e_wait_for_exit 30 || fail_with_picture "the program did not end after Escape"
    [ "$e2e_app_status" -eq 1 ] || fail_with_picture "exit code $e2e_app_status, expected 1"
    grep -q "no video was chosen" "$work/program.stderr" ||
        e2e_fail "stderr does not say that no video was chosen" || exit 1
    check_cancelled_log || e2e_fail "the log of a cancelled dialog is wrong" || exit 1
    e2e_say "log: exactly the shot period, the empty file name and the failed open"
}

scenario_dialoglost() {
    scenario_cancel "$@"
    cp "$log" "$work/first.log"
    e2e_start_program "$work" "$program"
    e2e_wait_for_window 30 "Select AVI" || fail_with_picture "the file dialog did not open again"
    e2e_stop_x_server
    e2e_say "killed the X server while the dialog is open"
    e2e_wait_for_exit 30 || e2e_fail "the program did not end without its display" || exit 1
    [ "$e2e_app_status" -eq 1 ] || e2e_fail "exit code $e2e_app_status without a display, expected 1" || exit 1
    grep -q "X11 connection broke" "$work/program.stderr" ||
        e2e_fail "the program did not end because its display was lost" || exit 1
    check_cancelled_log || e2e_fail "the log of a dialog that lost its display is wrong" || exit 1
    cmp -s "$work/first.log" "$log.1" || e2e_fail "the first run's log is not kept as loggfile.txt.1" || exit 1
    e2e_say "log: the three lines of a cancelled dialog; the run before kept as loggfile.txt.1"
}

scenario_track() {
    local make_demo_video=$3 send_close_request=$4
    mkdir -p "$work/videos"
    local video="$work/videos/demo.avi"
    timeout 180 "$make_demo_video" "$video" "$work/videos/demo.csv" >/dev/null ||
        e2e_fail "make_demo_video failed" || exit 1

    # The stone's true centre in frame 0, in image pixels.
    local cx cy
    read -r cx cy < <(awk -F, 'NR == 2 { printf "%.0f %.0f\n", $2, $3 }' "$work/videos/demo.csv")
    e2e_say "demo video made; the stone is at ($cx, $cy) in frame 0"

    # 1. Choose the video in the real file dialog: type the path, press Enter.
    e2e_start_program "$work" "$program"
    e2e_wait_for_window 30 "Select AVI" || fail_with_picture "the file dialog did not open"
    e2e_poll 10 "keyboard focus on the file dialog" e2e_has_focus "$e2e_window" ||
        fail_with_picture "the file dialog has no keyboard focus"
    # The pointer rests on the dialog (away from where the completer's popup
    # opens below the file-name line), as a user's would.
    # shellcheck disable=SC2046
    xdotool mousemove $(e2e_screen $((e2e_window_width / 2)) $((e2e_window_height / 3)))
    xdotool type --delay 15 "$video"
    # The completer's popup is open now, with no entry chosen in it: Enter goes
    # through it to the line edit and accepts the dialog. Should a popup ever
    # take the first Enter only to close itself, a second one accepts.
    xdotool key Return
    if ! e2e_poll 5 "closing of the dialog after Enter" e2e_window_gone "Select AVI"; then
        e2e_say "the dialog stayed open after one Enter; pressing Enter again"
        xdotool key Return
        e2e_poll 10 "closing of the dialog after the second Enter" e2e_window_gone "Select AVI" ||
            fail_with_picture "the dialog does not accept the typed path"
    fi
    e2e_say "the dialog accepted the path"

    e2e_wait_for_window 30 "Tessavolant 0.6b" || fail_with_picture "the main window did not appear"
    [ "${e2e_window_width}x${e2e_window_height}" = "$e2e_window_size" ] ||
        fail_with_picture "the main window is ${e2e_window_width}x${e2e_window_height}, expected $e2e_window_size"
    e2e_poll 10 "end of initialisation in the log" e2e_log_has "$log" "$row_initialised" ||
        fail_with_picture "the program did not finish starting"
    # The user starts once the window shows the video: both views show their
    # picture from the top-left, and frame 0 in mainView has the stone (bright)
    # where the ground truth says.
    e2e_wait_for_pictures 20 640 480 $((e2e_image_x - 1)) $((e2e_image_y - 1)) \
        $((e2e_image_x - 1 + e2e_data_view_dx)) $((e2e_image_y - 1)) ||
        fail_with_picture "the first pictures are not where they belong"
    local sx=$((e2e_image_x + cx)) sy=$((e2e_image_y + cy))
    e2e_poll 20 "stone in the left view at ($sx, $sy)" \
        e2e_area_brighter_than "5x3+$((sx - 2))+$((sy - 1))" 144 ||
        fail_with_picture "the first frame is not shown where expected"
    e2e_say "the first frame is shown, the stone at ($sx, $sy) in the window"

    # 2. Mark the stone on the processed view (dataView). The rectangle holds
    # the stone (10 x 8 px) with a margin, but stays inside the region of
    # interest (200, 200 and on) that the program thresholds: outside it the
    # processed view is raw speckle, which pulls mean shift away from the stone.
    local left=$((cx - 10)) top=$((cy - 9)) right=$((cx + 11)) bottom=$((cy + 10))
    ((left > 200)) || left=201
    ((top > 200)) || top=201
    local dx=$((e2e_image_x + e2e_data_view_dx)) dy=$e2e_image_y
    e2e_drag $((dx + left)) $((dy + top)) $((dx + right)) $((dy + bottom))
    e2e_say "dragged from image ($left, $top) to ($right, $bottom) on the processed view"

    # 3. Play, then start the logging.
    e2e_click "${e2e_play_button[@]}"
    e2e_click "${e2e_start_log_button[@]}"
    e2e_say "clicked Play and Start"
    e2e_poll 30 "\"Starter tracking\" in the log" e2e_log_has "$log" "$row_tracking" ||
        fail_with_picture "tracking did not start"
    e2e_say "tracking started"
    e2e_poll 30 "hit in the log" e2e_log_has "$log" "$row_hit" ||
        fail_with_picture "no hit"
    e2e_say "first hit logged"

    # 4. Move the focal area with its sliders a bit and back; the red (or, on a
    # hit, green) focal rectangle in the left view follows the handle.
    local -a sx_slider=("${e2e_focal_x_slider[@]}") sy_slider=("${e2e_focal_y_slider[@]}")
    local hx hy row column shift=40 moved
    hx=$(e2e_slider_handle_x "${sx_slider[@]}" 200)
    hy=$((sx_slider[1] + sx_slider[3] / 2))
    moved=$((200 + shift * sx_slider[4] / (sx_slider[2] - 13)))
    row="558x1+$e2e_image_x+$((e2e_image_y + 210))"
    focal_left_near() { local at; at=$(e2e_first_focal_pixel "$row"); ((at >= $1 - 4 && at <= $1 + 2)); }
    e2e_poll 10 "focal area at x 200" focal_left_near 200 || fail_with_picture "focal area not at its start"
    # shellcheck disable=SC2046
    xdotool mousemove $(e2e_screen "$hx" "$hy") mousedown 1 \
        mousemove $(e2e_screen $((hx + shift / 2)) "$hy") mousemove $(e2e_screen $((hx + shift)) "$hy")
    e2e_poll 10 "focal area at x $moved while the X handle is held" focal_left_near "$moved" ||
        { xdotool mouseup 1; fail_with_picture "the X slider did not move the focal area"; }
    # shellcheck disable=SC2046
    xdotool mousemove $(e2e_screen $((hx + shift / 2)) "$hy") mousemove $(e2e_screen "$hx" "$hy") mouseup 1
    e2e_poll 10 "focal area back at x 200" focal_left_near 200 ||
        fail_with_picture "the X slider did not move the focal area back"
    e2e_say "focal X slider: moved to $moved and back to 200"

    hx=$(e2e_slider_handle_x "${sy_slider[@]}" 200)
    hy=$((sy_slider[1] + sy_slider[3] / 2))
    moved=$((200 + shift * sy_slider[4] / (sy_slider[2] - 13)))
    column="1x480+$((e2e_image_x + 210))+$e2e_image_y"
    focal_top_near() { local at; at=$(e2e_first_focal_pixel "$column"); ((at >= $1 - 4 && at <= $1 + 2)); }
    # shellcheck disable=SC2046
    xdotool mousemove $(e2e_screen "$hx" "$hy") mousedown 1 \
        mousemove $(e2e_screen $((hx + shift / 2)) "$hy") mousemove $(e2e_screen $((hx + shift)) "$hy")
    e2e_poll 10 "focal area at y $moved while the Y handle is held" focal_top_near "$moved" ||
        { xdotool mouseup 1; fail_with_picture "the Y slider did not move the focal area"; }
    # shellcheck disable=SC2046
    xdotool mousemove $(e2e_screen $((hx + shift / 2)) "$hy") mousemove $(e2e_screen "$hx" "$hy") mouseup 1
    e2e_poll 10 "focal area back at y 200" focal_top_near 200 ||
        fail_with_picture "the Y slider did not move the focal area back"
    e2e_say "focal Y slider: moved to $moved and back to 200"

    # 5. Change the shot rate: click into the spin box, select all, type, Enter.
    # "1" and "12" are out of range and change nothing; "120" changes the rate
    # at once (keyboard tracking), and Enter makes Qt's spin box emit the same
    # value once more, so the log gets one or two identical lines, no other.
    e2e_click "${e2e_shot_rate_text[@]}"
    xdotool key ctrl+a
    xdotool type --delay 15 120
    xdotool key Return
    local rate_line="^$S: Skuddfrekvens endret til 500\\.000000ms og 120skudd per min\$"
    e2e_poll 10 "rate change to 120 in the log" e2e_log_has "$log" "$rate_line" ||
        fail_with_picture "the shot rate did not change"
    e2e_say "shot rate changed to 120 per minute"

    # 6. Close the window as a window manager's close button does.
    [ "${E2E_KEEP:-0}" = 1 ] && e2e_screenshot "$work/before-close.png"
    "$send_close_request" "$e2e_window" || fail_with_picture "the close request could not be sent"
    e2e_say "sent WM_DELETE_WINDOW to window $e2e_window"
    e2e_wait_for_exit 30 || fail_with_picture "the program did not end after the close request"
    [ "$e2e_app_status" -eq 0 ] || e2e_fail "exit code $e2e_app_status, expected 0" || exit 1

    check_tracked_log "$video" || e2e_fail "the log is wrong" || exit 1
}

# A 1920 x 1080 video on a 1280 x 1024 screen: both views show it scaled down
# to 620 px across. Marks the stone on the scaled processed view and waits for
# hits: only a region taken in image pixels, around the stone at (217, 214),
# puts the tracked centre on the focal area at (200..220, 200..220); the same
# drag read as screen pixels would mark speckle near (70, 70).
scenario_scaled() {
    local make_demo_video=$3 send_close_request=$4
    local video="$work/large.avi"
    timeout 180 "$make_demo_video" --size 1920x1080 --frames 100 "$video" "$work/large.csv" >/dev/null ||
        e2e_fail "make_demo_video failed" || exit 1
    e2e_start_program "$work" "$program" "$video"
    e2e_wait_for_window 30 "Tessavolant 0.6b" || fail_with_picture "the main window did not appear"
    [ "${e2e_window_width}x${e2e_window_height}" = 1280x918 ] && [ "$e2e_window_x" -ge 0 ] &&
        [ "$e2e_window_y" -ge 0 ] || fail_with_picture "the window does not fit the screen"
    e2e_poll 10 "end of initialisation in the log" e2e_log_has "$log" "$row_initialised" ||
        fail_with_picture "the program did not finish starting"

    # dataView is 625 x 354 at (645, 20); its 623 x 352 viewport shows the
    # 1920 x 1080 image at 620 / 1920 (620 x 349 on the screen) from its
    # top-left corner, inside the view's 1 px frame.
    e2e_wait_for_pictures 20 620 349 10 20 645 20 ||
        fail_with_picture "the scaled pictures are not where they belong"
    local scale="620 / 1920"
    at() { awk -v v="$1" -v o="$2" "BEGIN { printf \"%d\", o + v * $scale + 0.5 }"; }
    local x0 y0 x1 y1
    x0=$(at 205 646) y0=$(at 204 21) x1=$(at 232 646) y1=$(at 226 21)
    e2e_drag "$x0" "$y0" "$x1" "$y1"
    e2e_say "dragged from ($x0, $y0) to ($x1, $y1) in the window, image (205, 204) to (232, 226)"
    e2e_click "${e2e_play_button_scaled[@]}"
    e2e_click "${e2e_start_log_button_scaled[@]}"
    e2e_poll 60 "hit in the log" e2e_log_has "$log" "$row_hit" ||
        fail_with_picture "no hit: the marked region is not the stone's"
    e2e_say "the stone marked on the scaled view is tracked onto the focal area"
    [ -n "${E2E_SCREENSHOT:-}" ] && e2e_click "${e2e_pause_button_scaled[@]}" &&
        e2e_poll 5 "paused view" e2e_view_still "600x340+12+22" && e2e_screenshot "$E2E_SCREENSHOT"

    "$send_close_request" "$e2e_window" || fail_with_picture "the close request could not be sent"
    e2e_wait_for_exit 30 || fail_with_picture "the program did not end after the close request"
    [ "$e2e_app_status" -eq 0 ] || e2e_fail "exit code $e2e_app_status, expected 0" || exit 1
}

# Checks that a log cut short from outside still ends the way a closed window
# ends it: tracking started, then the summary and the last line.
check_abrupt_log() {
    local -a lines
    mapfile -t lines <"$log"
    local n=${#lines[@]} ok=1
    e2e_log_has "$log" "$row_tracking" || { echo "no \"Starter tracking\" line" >&2; ok=0; }
    ((n >= 3)) || { echo "the log has only $n lines" >&2; return 1; }
    [[ ${lines[n - 3]} =~ $row_without_tracking ]] || { echo "no summary of shots without tracking" >&2; ok=0; }
    [[ ${lines[n - 2]} =~ $row_with_tracking ]] || { echo "no summary of shots with tracking" >&2; ok=0; }
    [[ ${lines[n - 1]} =~ $row_ended ]] || { echo "the last line is not the end of the program" >&2; ok=0; }
    [ "$(tail -c1 "$log" | od -An -c | tr -d ' ')" = '\n' ] || { echo "the log does not end with a newline" >&2; ok=0; }
    ((ok == 1)) && e2e_say "log: tracking, the summary and the last line, $n lines"
}

# Opens VIDEO from the command line, marks the stone at (CX, CY), plays and
# starts the logging; returns once tracking is in the log.
start_tracked_run() {
    local video=$1 cx=$2 cy=$3
    rm -f "$log"
    e2e_start_program "$work" "$program" "$video"
    e2e_wait_for_window 30 "Tessavolant 0.6b" || fail_with_picture "the main window did not appear"
    e2e_poll 10 "end of initialisation in the log" e2e_log_has "$log" "$row_initialised" ||
        fail_with_picture "the program did not finish starting"
    e2e_wait_for_pictures 20 640 480 $((e2e_image_x - 1)) $((e2e_image_y - 1)) \
        $((e2e_image_x - 1 + e2e_data_view_dx)) $((e2e_image_y - 1)) ||
        fail_with_picture "the first pictures are not where they belong"
    local sx=$((e2e_image_x + cx)) sy=$((e2e_image_y + cy))
    e2e_poll 20 "stone in the left view" e2e_area_brighter_than "5x3+$((sx - 2))+$((sy - 1))" 144 ||
        fail_with_picture "the first frame is not shown where expected"
    local dx=$((e2e_image_x + e2e_data_view_dx)) dy=$e2e_image_y
    e2e_drag $((dx + cx - 10)) $((dy + cy - 9)) $((dx + cx + 11)) $((dy + cy + 10))
    e2e_click "${e2e_play_button[@]}"
    e2e_click "${e2e_start_log_button[@]}"
    e2e_poll 30 "\"Starter tracking\" in the log" e2e_log_has "$log" "$row_tracking" ||
        fail_with_picture "tracking did not start"
    e2e_say "tracking started"
}

scenario_abrupt() {
    local make_demo_video=$3
    mkdir -p "$work/videos"
    local video="$work/videos/demo.avi" cx cy
    timeout 180 "$make_demo_video" "$video" "$work/videos/demo.csv" >/dev/null ||
        e2e_fail "make_demo_video failed" || exit 1
    read -r cx cy < <(awk -F, 'NR == 2 { printf "%.0f %.0f\n", $2, $3 }' "$work/videos/demo.csv")

    start_tracked_run "$video" "$cx" "$cy"
    kill -TERM "$e2e_app_pid"
    e2e_wait_for_exit 30 || fail_with_picture "the program did not end on SIGTERM"
    [ "$e2e_app_status" -eq 143 ] || e2e_fail "exit code $e2e_app_status after SIGTERM, expected 143" || exit 1
    check_abrupt_log || e2e_fail "the log of a run ended by SIGTERM is wrong" || exit 1

    start_tracked_run "$video" "$cx" "$cy"
    e2e_stop_x_server
    e2e_say "killed the X server"
    e2e_wait_for_exit 30 || e2e_fail "the program did not end without its display" || exit 1
    [ "$e2e_app_status" -eq 1 ] || e2e_fail "exit code $e2e_app_status without a display, expected 1" || exit 1
    grep -q "X11 connection broke" "$work/program.stderr" ||
        e2e_fail "the program did not end because its display was lost" || exit 1
    check_abrupt_log || e2e_fail "the log of a run that lost its display is wrong" || exit 1
}

# A video that fits the form's own layout, opened again and again: the place
# of the first picture and a drag made the moment it shows must not depend on
# how start-up happens to be timed (a busy machine changes that timing).
scenario_openings() {
    local make_demo_video=$3 send_close_request=$4 openings=${E2E_OPENINGS:-4}
    local video="$work/fits.avi" cx cy
    timeout 180 "$make_demo_video" --size 544x464 --frames 150 "$video" "$work/fits.csv" >/dev/null ||
        e2e_fail "make_demo_video failed" || exit 1
    read -r cx cy < <(awk -F, 'NR == 2 { printf "%.0f %.0f\n", $2, $3 }' "$work/fits.csv")
    local main_x=${e2e_form_main_view[0]} main_y=${e2e_form_main_view[1]}
    local data_x=${e2e_form_data_view[0]} data_y=${e2e_form_data_view[1]}
    local opening
    for ((opening = 1; opening <= openings; opening++)); do
        rm -f "$log"
        e2e_start_program "$work" "$program" "$video"
        e2e_wait_for_window 30 "Tessavolant 0.6b" || fail_with_picture "the main window did not appear"
        e2e_wait_for_pictures 20 544 464 "$main_x" "$main_y" "$data_x" "$data_y" ||
            fail_with_picture "opening $opening: the first pictures are not where they belong"
        # At once: the pointer jumps to the corner and the button goes down.
        local dx=$((data_x + 1)) dy=$((data_y + 1))
        e2e_drag $((dx + cx - 10)) $((dy + cy - 9)) $((dx + cx + 11)) $((dy + cy + 10))
        e2e_click "${e2e_play_button_scaled[@]}"
        e2e_click "${e2e_start_log_button_scaled[@]}"
        # A hit needs the tracked centre on the focal area (200..220), which
        # only the region around the stone at ($cx, $cy) gives.
        e2e_poll 30 "\"Starter tracking\" in the log" e2e_log_has "$log" "$row_tracking" ||
            fail_with_picture "opening $opening: the drag made at once marked nothing"
        e2e_poll 30 "hit in the log" e2e_log_has "$log" "$row_hit" ||
            fail_with_picture "opening $opening: the region marked is not the stone's"
        "$send_close_request" "$e2e_window" || fail_with_picture "the close request could not be sent"
        e2e_wait_for_exit 30 || fail_with_picture "the program did not end after the close request"
        [ "$e2e_app_status" -eq 0 ] || e2e_fail "exit code $e2e_app_status, expected 0" || exit 1
        e2e_say "opening $opening: pictures in place, the stone marked at once and tracked"
    done
}

# The demo video fits unscaled on this screen; the scaled and openings
# scenarios keep the screen of 1280 x 1024.
case "$scenario" in track | abrupt) export E2E_SCREEN=${E2E_SCREEN:-1600x1200} ;; esac
e2e_start_clock
e2e_start_x_server "$work" || exit 1
"scenario_$scenario" "$@"
result=0
e2e_say "PASSED ($scenario)"
