# SPDX-License-Identifier: GPL-3.0-or-later
# The start that the screenshot scripts share, sourced with the programs each
# needs, as paths in the build:
#   . "$here/tools/screenshotSession.sh" tessavolant tools/make_demo_video
# Sets `build` (${BUILD_DIR:-build}), stops when a named program is missing,
# makes a scratch directory `work`, and ends the program and the X server and
# removes `work` when the script ends. Needs `here`, the source tree.

# shellcheck source=tests/e2e/x11Session.sh
. "$here/tests/e2e/x11Session.sh"

build=$(realpath -m "${BUILD_DIR:-$here/build}")
for file in "$@"; do
    [ -x "$build/$file" ] || { echo "$0: $build/$file is missing: run tools/setup.sh first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tessavolant-screenshot.XXXXXX")
screenshot_finish() {
    e2e_kill_program
    e2e_stop_x_server
    rm -rf "$work"
}
trap screenshot_finish EXIT
trap 'exit 1' INT TERM HUP
