# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash disable=SC2034
# Helpers for driving the real Tessavolant program in a private X server with
# real input events (XTEST through xdotool). Sourced by tests/e2e/run_e2e.sh and
# tools/screenshot.sh; needs bash 5, Xvfb, xdotool and ImageMagick's `import`.
#
# Every wait polls a condition in short steps and gives up at a deadline, so
# nothing here can hang: a helper that runs out of time reports what it waited
# for and returns non-zero.
#
# Layout facts used below (Qt 6, Fusion style, DejaVu fonts, no window manager),
# measured on screenshots; all are offsets from the main window's top-left.
# They hold for the 640 x 480 demo video on a screen wide enough to show it
# unscaled (E2E_SCREEN=1600x1200); on a narrower one both views scale it down.
#   - The two video views are 645 x 485 with a 1 px frame, side by side 10 px
#     apart; each shows the 640 x 480 image from the top-left of its 643 x 483
#     viewport, so image pixel (0, 0) lies 1 px right of and below the view's
#     corner: mainView (10, 20) -> image at (11, 21), dataView (665, 20) ->
#     image at (666, 21). The window is 1320 x 933: the Video group grew to
#     515 px to hold them.
#   - A video that fits the form's own layout (up to 555 x 475) keeps the
#     form's views: mainView at (10, 20), dataView at (570, 20), Play at
#     (47, 527) and Start at (57, 766).
#   - "Movie Controls" sits right under the Video group (at y = 521), so Play,
#     at (10, 10) in it, spans (10..84, 531..553), Pause (90..164, ...).
#   - The "Simulator" group sits at (0, 740): Start spans (20..94, 770..792),
#     the shot-rate spin box (180..221, 770..791) with its arrows at the right,
#     the focal-position sliders (10, 840) and (10, 880), both 521 x 21.
#   - A slider handle is 13 px wide: value v of 0..max has its centre at
#     x = sliderX + 6 + v * (521 - 13) / max (+ 0.5).

e2e_image_x=11          # image pixel (0, 0) in mainView
e2e_image_y=21
e2e_data_view_dx=655    # dataView shows its image 655 px right of mainView's
e2e_window_size=1320x933
e2e_play_button=(47 542)
e2e_pause_button=(127 542)
e2e_start_log_button=(57 781)
e2e_shot_rate_text=(192 781)   # the spin box's text, left of its arrows
e2e_focal_x_slider=(10 840 521 21 620)   # x y width height maximum
e2e_focal_y_slider=(10 880 521 21 460)
# The form's own views, and the same buttons when the Video group keeps its
# 500 px (a video that fits the form, or a scaled one).
e2e_form_main_view=(10 20)
e2e_form_data_view=(570 20)
e2e_play_button_scaled=(47 527)
e2e_pause_button_scaled=(127 527)
e2e_start_log_button_scaled=(57 766)

export LC_ALL=C

e2e_started_ms=0
e2e_overall_deadline_ms=0

e2e_now_ms() {
    local t=${EPOCHREALTIME/./}
    echo $((10#$t / 1000))
}

# Prints a progress line with the seconds since e2e_start_clock.
e2e_say() {
    local ms=$(($(e2e_now_ms) - e2e_started_ms))
    printf '[%3d.%01ds] %s\n' $((ms / 1000)) $((ms % 1000 / 100)) "$*"
}

# Starts the clock of the progress lines and the overall deadline: no wait runs
# past E2E_TIMEOUT seconds (240) from here, whatever its own limit, so that a
# run always ends, and cleans up after itself, within CTest's time limit.
e2e_start_clock() {
    e2e_started_ms=$(e2e_now_ms)
    e2e_overall_deadline_ms=$((e2e_started_ms + ${E2E_TIMEOUT:-240} * 1000))
}

e2e_fail() {
    e2e_say "FAILED: $*" >&2
    return 1
}

# e2e_poll SECONDS DESCRIPTION COMMAND [ARGS...]: runs COMMAND every 50 ms until
# it succeeds; fails with DESCRIPTION once SECONDS have passed.
e2e_poll() {
    local seconds=$1 description=$2
    shift 2
    local deadline=$(($(e2e_now_ms) + seconds * 1000)) limit="within ${seconds}s"
    if ((e2e_overall_deadline_ms > 0 && deadline > e2e_overall_deadline_ms)); then
        deadline=$e2e_overall_deadline_ms
        limit="before the overall time limit (E2E_TIMEOUT=${E2E_TIMEOUT:-240}s)"
    fi
    while ! "$@"; do
        if (($(e2e_now_ms) > deadline)); then
            e2e_fail "no $description $limit"
            return 1
        fi
        sleep 0.05
    done
}

# --- the X server --------------------------------------------------------------

e2e_xvfb_pid=""

# Starts a private Xvfb of E2E_SCREEN (1280x1024) pixels on a free display
# and exports DISPLAY. -noreset keeps
# the server from resetting whenever its last client (say, one xdotool call)
# disconnects, which would refuse connections for a moment.
e2e_start_x_server() {
    local directory=$1
    local number_file="$directory/display-number"
    : >"$number_file"
    Xvfb -displayfd 3 -screen 0 "${E2E_SCREEN:-1280x1024}x24" -nolisten tcp -noreset \
        3>"$number_file" >"$directory/xvfb.log" 2>&1 &
    e2e_xvfb_pid=$!
    e2e_poll 20 "X server" test -s "$number_file" || return 1
    DISPLAY=":$(head -n1 "$number_file")"
    export DISPLAY
    unset WAYLAND_DISPLAY XAUTHORITY
    e2e_say "X server $DISPLAY is up (Xvfb pid $e2e_xvfb_pid)"
}

e2e_stop_x_server() {
    if [ -n "$e2e_xvfb_pid" ]; then
        kill "$e2e_xvfb_pid" 2>/dev/null || true
        wait "$e2e_xvfb_pid" 2>/dev/null || true
        e2e_xvfb_pid=""
    fi
}

# --- the program ---------------------------------------------------------------

e2e_app_pid=""
e2e_app_status=""

# e2e_start_program DIRECTORY PROGRAM [ARGS...]: runs the program with
# DIRECTORY as its working directory (the log goes there; E2E_WORKING_DIRECTORY
# names another one) and as its home, so that no setting of a previous run
# (such as the file dialog's last folder) is seen: the program meets it as on a
# new user's first start. Its output goes to DIRECTORY/program.stdout and
# DIRECTORY/program.stderr.
e2e_start_program() {
    local directory=$1
    shift
    mkdir -p "$directory/home" "$directory/runtime"
    chmod 700 "$directory/runtime"
    (
        cd "${E2E_WORKING_DIRECTORY:-$directory}" || exit 127
        exec env -u QT_STYLE_OVERRIDE -u QT_QPA_PLATFORMTHEME -u QT_SCALE_FACTOR \
            -u QT_SCREEN_SCALE_FACTORS -u QT_FONT_DPI -u XDG_CURRENT_DESKTOP \
            -u DESKTOP_SESSION -u QT_ENABLE_HIGHDPI_SCALING \
            QT_QPA_PLATFORM=xcb HOME="$directory/home" \
            XDG_CONFIG_HOME="$directory/home/.config" XDG_RUNTIME_DIR="$directory/runtime" \
            "$@" >"$directory/program.stdout" 2>"$directory/program.stderr"
    ) &
    e2e_app_pid=$!
    e2e_app_status=""
    e2e_say "started $* (pid $e2e_app_pid)"
}

e2e_program_running() {
    kill -0 "$e2e_app_pid" 2>/dev/null
}

e2e_program_ended() {
    ! e2e_program_running
}

# Waits up to SECONDS for the program to end by itself and sets e2e_app_status.
e2e_wait_for_exit() {
    local seconds=$1
    e2e_poll "$seconds" "end of the program" e2e_program_ended || return 1
    local status=0
    wait "$e2e_app_pid" || status=$?
    e2e_app_status=$status
    e2e_say "program ended with exit code $status"
}

# Ends the program if it still runs (only after a failure).
e2e_kill_program() {
    if [ -n "$e2e_app_pid" ] && e2e_program_running; then
        kill "$e2e_app_pid" 2>/dev/null || true
        wait "$e2e_app_pid" 2>/dev/null || true
    fi
}

# --- windows and pixels --------------------------------------------------------

# Prints the id of the visible top-level window whose title is exactly TITLE.
e2e_find_window() {
    local title=$1 pattern
    pattern="^$(printf '%s' "$title" | sed 's/[][\.*^$+?(){}|]/\\&/g')\$"
    xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -n1
}

e2e_window_shown() {
    [ -n "$(e2e_find_window "$1")" ]
}

e2e_window_gone() {
    [ -z "$(e2e_find_window "$1")" ]
}

# Succeeds when WINDOW has the keyboard focus: the program has activated it
# and typed keys reach it (without a window manager Qt sets the focus itself).
e2e_has_focus() {
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]
}

# e2e_wait_for_window SECONDS TITLE: waits until the window is shown and sets
# e2e_window (its id) and e2e_window_x / e2e_window_y (its top-left corner on
# the screen, to which every position inside the window is added).
e2e_wait_for_window() {
    local seconds=$1 title=$2
    e2e_poll "$seconds" "window \"$title\"" e2e_window_shown "$title" || return 1
    e2e_window=$(e2e_find_window "$title")
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$e2e_window")"
    e2e_window_x=$X
    e2e_window_y=$Y
    e2e_window_width=$WIDTH
    e2e_window_height=$HEIGHT
    e2e_say "window \"$title\" is shown: id $e2e_window, ${WIDTH}x${HEIGHT} at ($X, $Y)"
}

# Prints "x y r g b" for every pixel of a WxH+X+Y area of e2e_window, x and y
# counted from the area's corner. The area is taken from the screen, which is
# twice as fast as asking for the window and shows the same pixels when nothing
# covers the window.
e2e_pixels() {
    local size=${1%%+*} offset=${1#*+}
    local x=$((e2e_window_x + ${offset%%+*})) y=$((e2e_window_y + ${offset#*+}))
    timeout 30 import -silent -window root -crop "$size+$x+$y" -depth 8 txt:- 2>/dev/null |
        awk -F'[(),: ]+' 'NR > 1 { print $1, $2, $3, $4, $5 }'
}

# Succeeds when every pixel of the area is at least as bright as LEVEL (grey).
e2e_area_brighter_than() {
    local area=$1 level=$2
    e2e_pixels "$area" | awk -v level="$level" '
        { n++; if ($3 < level || $4 < level || $5 < level) dark++ }
        END { exit !(n > 0 && dark == 0) }'
}

# Prints the offset, along a one-pixel line of the window, of the first pixel of
# the focal area's outline: pure red, or pure green on a hit. Grey speckle and
# the purple tracking rectangle do not count.
e2e_first_focal_pixel() {
    e2e_pixels "$1" | awk '
        (($3 > 170 && $4 < 90 && $5 < 90) || ($4 > 170 && $3 < 90 && $5 < 90)) {
            print ($1 > $2 ? $1 : $2); found = 1; exit
        }
        END { if (!found) print -1 }'
}

# Prints the first and the last offset along a one-pixel line of the window at
# which the picture shows: a pixel darker than the views' white background.
# "-1 -1" when there is none.
e2e_picture_span() {
    e2e_pixels "$1" | awk '
        ($3 < 200 || $4 < 200 || $5 < 200) {
            at = ($1 > $2 ? $1 : $2)
            if (first == "") first = at
            last = at
        }
        END { print (first == "" ? -1 : first), (last == "" ? -1 : last) }'
}

# e2e_picture_at_top_left VX VY WIDTH HEIGHT: the view whose corner is at (VX,
# VY) in the window shows a picture of WIDTH x HEIGHT screen pixels from the
# top-left of its viewport, inside the view's 1 px frame: along a row and a
# column through the middle of the picture it starts at the viewport's first
# pixel and ends at the picture's size, with background after it. A picture
# whose edges are dark is needed (the demo video; the processed view shows it
# from the first picture on).
e2e_picture_at_top_left() {
    local vx=$1 vy=$2 width=$3 height=$4
    [ "$(e2e_picture_span "$((width + 2))x1+$((vx + 1))+$((vy + 1 + height / 2))")" = "0 $((width - 1))" ] &&
        [ "$(e2e_picture_span "1x$((height + 2))+$((vx + 1 + width / 2))+$((vy + 1))")" = "0 $((height - 1))" ]
}

# e2e_wait_for_pictures SECONDS WIDTH HEIGHT MAIN_X MAIN_Y DATA_X DATA_Y: waits
# until both video views, at the given corners in the window, show their
# picture (WIDTH x HEIGHT on the screen) where it belongs.
e2e_wait_for_pictures() {
    local seconds=$1 width=$2 height=$3
    e2e_poll "$seconds" "picture at the top-left of mainView" \
        e2e_picture_at_top_left "$4" "$5" "$width" "$height" || return 1
    e2e_poll "$seconds" "picture at the top-left of dataView" \
        e2e_picture_at_top_left "$6" "$7" "$width" "$height" || return 1
    e2e_say "both views show the ${width}x${height} picture from their top-left corner"
}

# Succeeds when an area shows the same pixels in two grabs in a row (a paused
# video).
e2e_view_still() {
    local first second
    first=$(e2e_pixels "$1" | md5sum)
    second=$(e2e_pixels "$1" | md5sum)
    [ "$first" = "$second" ]
}

# Screen position of a point given in window coordinates.
e2e_screen() {
    echo "$((e2e_window_x + $1)) $((e2e_window_y + $2))"
}

e2e_click() {
    # shellcheck disable=SC2046
    xdotool mousemove $(e2e_screen "$1" "$2") click 1
}

# e2e_drag X0 Y0 X1 Y1 (window coordinates): left button down at the first
# point, moved through the middle to the second point, released there.
e2e_drag() {
    local x0=$1 y0=$2 x1=$3 y1=$4
    # shellcheck disable=SC2046
    xdotool mousemove $(e2e_screen "$x0" "$y0") mousedown 1 \
        mousemove $(e2e_screen $(((x0 + x1) / 2)) $(((y0 + y1) / 2))) \
        mousemove $(e2e_screen "$x1" "$y1") mouseup 1
}

# Window x of the handle's centre for VALUE on a slider given as
# "x y width height maximum".
e2e_slider_handle_x() {
    local x=$1 width=$3 maximum=$5 value=$6
    echo $((x + 6 + (value * (width - 13) + maximum / 2) / maximum))
}

# Saves e2e_window as a PNG. The picture is cut from the screen: asked for a
# window that has just gone away, `import` would wait for a click instead.
e2e_screenshot() {
    timeout 30 import -silent -window root \
        -crop "${e2e_window_width}x${e2e_window_height}+${e2e_window_x}+${e2e_window_y}" +repage "$1"
}

# --- the log -------------------------------------------------------------------

# e2e_log_has FILE EXTENDED_REGEX [COUNT]: the log has at least COUNT (1) lines
# that match.
e2e_log_has() {
    local file=$1 pattern=$2 count=${3:-1}
    [ -f "$file" ] && (($(grep -acE -- "$pattern" "$file") >= count))
}
