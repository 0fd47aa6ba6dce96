# Sourced by the Windows scripts: where the cross-built dependencies live and how each is built.
#
# Each dependency is built from Debian's source package into its own folder of the cache,
# ${QUILLON_WINDOWS_DEPS:-~/.cache/quillon-windows}/<name>-<version>-<key>, where the key is a digest of the
# function that builds it (its options), of the toolchain and of the keys of what it builds on. A folder
# with its stamp is complete and is reused; changing a recipe builds that dependency (and those above it)
# anew in a new folder.

QW_REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
QW_CACHE="${QUILLON_WINDOWS_DEPS:-$HOME/.cache/quillon-windows}"
QW_TOOLCHAIN="$QW_REPO/cmake/mingw-w64.cmake"
QW_HOST=x86_64-w64-mingw32
QW_JOBS="${QUILLON_WINDOWS_JOBS:-2}"

# Debian's source package and version of each dependency (bookworm).
declare -A QW_SOURCE=(
    [openssl]="openssl=3.0.17-1~deb12u2"
    [curl]="curl=7.88.1-10+deb12u15"
    [googletest]="googletest=1.12.1-0.2"
    [libdeflate]="libdeflate=1.14-1"
    [minizip]="zlib=1:1.2.13.dfsg-1"
    [qtbase]="qt6-base=6.4.2+dfsg-10"
)
QW_ORDER=(libdeflate minizip googletest openssl curl qtbase)
declare -A QW_NEEDS=([curl]="openssl")

qw_digest() { sha256sum | cut -c1-12; }

# The folder a dependency is installed in; the same answer wherever the repository is cloned.
qw_prefix() {
    local name=$1 key
    key="$({
        declare -f "qw_build_$name"
        echo "${QW_SOURCE[$name]}"
        cat "$QW_TOOLCHAIN"
        "$QW_HOST-g++-posix" -dumpfullversion 2>/dev/null
        for dep in ${QW_NEEDS[$name]:-}; do qw_prefix "$dep"; done
    } | qw_digest)"
    local version="${QW_SOURCE[$name]#*=}"
    version="${version#*:}"
    echo "$QW_CACHE/$name-${version//[^A-Za-z0-9.+-]/_}-$key"
}

# Every dependency's folder, separated by ';' as CMake's CMAKE_PREFIX_PATH wants it.
qw_prefix_path() {
    local out=() name
    for name in "${QW_ORDER[@]}"; do out+=("$(qw_prefix "$name")"); done
    (IFS=';'; echo "${out[*]}")
}

# Unpacks a source package (with Debian's patches) into the current folder and enters its tree.
qw_unpack() {
    apt-get source -qq "$1" >/dev/null 2>&1 || {
        echo "build-deps: 'apt-get source $1' failed (is a deb-src line set up? scripts/setup-windows adds it)" >&2
        return 1
    }
    cd "$(find . -mindepth 1 -maxdepth 1 -type d | head -n 1)"
}

qw_cmake() {
    cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE="$QW_TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release "$@" >cmake.log 2>&1 || {
        tail -n 40 cmake.log >&2
        return 1
    }
}

qw_build_openssl() {
    ./Configure mingw64 no-shared no-tests no-module --cross-compile-prefix="$QW_HOST-" \
        --prefix="$1" --libdir=lib >configure.log 2>&1
    make -j"$QW_JOBS" build_libs >make.log 2>&1
    make install_dev >install.log 2>&1
}

qw_build_curl() {
    local ssl
    ssl="$(qw_prefix openssl)"
    qw_cmake -S . -B build -DCMAKE_INSTALL_PREFIX="$1" -DCMAKE_PREFIX_PATH="$ssl" -DOPENSSL_ROOT_DIR="$ssl" \
        -DOPENSSL_USE_STATIC_LIBS=ON -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
        -DCURL_USE_OPENSSL=ON -DCURL_USE_SCHANNEL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBPSL=OFF \
        -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF \
        -DENABLE_MANUAL=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none
    cmake --build build -j"$QW_JOBS" >build.log 2>&1
    cmake --install build >install.log 2>&1
}

qw_build_googletest() {
    qw_cmake -S . -B build -DCMAKE_INSTALL_PREFIX="$1" -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF
    cmake --build build -j"$QW_JOBS" >build.log 2>&1
    cmake --install build >install.log 2>&1
}

qw_build_libdeflate() {
    # 1.14 has a plain Makefile; only the static library is wanted (named the MSVC way for Windows).
    make -j"$QW_JOBS" CC="$QW_HOST-gcc-posix" AR="$QW_HOST-ar" libdeflatestatic.lib >make.log 2>&1
    install -D -m 644 libdeflatestatic.lib "$1/lib/libdeflate.a"
    install -D -m 644 libdeflate.h "$1/include/libdeflate.h"
}

qw_build_minizip() {
    # zlib's contrib: the zip writer and reader over the zlib the compiler's own folder has.
    cd contrib/minizip
    local objects=() f
    for f in ioapi iowin32 zip unzip mztools; do
        "$QW_HOST-gcc-posix" -O2 -c "$f.c" -o "$f.o" -I../.. -DNOCRYPT 2>>compile.log
        objects+=("$f.o")
    done
    "$QW_HOST-ar" rcs libminizip.a "${objects[@]}"
    install -D -m 644 libminizip.a "$1/lib/libminizip.a"
    mkdir -p "$1/include/minizip"
    install -m 644 ioapi.h iowin32.h zip.h unzip.h mztools.h "$1/include/minizip/"
}

qw_build_qtbase() {
    # Static Core, Gui, Widgets and Test with the windows platform plugin and the windowsvista style,
    # using Debian's own Qt 6.4.2 build tools (moc, rcc, uic). Freetype stays on for the offscreen
    # platform the GUI tests use; Debian's source has no wintab, so no tablet events; direct2d stays on
    # (the DirectWrite font code needs it).
    qw_cmake -S . -B build -DCMAKE_INSTALL_PREFIX="$1" -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake -DBUILD_SHARED_LIBS=OFF \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF -DQT_GENERATE_SBOM=OFF \
        -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_opengl=OFF -DINPUT_opengl=no \
        -DFEATURE_opengl_dynamic=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=ON \
        -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF -DFEATURE_harfbuzz=ON -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF -DFEATURE_jpeg=OFF \
        -DFEATURE_system_doubleconversion=OFF -DFEATURE_icu=OFF -DFEATURE_sql_sqlite=OFF
    cmake --build build -j"$QW_JOBS" >build.log 2>&1 || {
        grep -m 20 -B 2 -A 10 "error" build.log >&2
        return 1
    }
    cmake --install build >install.log 2>&1
}
