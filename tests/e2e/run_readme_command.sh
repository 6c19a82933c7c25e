#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the README's run command, `tools/run.sh`, exactly as a new user does:
# from the root of the checkout, with a display, and without the demo video,
# so that the first-use path (making the demo video) is what runs. Passes when
# the window opens on the demo video, the log reaches "Initiering fullfort",
# and a close request from the window manager ends the program with exit code
# 0 and the log's last line.
#
#   run_readme_command.sh CHECKOUT SEND_CLOSE_REQUEST
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/x11Session.sh
. "$here/x11Session.sh"

if [ $# -ne 2 ]; then
    echo "usage: $0 CHECKOUT SEND_CLOSE_REQUEST" >&2
    exit 2
fi
checkout=$(realpath "$1")
send_close_request=$(realpath "$2")

work=$(mktemp -d "${TMPDIR:-/tmp}/tessavolant-readme.XXXXXX")
log="$checkout/demo/loggfile.txt"
demo="$checkout/demo/demo.avi"
result=1

# A failure prints the end of the command's output and of the log;
# E2E_KEEP=1 keeps the work directory.
finish() {
    e2e_kill_program
    e2e_stop_x_server
    if [ "$result" -ne 0 ]; then
        for file in "$work/program.stdout" "$work/program.stderr" "$log"; do
            [ -f "$file" ] && { echo "--- $file" >&2; tail -n 30 "$file" | cat -v >&2; }
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

e2e_start_clock
e2e_start_x_server "$work" || exit 1

rm -f "$demo" "$checkout/demo/demo-ground-truth.csv"
# Nothing of the run may land in the checkout itself: no log beside the sources.
logs_before=$(cd "$checkout" && ls loggfile.txt* 2>/dev/null | sort)
E2E_WORKING_DIRECTORY=$checkout e2e_start_program "$work" tools/run.sh

# Setting up may build and make the video first; the wait ends early if the
# command gives up.
window_or_end() { e2e_window_shown "Tessavolant 0.6b" || e2e_program_ended; }
e2e_poll 120 "window or end of the command" window_or_end || exit 1
e2e_program_running || e2e_fail "the command ended before the window opened" || exit 1
e2e_wait_for_window 5 "Tessavolant 0.6b" || e2e_fail "the window did not open" || exit 1
[ -f "$demo" ] || e2e_fail "the demo video was not made" || exit 1
e2e_poll 20 "end of initialisation in the log" \
    e2e_log_has "$log" '^[0-9]+\.[0-9]{6}: Initiering fullfort$' ||
    e2e_fail "the program did not finish starting" || exit 1
e2e_log_has "$log" "pnet fil  $demo \$" ||
    e2e_fail "the log does not name the demo video" || exit 1
e2e_say "the window is open on the demo video"

"$send_close_request" "$e2e_window" || e2e_fail "the close request could not be sent" || exit 1
e2e_wait_for_exit 30 || e2e_fail "the program did not end after the close request" || exit 1
[ "$e2e_app_status" -eq 0 ] || e2e_fail "exit code $e2e_app_status, expected 0" || exit 1
tail -n1 "$log" | grep -aqE '^[0-9]+\.[0-9]{6}: Programmet avsluttet$' ||
    e2e_fail "the log does not end with the program's end" || exit 1

logs_after=$(cd "$checkout" && ls loggfile.txt* 2>/dev/null | sort)
[ "$logs_after" = "$logs_before" ] ||
    e2e_fail "the command wrote a log into the checkout: $logs_after" || exit 1

result=0
e2e_say "PASSED"
