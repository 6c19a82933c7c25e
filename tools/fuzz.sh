#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes the DICOM opening (fuzz/dicomOpeningFuzzer.cpp) for SECONDS seconds
# (default 600), niced, from seeds written by the project's DICOM writer and
# the kept regression inputs. Builds with clang into build-fuzz/ (or
# $FUZZ_BUILD_DIR). What it finds lands in build-fuzz/fuzz-crashes/; a crash
# is kept, minimised, in tests/fuzz-regressions/, which the tests open.
# Further arguments go to libFuzzer; to go on past crashes, for example:
#   tools/fuzz.sh 900 -fork=1 -ignore_crashes=1
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --help ] || [ "${1:-}" = -h ]; then
    sed -n '3,10s/^# \{0,1\}//p' "$0"
    exit 0
fi
seconds=${1:-600}
shift $(($# > 0 ? 1 : 0))
if ! [[ $seconds =~ ^[0-9]+$ ]]; then
    echo "fuzz.sh: SECONDS must be a whole number of seconds, not '$seconds'" >&2
    exit 2
fi
build=${FUZZ_BUILD_DIR:-build-fuzz}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DTESSAVOLANT_FUZZ=ON \
        -DTESSAVOLANT_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
fi
nice cmake --build "$build" -j2 --target dicom_opening_fuzzer make_dicom_corpus >&2

mkdir -p "$build/fuzz-seeds" "$build/fuzz-corpus" "$build/fuzz-crashes"
"$build/tools/make_dicom_corpus" "$build/fuzz-seeds"
# Leaks inside system libraries (GDCM's JPEG decoders) are not the program's.
export LSAN_OPTIONS="suppressions=$PWD/tools/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# New inputs go to the first directory; the others are read only.
exec nice "$build/fuzz/dicom_opening_fuzzer" -max_total_time="$seconds" -timeout=30 \
    -rss_limit_mb=2560 -max_len=16384 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz-crashes/" "$@" \
    "$build/fuzz-corpus" "$build/fuzz-seeds" tests/fuzz-regressions
