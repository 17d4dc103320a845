#!/usr/bin/env bash
# Installs the build folder given as the first argument into a temporary folder, as a
# package or `cmake --install` would, and checks what a desktop needs of it: the program,
# a valid desktop entry, the icon in the hicolor theme and a valid AppStream description.
set -euo pipefail
build_dir=${1:?build folder}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

DESTDIR="$root" cmake --install "$build_dir" --prefix /usr >/dev/null
prefix="$root/usr"

[ -x "$prefix/bin/Keyloft" ] || fail "the program is not installed as bin/Keyloft"

entry="$prefix/share/applications/keyloft.desktop"
if [ -f "$entry" ]; then
    desktop-file-validate "$entry" || fail "desktop-file-validate refuses keyloft.desktop"
    grep -qx 'Exec=Keyloft' "$entry" || fail "the desktop entry does not start Keyloft"
    grep -qx 'Icon=keyloft' "$entry" || fail "the desktop entry does not name the icon keyloft"
    # The entry and each of its actions start a program installed in bin.
    for program in $(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry"); do
        [ -x "$prefix/bin/$program" ] || fail "the desktop entry's program is not in bin"
    done
else
    fail "no share/applications/keyloft.desktop"
fi

# The width and height of a PNG file, from its header.
png_size() {
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'
}
for size in 16 24 32 48 64; do
    icon="$prefix/share/icons/hicolor/${size}x${size}/apps/keyloft.png"
    if [ ! -f "$icon" ]; then
        fail "no icon $size x $size"
    elif [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' ')" != 89504e470d0a1a0a ]; then
        fail "the $size x $size icon is not a PNG file"
    elif [ "$(png_size "$icon")" != "${size}x${size}" ]; then
        fail "the $size x $size icon is $(png_size "$icon")"
    fi
done

metainfo=("$prefix"/share/metainfo/*.metainfo.xml)
if [ ${#metainfo[@]} -eq 1 ] && [ -f "${metainfo[0]}" ]; then
    appstreamcli validate --no-net "${metainfo[0]}" >/dev/null ||
        fail "appstreamcli refuses $(basename "${metainfo[0]}")"
    grep -q '<launchable type="desktop-id">keyloft.desktop</launchable>' "${metainfo[0]}" ||
        fail "the metainfo file does not name the desktop entry"
else
    fail "not exactly one metainfo file in share/metainfo"
fi

[ "$failures" -eq 0 ] && echo "The installed tree holds the program, its desktop entry, icons and metainfo."
exit $((failures > 0))
