#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a tracked source file does not name its licence in its first lines:
# every *.cpp, *.h, *.sh, CMakeLists.txt, *.cmake, *.in and *.ui file needs an
# SPDX line for GPL-3.0-or-later within its first 5 lines (after a shebang or
# an XML declaration, in the file's own comment syntax).
# usage: checkLicenceHeaders.sh SOURCE_DIR
set -euo pipefail
source=$1
cd "$source"

identifier='SPDX-License-Identifier: GPL-3.0-or-later'
# A Debian changelog has no comment syntax; the package's copyright file gives
# its licence.
exempt=(packaging/changelog.in)

if ! files=$(git ls-files -- '*.cpp' '*.h' '*.sh' '*CMakeLists.txt' '*.cmake' '*.in' '*.ui'); then
    echo "FAIL: $source is not a git checkout, so its tracked files are unknown" >&2
    exit 1
fi
[ -n "$files" ] || { echo "FAIL: no source files found in $source" >&2; exit 1; }

lacking=()
checked=0
while IFS= read -r file; do
    for name in "${exempt[@]}"; do
        [ "$file" = "$name" ] && continue 2
    done
    checked=$((checked + 1))
    head -n 5 -- "$file" | grep -qF -- "$identifier" || lacking+=("$file")
done <<<"$files"

if ((${#lacking[@]})); then
    echo "FAIL: ${#lacking[@]} of $checked source files lack \"$identifier\" in their first 5 lines:" >&2
    printf '  %s\n' "${lacking[@]}" >&2
    exit 1
fi
echo "all $checked source files name their licence"
