#!/bin/sh
# Builds FreeType for WebAssembly from Debian's own source package, pinned to the version the
# native build uses, and installs it into PREFIX (lib/libfreetype.a, include/freetype2,
# lib/pkgconfig/freetype2.pc). Emscripten's own FreeType port would be downloaded from the
# internet; this needs only the machine's Debian mirror.
#
#   sh tools/build-freetype-wasm.sh PREFIX
#
# The source comes through a private deb-src list and private package lists kept beside PREFIX;
# the system's apt configuration is read (the mirror's address) but never changed. A PREFIX
# that already holds this version is left as it is, so the result is a cache.
set -eu

version="2.12.1+dfsg-5+deb12u4"
[ $# -eq 1 ] || { echo "usage: $0 PREFIX" >&2; exit 2; }
prefix=$(realpath -m "$1")
stamp="$prefix/.freetype-version"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$version" ] && [ -f "$prefix/lib/libfreetype.a" ]; then
    exit 0
fi

export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"  # emcc's optimiser needs Debian's node modules
for tool in emcmake apt-get dpkg-source cmake; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (sh tools/install-deps.sh test)" >&2; exit 1; }
done

work="$prefix.work"
rm -rf "$work" "$prefix"
mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial"

# deb-src lines for the mirrors the system's own "deb" entries name, in either format.
sources="$work/apt/sources.list"
{
    cat /etc/apt/sources.list 2>/dev/null | sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p'
    for f in /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk '
            function flush() {
                if (types ~ /(^| )deb( |$)/ && uris != "" && suites != "") {
                    n = split(uris, u, " "); m = split(suites, s, " ")
                    for (i = 1; i <= n; i++) for (j = 1; j <= m; j++)
                        printf "deb-src %s%s %s %s\n", key, u[i], s[j], comps
                }
                types = uris = suites = comps = key = ""
            }
            /^[[:space:]]*$/ { flush(); next }
            /^#/ { next }
            $1 == "Types:" { $1 = ""; types = substr($0, 2) }
            $1 == "URIs:" { $1 = ""; uris = substr($0, 2) }
            $1 == "Suites:" { $1 = ""; suites = substr($0, 2) }
            $1 == "Components:" { $1 = ""; comps = substr($0, 2) }
            $1 == "Signed-By:" && NF == 2 { key = "[signed-by=" $2 "] " }
            END { flush() }
        ' "$f"
    done
} | sort -u > "$sources"
if [ ! -s "$sources" ]; then
    echo "$0: no Debian mirror found in /etc/apt/sources.list*" >&2
    exit 1
fi

# Each step's output goes to a log, shown when the step fails.
log="$work/log"
step() {
    "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "$0: failed: $*" >&2; exit 1; }
}
apt_private() {
    apt-get -q -o Dir::Etc::SourceList="$sources" -o Dir::Etc::SourceParts=/dev/null \
        -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache" \
        -o Debug::NoLocking=1 -o APT::Sandbox::User=root "$@"
}
echo "Building FreeType $version for wasm in $prefix"
step apt_private update
fetch_source() { (cd "$work" && apt_private source "freetype=$version"); }
step fetch_source
src=$(find "$work" -maxdepth 1 -type d -name 'freetype-*' | head -n 1)
[ -n "$src" ] || { echo "$0: apt-get source gave no freetype folder" >&2; exit 1; }

step emcmake cmake -S "$src" -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DFT_DISABLE_ZLIB=TRUE -DFT_DISABLE_BZIP2=TRUE -DFT_DISABLE_PNG=TRUE \
    -DFT_DISABLE_HARFBUZZ=TRUE -DFT_DISABLE_BROTLI=TRUE
step cmake --build "$work/build" -j2
step cmake --install "$work/build"
echo "$version" > "$stamp"
rm -rf "$work"
