#!/bin/sh
# Builds Kestrova the way a distribution's packager would and checks what it installs:
#   - a Release build with the distribution's compiler flags (dpkg-buildflags), the tests, the
#     benchmarks and -Werror off, and GoogleTest and Google Benchmark out of reach;
#   - `cmake --install` into a temporary prefix: the tree, the desktop entry, the AppStream
#     metadata, the manual page, the icons, and the installed `kestrova --version`;
#   - the .deb that cpack builds: its dependencies, its binary unpacked with `dpkg-deb -x`
#     running --version and a headless tour, and lintian without errors.
# Each check prints "ok" or "FAILED" with what went wrong; the last line counts them. The build
# is kept in build/package, so a second run builds only what changed.
set -u
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)
build="$root/build/package"
work=$(mktemp -d) || exit 1
trap 'rm -rf "$work"' EXIT

app_id=org.kestrova.Kestrova
icon_sizes="16 32 48 64 128 256"
tour_pictures="01-bitblt 02-lines 03-circles 04-clear-screen 05-about"
passed=0
failed=0

# check NAME COMMAND...: runs one check; its output is shown when it fails.
check() {
    name=$1
    shift
    if "$@" > "$work/output" 2>&1; then
        passed=$((passed + 1))
        echo "ok      $name"
        return 0
    fi
    failed=$((failed + 1))
    echo "FAILED  $name"
    sed 's/^/        /' "$work/output"
    return 1
}

finish() {
    echo "install: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    exit
}

# require NAME COMMAND...: a check the later ones cannot do without.
require() {
    check "$@" || { echo "        (stopping: the checks after it need it)"; finish; }
}

fail() {
    echo "$*"
    return 1
}

# png_size FILE: "WIDTHxHEIGHT" from the PNG header, or nothing when FILE is not a PNG.
png_size() {
    [ "$(od -An -tx1 -N8 "$1" | tr -d ' \n')" = 89504e470d0a1a0a ] || return 0
    od -An -tu1 -j16 -N8 "$1" |
        awk '{ printf "%dx%d\n", $1 * 16777216 + $2 * 65536 + $3 * 256 + $4,
                                 $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }'
}

configure() {
    # The hardening and optimisation flags a Debian package is built with.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cflags="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
    cxxflags="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DKESTROVA_TESTS=OFF -DKESTROVA_BENCH=OFF -DKESTROVA_WERROR=OFF \
        -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON \
        -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)"
}

# Warnings do not stop this build (KESTROVA_WERROR is off, as a packager has it); they are
# listed after it.
build_program() {
    cmake --build "$build" -j2 > "$work/build.log" 2>&1
    status=$?
    cat "$work/build.log"
    return "$status"
}

version() {
    sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build/CMakeCache.txt"
}

expected_tree() {
    echo bin/kestrova
    echo "share/applications/$app_id.desktop"
    echo share/doc/kestrova/README.md
    echo share/doc/kestrova/changelog
    echo share/doc/kestrova/copyright
    for size in $icon_sizes; do
        echo "share/icons/hicolor/${size}x$size/apps/$app_id.png"
    done
    echo share/man/man1/kestrova.1
    echo "share/metainfo/$app_id.metainfo.xml"
}

check_tree() {
    expected_tree | sort > "$work/tree.expected"
    (cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort) > "$work/tree.installed"
    diff -u "$work/tree.expected" "$work/tree.installed" ||
        fail "the installed tree differs from the expected one (- missing, + unexpected)"
}

# The committed icon resource and PNGs are what the drawing tool makes today.
check_icons_drawn() {
    mkdir "$work/icons"
    python3 "$root/tools/make_icon.py" "$work/icons/kestrova.ico" --png "$work/icons" ||
        fail "tools/make_icon.py failed" || return
    cmp "$work/icons/kestrova.ico" "$root/app/resources/kestrova.ico" || return
    for size in $icon_sizes; do
        cmp "$work/icons/kestrova-$size.png" "$root/packaging/icons/kestrova-$size.png" || return
    done
}

check_icons() {
    for size in $icon_sizes; do
        icon="$prefix/share/icons/hicolor/${size}x$size/apps/$app_id.png"
        got=$(png_size "$icon")
        [ "$got" = "${size}x$size" ] || fail "$icon: a PNG of ${size}x$size expected, got '$got'" || return
    done
}

# The licence is MIT, said the same way in LICENSE, the copyright file and the metainfo; no
# web site or mail address is named but the reserved example domain (packaging/README.md).
check_licence() {
    copyright="$prefix/share/doc/kestrova/copyright"
    metainfo="$prefix/share/metainfo/$app_id.metainfo.xml"
    sed -n '/^Files: \*$/,/^$/p' "$copyright" | grep -qx 'License: Expat' ||
        fail "the copyright file does not give Files: * the Expat (MIT) licence" || return
    head -n 1 "$root/LICENSE" | grep -qx 'MIT License' || fail "LICENSE is not the MIT licence" || return
    grep -q '<project_license>MIT</project_license>' "$metainfo" ||
        fail "the metainfo names no MIT project_license" || return
    addresses=$(cat "$copyright" "$metainfo" "$prefix/share/doc/kestrova/changelog" \
        "$root/packaging/CMakeLists.txt" |
        grep -oiE 'https?://[^/ )>"<]+|[a-z0-9._-]+@[a-z0-9.-]+' | grep -i kestrova |
        grep -viE '@example\.org$' | sort -u)
    [ -z "$addresses" ] || fail "a web site or address of our own that does not exist: $addresses"
}

check_man_page() {
    page="$prefix/share/man/man1/kestrova.1"
    MANWIDTH=80 man --warnings -l "$page" 2> "$work/man.warnings" > "$work/man.txt" ||
        fail "man could not render the page" || return
    if [ -s "$work/man.warnings" ]; then
        cat "$work/man.warnings"
        fail "man reports warnings"
        return
    fi
    grep -q . "$work/man.txt" || fail "the page renders empty"
}

# Every option that --help lists has its entry in the manual page's OPTIONS.
check_man_options() {
    "$prefix/bin/kestrova" --help > "$work/help" || fail "kestrova --help failed" || return
    options=$(grep -oE '^ +(-[a-zA-Z], ?)?--[a-z][a-z0-9-]*' "$work/help" | grep -oE -- '--[a-z0-9-]+$')
    [ -n "$options" ] || fail "no options found in kestrova --help" || return
    sed -n '/^\.SH OPTIONS/,/^\.SH [^O]/p' "$prefix/share/man/man1/kestrova.1" |
        grep -E '^\.B[IR]? ' > "$work/man.options"
    missing=""
    for option in $options; do
        grep -qE -- "$(echo "$option" | sed 's/-/\\\\-/g')([^a-z0-9\\]|\$)" "$work/man.options" ||
            missing="$missing $option"
    done
    [ -z "$missing" ] || fail "options of kestrova --help without an entry in the manual page:$missing"
}

# The project's version is the one that the manual page, the AppStream metadata and the
# Debian changelog name.
check_versions() {
    v=$(version)
    grep -q "^\.TH KESTROVA 1 .*\"Kestrova $v\"" "$prefix/share/man/man1/kestrova.1" ||
        fail "the manual page's .TH line does not name Kestrova $v" || return
    first_release=$(grep -m1 -o '<release version="[^"]*"' "$prefix/share/metainfo/$app_id.metainfo.xml")
    [ "$first_release" = "<release version=\"$v\"" ] ||
        fail "the newest release in the AppStream metadata is not $v: $first_release" || return
    head -n 1 "$prefix/share/doc/kestrova/changelog" | grep -q "^kestrova ($v) " ||
        fail "the changelog's newest entry is not for $v"
}

check_version_output() {
    out=$("$1" --version) || fail "$1 --version failed" || return
    [ "$out" = "kestrova $(version)" ] || fail "$1 --version said '$out', expected 'kestrova $(version)'"
}

build_deb() {
    rm -f "$build"/deb/*.deb
    cpack --config "$build/CPackConfig.cmake" -B "$build/deb" || return 1
    set -- "$build"/deb/*.deb
    [ $# -eq 1 ] && [ -f "$1" ] || fail "cpack made no single .deb: $*"
}

# Computed by dpkg-shlibdeps from the binary, so the libraries it links are all there.
check_depends() {
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for library in libc6 libstdc++6 libfreetype6 libpng16-16 libsdl2-2.0-0; do
        echo "$depends" | grep -qwF "$library" || fail "Depends lacks $library" || return
    done
}

# A tour of the menu with the unpacked binary, headless, with a folder of its own for running
# instances so that no other Kestrova on this machine answers in its place.
check_tour() {
    mkdir -m 700 "$work/runtime"
    XDG_RUNTIME_DIR="$work/runtime" "$unpacked/usr/bin/kestrova" --headless --tour "$work/tour" ||
        fail "the tour failed" || return
    for picture in $tour_pictures; do
        got=$(png_size "$work/tour/$picture.png")
        [ "$got" = 240x320 ] || fail "$picture.png: a 240x320 PNG expected, got '$got'" || return
    done
}

check_lintian() {
    # Tags of every level are listed; only errors fail.
    lintian --display-info --tag-display-limit 0 --fail-on error "$deb" > "$work/lintian" 2> "$work/lintian.stderr"
    status=$?
    grep -v 'running with root privileges' "$work/lintian.stderr"
    return "$status"
}

require "configure: Release, packager's flags, no tests or benchmarks (GoogleTest and Google Benchmark unavailable)" configure
require "build" build_program
grep 'warning:' "$work/build.log" | sed 's/^/        /'
echo "        compiler warnings: $(grep -c 'warning:' "$work/build.log")"
prefix="$work/prefix"
require "cmake --install into a temporary prefix" cmake --install "$build" --prefix "$prefix"
check "installed tree: binary, desktop entry, metainfo, icons, manual page, README, copyright, changelog" check_tree
check "icons: hicolor PNGs of $icon_sizes pixels" check_icons
check "icons: the committed ones are what tools/make_icon.py draws" check_icons_drawn
check "desktop-file-validate" desktop-file-validate "$prefix/share/applications/$app_id.desktop"
check "appstreamcli validate --no-net" appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml"
check "appstreamcli validate-tree --no-net (metainfo, desktop entry and icon together)" \
    appstreamcli validate-tree --no-net "$prefix"
check "licence: MIT in LICENSE, copyright and metainfo; no invented address" check_licence
check "MANWIDTH=80 man --warnings -l: no warnings" check_man_page
check "manual page names every option of kestrova --help" check_man_options
check "manual page, metainfo and changelog name the project's version" check_versions
check "installed kestrova --version" check_version_output "$prefix/bin/kestrova"

require "cpack: the .deb" build_deb
deb=$(ls "$build"/deb/*.deb)
unpacked="$work/unpacked"
check "Depends computed by dpkg-shlibdeps" check_depends
require "dpkg-deb -x" dpkg-deb -x "$deb" "$unpacked"
check "unpacked kestrova --version" check_version_output "$unpacked/usr/bin/kestrova"
check "unpacked kestrova --headless --tour: a picture of each command" check_tour
check "lintian: no errors" check_lintian
# Its findings, whatever their level, and how many of each.
sed 's/^/        /' "$work/lintian"
echo "        lintian: $(grep -c '^E:' "$work/lintian") errors, $(grep -c '^W:' "$work/lintian")" \
    "warnings, $(grep -c '^I:' "$work/lintian") notes"
finish
