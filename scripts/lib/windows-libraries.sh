# Builds the libraries the Windows program needs from Debian's own source packages, with the mingw-w64 toolchain,
# into a cache folder that later runs reuse: PCRE2, libcurl (Schannel, Windows' own TLS), libzip and SQLite. zlib
# comes built, from libz-mingw-w64-dev. OpenCC is not among them: the archive this machine reaches serves neither its
# nor marisa-trie's source tarballs (404), so the Windows program takes OpenCC's character tables as the Linux
# OpenCC reads them, written out by the Linux build (see platform/chinese_variants_table.cpp). Sourced by
# scripts/windows; sets $windows_prefix.

windows_cache=${VARNHOLT_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/varnholt-windows}
windows_prefix=$windows_cache/prefix
windows_toolchain=$repo/cmake/mingw-w64-x86_64.cmake
windows_packages=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine64 nsis dpkg-dev tcl
                  cmake ninja-build nlohmann-json3-dev libcli11-dev googletest)

# The source packages, each at the version this Debian release has, built in this order.
windows_sources=(pcre2 curl libzip sqlite3 cpp-httplib)

# Runs apt-get with a source list of its own under the cache: the deb-src line for the archive the system uses, so
# that the sources are those of the packages the Linux build links.
cache_apt() {
    local apt=$windows_cache/apt
    apt-get -o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent \
        -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o Debug::NoLocking=1 "$@"
}

fetch_windows_sources() {
    local apt=$windows_cache/apt
    mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$windows_cache/sources"
    if [ ! -s "$apt/sources.list" ]; then
        local uri suite
        uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
        [ -n "$uri" ] || uri=$(awk '$1 == "deb" {print $2; exit}' /etc/apt/sources.list)
        suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
        echo "deb-src $uri $suite main" > "$apt/sources.list"
        echo "deb-src $uri $suite-updates main" >> "$apt/sources.list"
        cache_apt update -qq
    fi
    cd "$windows_cache/sources"
    for package in "${windows_sources[@]}"; do
        compgen -G "$windows_cache/sources/$package-*/" >/dev/null && continue
        echo "== Source package $package" >&2
        cache_apt source -qq "$package" >/dev/null
    done
    cd "$repo"
}

source_of() {
    local found
    found=$(compgen -G "$windows_cache/sources/$1-*/" | head -n 1)
    echo "${found%/}"
}

cross_cmake() {
    local name=$1 source=$2
    shift 2
    cmake -S "$source" -B "$windows_cache/build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$windows_toolchain" -DVARNHOLT_WINDOWS_PREFIX="$windows_prefix" \
        -DCMAKE_INSTALL_PREFIX="$windows_prefix" -DCMAKE_PREFIX_PATH="$windows_prefix" -DBUILD_SHARED_LIBS=OFF \
        -DCMAKE_POSITION_INDEPENDENT_CODE=OFF -DZLIB_LIBRARY=/usr/x86_64-w64-mingw32/lib/libz.a \
        -DZLIB_INCLUDE_DIR=/usr/x86_64-w64-mingw32/include "$@" >/dev/null
    cmake --build "$windows_cache/build/$name" -j "$jobs" >/dev/null
}

build_pcre2() {
    cross_cmake pcre2 "$(source_of pcre2)" -DPCRE2_BUILD_PCRE2_8=ON -DPCRE2_BUILD_PCRE2_32=ON -DPCRE2_SUPPORT_JIT=ON \
        -DPCRE2_BUILD_TESTS=OFF -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_SUPPORT_LIBBZ2=OFF -DPCRE2_SUPPORT_LIBZ=OFF \
        -DPCRE2_SUPPORT_LIBREADLINE=OFF -DPCRE2_SUPPORT_LIBEDIT=OFF
    cmake --install "$windows_cache/build/pcre2" >/dev/null
}

build_curl() {
    cross_cmake curl "$(source_of curl)" -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DBUILD_CURL_EXE=OFF \
        -DBUILD_TESTING=OFF -DHTTP_ONLY=ON -DCURL_USE_LIBSSH2=OFF -DUSE_LIBIDN2=OFF -DUSE_NGHTTP2=OFF \
        -DCURL_ZLIB=ON -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DENABLE_MANUAL=OFF -DCURL_DISABLE_LDAP=ON -DENABLE_UNICODE=ON
    cmake --install "$windows_cache/build/curl" >/dev/null
}

build_libzip() {
    cross_cmake libzip "$(source_of libzip)" -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
        -DENABLE_GNUTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF -DENABLE_COMMONCRYPTO=OFF \
        -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
    cmake --install "$windows_cache/build/libzip" >/dev/null
}

# SQLite's source tree makes its one-file amalgamation with tclsh on the build machine; that file is then compiled
# for Windows.
build_sqlite3() {
    local source build=$windows_cache/build/sqlite3
    source=$(source_of sqlite3)
    mkdir -p "$build" "$windows_prefix/include" "$windows_prefix/lib"
    (cd "$build" && "$source/configure" --disable-tcl >/dev/null && make -j "$jobs" sqlite3.c >/dev/null)
    x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -c "$build/sqlite3.c" \
        -o "$build/sqlite3.o"
    rm -f "$windows_prefix/lib/libsqlite3.a"
    x86_64-w64-mingw32-ar rcs "$windows_prefix/lib/libsqlite3.a" "$build/sqlite3.o"
    cp "$build/sqlite3.h" "$build/sqlite3ext.h" "$windows_prefix/include/"
}

# cpp-httplib as its source package has it: one header, whole (the Debian package's header is the half that its
# shared library completes). nlohmann-json and CLI11 are headers in their packages.
build_cpp-httplib() {
    mkdir -p "$windows_prefix/headers"
    cp "$(source_of cpp-httplib)/httplib.h" "$windows_prefix/headers/"
    cp -r /usr/include/nlohmann /usr/include/CLI "$windows_prefix/headers/"
}

build_windows_libraries() {
    ensure_packages "${windows_packages[@]}"
    fetch_windows_sources
    mkdir -p "$windows_prefix"
    for package in "${windows_sources[@]}"; do
        [ -e "$windows_cache/built-$package" ] && continue
        echo "== Building $package for Windows" >&2
        "build_$package"
        touch "$windows_cache/built-$package"
    done
}
