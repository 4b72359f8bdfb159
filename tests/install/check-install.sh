#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop finds
# there. Usage: check-install.sh BUILD_DIR APP_ID VERSION
set -uo pipefail
build=$1 id=$2 version=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install" >&2; exit 1; }
cd "$prefix"

icons=share/icons/hicolor
expected=(bin/velkais-log bin/velkais-log-browser
    share/applications/$id.desktop share/applications/$id.Map.desktop share/metainfo/$id.metainfo.xml
    $icons/scalable/apps/$id.svg
    share/man/man1/velkais-log.1.gz share/man/man1/velkais-log-browser.1.gz
    share/bash-completion/completions/velkais-log
    share/doc/velkais-log-browser/copyright share/doc/velkais-log-browser/changelog.gz)
# A build without libnetcdf or GSHHG has no coastline to install.
[ -f "$build/share/velkais-log-browser/coastline.bin" ] && expected+=(share/velkais-log-browser/coastline.bin)
sizes=(16 32 48 64 128 256)
for s in "${sizes[@]}"; do expected+=("$icons/${s}x$s/apps/$id.png"); done
diff <(printf '%s\n' "${expected[@]}" | sort) <(find . -type f | sed 's|^\./||' | sort) >&2 ||
    fail "the installed files differ from the expected list (< expected, > installed)"

for s in "${sizes[@]}"; do
    png=$icons/${s}x$s/apps/$id.png
    [ -f "$png" ] || continue
    # Width and height are the big-endian words at bytes 16 and 20 of a PNG.
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3*256+$4 "x" $7*256+$8 }')
    [ "$dims" = "${s}x$s" ] || fail "$png is $dims"
done

for page in velkais-log velkais-log-browser; do
    f=share/man/man1/$page.1.gz
    [ -f "$f" ] && { gzip -dc "$f" | grep -q "^\.TH ${page^^} \"1\"" || fail "$f is not a section 1 manual page"; }
    out=$(bin/$page --version 2>&1) && [ "$out" = "$page $version" ] || fail "$page --version printed '$out'"
    # Options in their own section, the index among the files, no "this text".
    man=$(gzip -dc "$f")
    for section in OPTIONS FILES ENVIRONMENT; do
        grep -q "^\.SH $section" <<<"$man" || fail "$f has no $section section"
    done
    sed -n '/^\.SH FILES/,/^\.SH/p' <<<"$man" | grep -q 'cache/velkais\\-log\\-browser' || fail "$f: FILES does not name the day index"
    ! grep -qi 'this text' <<<"$man" || fail "$f still says 'this text'"
done
sed -n '/^\.SH OPTIONS/,/^\.SH/p' <(gzip -dc share/man/man1/velkais-log-browser.1.gz) | grep -qx '\\fB\\-\\-no\\-index\\fR' ||
    fail "velkais-log-browser.1: --no-index is not among the options"

entry=share/applications/$id.desktop
grep -qx "Exec=velkais-log-browser %f" "$entry" || fail "$entry does not start velkais-log-browser with a folder"
grep -qx "Icon=$id" "$entry" || fail "$entry does not name the installed icon"
map=share/applications/$id.Map.desktop
grep -qx "Exec=velkais-log-browser --map %F" "$map" || fail "$map does not start the map with files"
! grep -q '^NoDisplay=' "$map" || fail "$map is hidden from the menu, yet the map starts without files"
for type in application/vnd.google-earth.kml+xml application/gpx+xml application/geo+json; do
    grep -q "^MimeType=.*$type;" "$map" || fail "$map does not take $type"
done
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" >&2 || fail "desktop-file-validate $entry"
    desktop-file-validate "$map" >&2 || fail "desktop-file-validate $map"
else
    echo "desktop-file-validate not installed: not run"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net share/metainfo/$id.metainfo.xml >&2 || fail "appstreamcli validate"
else
    echo "appstreamcli not installed: not run"
fi

# Every subcommand and option that velkais-log --help prints must be completed;
# the completion may know words the help does not print yet.
help=$(bin/velkais-log --help)
words=$( (sed -n 's/^\(Usage:\|  or:\)\{0,1\} *velkais-log \{1,\}\([a-z][a-z-]*\).*/\2/p' <<<"$help"; grep -o -- '--[a-z][a-z-]*' <<<"$help") | sort -u)
completed=$(bash -c 'source "$1"; COMP_WORDS=(velkais-log ""); COMP_CWORD=1; _velkais_log; printf "%s\n" "${COMPREPLY[@]}"' \
    _ share/bash-completion/completions/velkais-log)
[ "$(wc -l <<<"$words")" -ge 10 ] || fail "too few words found in velkais-log --help: $words"
for w in $words; do
    grep -qx -- "$w" <<<"$completed" || fail "the completion does not offer '$w'"
done

exit $status
