#!/usr/bin/env bash
# Checks the Debian package in a bare root, as dpkg would lay it out on a user's machine: its
# control fields, its exact file list, the desktop entry and AppStream metadata under the
# desktop's own validators, and the command line started from there.
#   tests/package/check-package.sh FILE.deb [VERSION]    a package scripts/package.sh wrote
#   tests/package/check-package.sh BUILD_DIR [VERSION]   packs that build tree first
set -euo pipefail
src="${1:?usage: check-package.sh FILE.deb|BUILD_DIR [VERSION]}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -d "$src" ]; then
    cpack -G DEB --config "$src/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 \
        || { cat "$work/cpack.log" >&2; exit 1; }
    deb=$(echo "$work"/out/*.deb)
else
    deb="$src"
fi
root="$work/root"
dpkg-deb -x "$deb" "$root"

failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=$((failed + 1))
}
id=example.veltrask.Configurator
version=$(dpkg-deb -f "$deb" Version)

# Control fields: who made it, what it runs on, and the version the build says.
[ "$(dpkg-deb -f "$deb" Package)" = korvanta-configurator ] || fail "package name"
[ -z "${2:-}" ] || [ "$version" = "$2" ] || fail "version $version, the build's is $2"
for field in Maintainer Section Description Architecture; do
    [ -n "$(dpkg-deb -f "$deb" "$field")" ] || fail "no $field field"
done
depends=$(dpkg-deb -f "$deb" Depends)
names=$(sed 's/ *([^)]*)//g; s/, */\n/g' <<<"$depends")
# libqt6widgets6 only comes from dpkg-shlibdeps reading the window's binary.
for dep in fonts-liberation2 libqt6widgets6 libc6 libstdc++6; do
    grep -qxF "$dep" <<<"$names" || fail "Depends lacks $dep: $depends"
done

grep -qw qt6-translations-l10n <<<"$(dpkg-deb -f "$deb" Recommends)" \
    || fail "Recommends lacks qt6-translations-l10n"

# Exactly these files: a missing one breaks the desktop, a stray one (a test helper, a
# build path) would be shipped to every user. Manual pages may come compressed or not.
programs="korvanta-configurator korvanta-configurator-cli korvanta-adapter-sim"
expected="usr/share/applications/$id.desktop
usr/share/icons/hicolor/scalable/apps/$id.svg
usr/share/metainfo/$id.metainfo.xml
usr/share/mime/packages/$id.xml"
for size in 16 32 48 64 128 256; do
    expected+=$'\n'"usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
done
for bin in $programs; do
    expected+=$'\n'"usr/bin/$bin"$'\n'"usr/share/man/man1/$bin.1"
done
actual=$(cd "$root" && find . ! -type d | sed 's|^\./||; s|\(/man1/.*\.1\)\.gz$|\1|' | LC_ALL=C sort)
diff <(LC_ALL=C sort <<<"$expected") - <<<"$actual" >"$work/files.diff" \
    || fail "file list (< expected, > packed):"$'\n'"$(cat "$work/files.diff")"

# Programs that find their libraries on any machine, not in a build tree.
for bin in $programs; do
    f="$root/usr/bin/$bin"
    [ -x "$f" ] || { fail "$bin is not executable"; continue; }
    ! readelf -d "$f" | grep -qE 'R(UN)?PATH' || fail "$bin carries a library path"
done
# Each PNG sits in the folder of its own size (width and height from its header).
for png in "$root"/usr/share/icons/hicolor/*x*/apps/*.png; do
    dir=$(basename "$(dirname "$(dirname "$png")")")
    read -r w h < <(od -An -tu4 --endian=big -j16 -N8 "$png")
    [ "${w}x${h}" = "$dir" ] || fail "$png is ${w}x${h}"
done

# The desktop entry: valid, and pointing at what the package holds.
desktop="$root/usr/share/applications/$id.desktop"
entry() { sed -n "s/^$1=//p" "$desktop"; }
report=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$report" ] \
    || fail "desktop-file-validate: $report"
[ "$(entry Exec)" = "korvanta-configurator %f" ] || fail "Exec is '$(entry Exec)'"
[ "$(entry Icon)" = "$id" ] || fail "Icon is '$(entry Icon)'"
grep -q '^Categories=.*;' "$desktop" || fail "no Categories"
for key in 'Name\[ru\]' 'Comment\[ru\]'; do
    [ -n "$(entry "$key")" ] || fail "no $key in the desktop entry"
done

# The adapter's files: the MIME database built from the package knows them by extension, in
# any letter case, and the desktop's cache of MIME handlers names our entry for both, which is
# what a file manager's double click asks.
mime="$root/usr/share/mime"
report=$(XDG_DATA_DIRS="$root/usr/share" update-mime-database "$mime" 2>&1) && [ -z "$report" ] \
    || fail "update-mime-database: $report"
for pair in firmware:rfw change-mode:rcm; do
    type="application/x-korvanta-${pair%%:*}"
    # No "cs" flag after the pattern: the glob matches the extension in any letter case.
    grep -q "^[0-9]*:$type:\*\.${pair#*:}$" "$mime/globs2" 2>/dev/null \
        || fail "the MIME database does not map *.${pair#*:} to $type"
done
update-desktop-database "$root/usr/share/applications" \
    || fail "update-desktop-database failed"
for type in application/x-korvanta-firmware application/x-korvanta-change-mode; do
    grep -q "^$type=.*$id\.desktop" "$root/usr/share/applications/mimeinfo.cache" \
        || fail "the desktop entry does not open $type"
done

# The metadata: valid, and naming the same application, entry and version.
metainfo="$root/usr/share/metainfo/$id.metainfo.xml"
# Every hint fails, but that "example" is no top-level domain appstreamcli knows of.
report=$(appstreamcli validate --no-net --strict --override=cid-maybe-not-rdns=pedantic \
    "$metainfo" 2>&1) \
    || fail "appstreamcli validate: $report"
grep -q "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "metainfo does not launch $id.desktop"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$metainfo" \
    || fail "metainfo has no release $version"
for tag in name summary; do
    grep -q "<$tag xml:lang=\"ru\">" "$metainfo" || fail "metainfo has no Russian $tag"
done

# The command line starts from the unpacked root with the system's libraries alone.
if out=$(env -u LD_LIBRARY_PATH "$root/usr/bin/korvanta-configurator-cli" --version 2>&1); then
    [ "$out" = "korvanta-configurator-cli $version" ] \
        || fail "korvanta-configurator-cli --version printed '$out'"
else
    fail "korvanta-configurator-cli --version exited $?: $out"
fi
env -u LD_LIBRARY_PATH "$root/usr/bin/korvanta-adapter-sim" --help >/dev/null \
    || fail "korvanta-adapter-sim --help"
# Each manual page names the program as it is installed.
for bin in $programs; do
    page=$(ls "$root"/usr/share/man/man1/"$bin".1* 2>/dev/null | head -1)
    [ -n "$page" ] && zcat -f "$page" | grep -q "^$bin \\\\- " \
        || fail "the manual page of $bin does not name it"
done

[ "$failed" -eq 0 ] || { echo "$failed check(s) failed for $deb" >&2; exit 1; }
echo "package OK: $deb"
