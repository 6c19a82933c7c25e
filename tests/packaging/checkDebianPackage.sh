#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from an already built tree, checks it with lintian,
# checks its control fields and files, validates the menu entry and the
# metainfo, and runs the programs from a throwaway root into which the package
# is unpacked.
# usage: checkDebianPackage.sh BUILD_DIR VERSION APP_ID WITH_REPLAY(0|1) [WITH_ANNOTATE(0|1)]
set -euo pipefail
build=$1 version=$2 appId=$3 withReplay=$4 withAnnotate=${5:-0}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log" >&2
    exit 1
fi
deb=$work/tessavolant_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls "$work" >&2; echo "FAIL: no $deb" >&2; exit 1; }

# Lintian, Debian's own check: no error, no warning, and none of the notes on a
# binary built without Debian's hardening or stripped less than Debian strips.
if ! lintian --fail-on none --display-info "$deb" >"$work/lintian.log" 2>"$work/lintian.err"; then
    cat "$work/lintian.log" "$work/lintian.err" >&2
    fail "lintian could not check the package"
fi
refused=$(grep -E '^[EW]: |^I: [^:]+: (hardening-no-[a-z-]+|binary-has-unneeded-section|unstripped-binary-or-object) ' \
    "$work/lintian.log" || true)
[ -z "$refused" ] || fail "lintian:"$'\n'"$refused"

# Control fields.
field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = tessavolant ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture"
[ "$(field Section)" = science ] || fail "Section: $(field Section)"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "Maintainer: $(field Maintainer)"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
for needed in qt6-qpa-plugins libqt6widgets6 libopencv-videoio406 libc6; do
    [[ ", $depends," == *", $needed "* || ", $depends," == *", $needed,"* ]] ||
        fail "Depends lacks $needed: $depends"
done
if tr ',|' '\n' <<<"$depends" | sed 's/(.*//; s/ //g' | grep -- '-dev$'; then
    fail "Depends names development packages: $depends"
fi

# Files.
expected=(
    usr/bin/tessavolant
    "usr/share/applications/$appId.desktop"
    "usr/share/metainfo/$appId.metainfo.xml"
    usr/share/icons/hicolor/scalable/apps/tessavolant.svg
    usr/share/icons/hicolor/256x256/apps/tessavolant.png
    usr/share/man/man1/tessavolant.1.gz
    usr/share/doc/tessavolant/copyright
    usr/share/doc/tessavolant/changelog.gz
)
if [ "$withReplay" = 1 ]; then
    expected+=(usr/bin/tessavolant-replay usr/share/man/man1/tessavolant-replay.1.gz)
fi
if [ "$withAnnotate" = 1 ]; then
    expected+=(usr/bin/tessavolant-annotate usr/share/man/man1/tessavolant-annotate.1.gz)
fi
root=$work/root
dpkg-deb --extract "$deb" "$root"
for file in "${expected[@]}"; do
    [ -s "$root/$file" ] || fail "the package lacks $file"
done

doc=$root/usr/share/doc/tessavolant
[ "$(head -n1 "$doc/copyright")" = \
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "the copyright file is not machine-readable: $(head -n1 "$doc/copyright")"
gzip -dc "$doc/changelog.gz" >"$work/changelog"
newest=$(dpkg-parsechangelog --file "$work/changelog" --show-field Version 2>&1) || true
[ "$newest" = "$version" ] || fail "the changelog's newest entry is not $version: $newest"

desktop=$root/usr/share/applications/$appId.desktop
# Hints count too: each names something a menu shows wrongly.
validation=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate"
[ -z "$validation" ] || fail "desktop-file-validate: $validation"
appstreamcli validate --no-net "$root/usr/share/metainfo/$appId.metainfo.xml" >"$work/as.log" ||
    { cat "$work/as.log" >&2; fail "appstreamcli validate"; }
# Width and height of the bitmap icon, from its PNG header.
size=$(od -An -tu1 -j16 -N8 "$root/usr/share/icons/hicolor/256x256/apps/tessavolant.png" | xargs)
[ "$size" = "0 0 1 0 0 0 1 0" ] || fail "the PNG icon is not 256 x 256: $size"
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done

# The programs run from the package's files alone, without a display.
cd "$work"
noDisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
licence="License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>"
programs=(tessavolant)
[ "$withReplay" = 1 ] && programs+=(tessavolant-replay)
[ "$withAnnotate" = 1 ] && programs+=(tessavolant-annotate)
for program in "${programs[@]}"; do
    out=$("${noDisplay[@]}" "$root/usr/bin/$program" --version) || fail "$program --version"
    [ "$out" = "$program $version"$'\n'"$licence" ] || fail "$program --version printed: $out"
    out=$("${noDisplay[@]}" "$root/usr/bin/$program" --help) || fail "$program --help"
    [[ "$out" == "Usage: "*"$program "* ]] || fail "$program --help printed: $out"
done

# Wrong usage: exit code 2 and a message that names the fault.
while IFS='|' read -r expectedText arguments; do
    read -ra argv <<<"$arguments"
    status=0
    "${noDisplay[@]}" "$root/usr/bin/tessavolant" "${argv[@]}" >/dev/null 2>"$work/err" || status=$?
    [ "$status" = 2 ] || fail "tessavolant $arguments: exit code $status, not 2"
    grep -qF -- "$expectedText" "$work/err" || fail "tessavolant $arguments said: $(cat "$work/err")"
done <<'CASES'
'frames'|--frames 10
'x'|-x
one video at most|a.avi b.avi
CASES

# The menu entry's command gets the file manager's path as one argument, with
# spaces and non-ASCII letters. A missing file is refused under exactly that name.
exec=$(sed -n 's/^Exec=//p' "$desktop")
[[ "$exec" == *" %f" ]] || fail "Exec does not end in %f: $exec"
path="$work/Nyrestein fra Åse – 3. opptak ø.avi"
status=0
PATH="$root/usr/bin:$PATH" QT_QPA_PLATFORM=offscreen ${exec% %f} "$path" 2>"$work/err" || status=$?
[ "$status" = 1 ] || fail "$exec on a missing file: exit code $status, not 1"
grep -qF -- "\"$path\"" "$work/err" || fail "the refusal does not name \"$path\": $(cat "$work/err")"

if ((failures)); then
    exit 1
fi
echo "package $(basename "$deb") checked"
