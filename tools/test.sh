#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up and runs every test: once in the normal build, then once
# more built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

"$here/tools/setup.sh"
cd "$here/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"

BUILD_DIR=build-asan "$here/tools/setup.sh" -DTESSAVOLANT_SANITIZE=ON -DTESSAVOLANT_BENCH=OFF
cd "$here/build-asan"
ASAN_OPTIONS=detect_leaks=1 \
    LSAN_OPTIONS="suppressions=$here/tools/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
