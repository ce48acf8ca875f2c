#!/bin/sh
# Checks of the installable files, run by CTest (tests/packaging/CMakeLists.txt).
# Exit status 0: passed; 77: skipped, the tool it needs is not installed;
# anything else: failed, with the reason on standard output.
set -u

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }
have() { command -v "$1" >/dev/null 2>&1; }

# validate TOOL ARGS...: the validator must accept the file without a word.
check_validate() {
    tool=$1
    have "$tool" || skip "$tool is not installed (scripts/setup.sh installs it)"
    out=$("$@" 2>&1)
    status=$?
    echo "$out"
    [ $status -eq 0 ] || fail "$tool exited with $status"
}

# ids SOURCE_DIR VERSION
check_ids() {
    src=$1 version=$2
    desktop=$(cd "$src/resources" && ls *.desktop)
    [ "$(echo "$desktop" | wc -l)" -eq 1 ] || fail "expected one desktop file, found: $desktop"
    id=${desktop%.desktop}
    meta="$src/resources/$id.metainfo.xml"
    [ -f "$meta" ] || fail "no $id.metainfo.xml beside $desktop"
    grep -q "<id>$id</id>" "$meta" || fail "the metadata's <id> is not $id"
    grep -q "<launchable type=\"desktop-id\">$desktop</launchable>" "$meta" ||
        fail "the metadata does not launch $desktop"
    grep -q "setDesktopFileName(QStringLiteral(\"$id\"))" "$src/src/app/Application.cpp" ||
        fail "the program does not give the desktop the id $id"
    newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$meta" | head -n 1)
    [ "$newest" = "$version" ] || fail "the newest release in the metadata is '$newest', not $version"
    icon=$(sed -n 's/^Icon=//p' "$src/resources/$desktop")
    [ -f "$src/resources/icons/$icon.svg" ] || fail "no icons/$icon.svg for Icon=$icon"
    echo "application id $id, version $version, icon $icon"
}

# manpages MAN_DIR TAVIX_CLI
check_manpages() {
    dir=$1 cli=$2
    have groff || skip "groff is not installed (scripts/setup.sh installs groff-base)"
    for page in "$dir"/tavix.1 "$dir"/tavix-cli.1; do
        [ -f "$page" ] || fail "missing $page"
        warnings=$(groff -man -ww -z "$page" 2>&1)
        [ -z "$warnings" ] || fail "groff warns about $page: $warnings"
    done
    # Every command and option the program's help names has its entry.
    help=$("$cli" --help) || fail "$cli --help failed"
    text=$(sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/^\.[A-Z][A-Z]* //' "$dir/tavix-cli.1")
    commands=$(echo "$help" | sed -n '/^Commands:/,/^Options:/p' |
               sed -n 's/^  \([a-z][a-z0-9-]*\).*/\1/p')
    [ -n "$commands" ] || fail "found no commands in the help"
    for c in $commands; do
        echo "$text" | grep -Eq "^$c( |$)" || fail "tavix-cli.1 has no entry for the command $c"
    done
    options=$(echo "$help" | grep -oE '(^|[ [])--?[a-z0-9][a-z0-9-]*' | sed 's/^[ [ ]*//' | sort -u)
    for o in $options --; do
        echo "$text" | grep -qF -- "$o" || fail "tavix-cli.1 does not mention $o"
    done
    echo "commands: $(echo $commands)"
    echo "options: $(echo $options)"
}

png_side() {
    # Width and height of a PNG, from its header.
    od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $3 * 256 + $4, $7 * 256 + $8 }'
}

# install BUILD_DIR DEST GUI
check_install() {
    build=$1 dest=$2 gui=$3
    rm -rf "$dest"
    cmake --install "$build" --prefix "$dest" >"$dest.log" 2>&1 || { cat "$dest.log"; fail "cmake --install failed"; }
    expected="bin/tavix-cli share/man/man1/tavix-cli.1"
    if [ "$gui" = 1 ]; then
        expected="$expected bin/tavix share/man/man1/tavix.1
            share/applications/org.halvorix.tavix.desktop
            share/metainfo/org.halvorix.tavix.metainfo.xml
            share/icons/hicolor/scalable/apps/tavix.svg"
        for side in 16 22 24 32 48 64 128 256; do
            png="share/icons/hicolor/${side}x${side}/apps/tavix.png"
            expected="$expected $png"
            [ -f "$dest/$png" ] || fail "missing $png"
            [ "$(png_side "$dest/$png")" = "${side}x${side}" ] ||
                fail "$png is $(png_side "$dest/$png"), not ${side}x${side}"
        done
    fi
    for f in $expected; do
        [ -f "$dest/$f" ] || fail "missing $f"
    done
    for f in bin/tavix-cli bin/tavix; do
        [ ! -e "$dest/$f" ] || [ -x "$dest/$f" ] || fail "$f is not executable"
    done
    echo "installed: $(echo $expected)"
    rm -rf "$dest" "$dest.log"
}

what=$1
shift
case $what in
    validate) check_validate "$@" ;;
    ids) check_ids "$@" ;;
    manpages) check_manpages "$@" ;;
    install) check_install "$@" ;;
    *) fail "unknown check $what" ;;
esac
