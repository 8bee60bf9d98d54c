# The Windows build, its tests under Wine and its packages; sourced by prefwright.sh, which sets
# root, jobs and need_packages.

qt_version=6.4.2
qt_cache=${XDG_CACHE_HOME:-$HOME/.cache}/prefwright
qt_windows=$qt_cache/qt$qt_version-mingw64
qt_shared=$root/../shared/toolchains/qt-$qt_version-mingw64.tar.xz

# Qt for Windows: the shared copy when it is beside the repository, otherwise built once from
# Debian's own source into the cache.
windows_qt() {
    [ -f "$qt_windows/lib/cmake/Qt6/qt.toolchain.cmake" ] && return 0
    mkdir -p "$qt_cache"
    local unpacking="$qt_cache/unpacking"
    rm -rf "$unpacking"
    mkdir -p "$unpacking"
    if [ -f "$qt_shared" ]; then
        echo "Unpacking Qt $qt_version for Windows from $qt_shared"
        tar -xJf "$qt_shared" -C "$unpacking"
    else
        windows_qt_from_source "$unpacking/qt$qt_version-mingw64"
    fi
    rm -rf "$qt_windows"
    mv "$unpacking/qt$qt_version-mingw64" "$qt_windows"
    rm -rf "$unpacking"
}

windows_qt_from_source() { # prefix
    echo "Building Qt $qt_version for Windows from Debian's qt6-base source into $qt_cache."
    echo "This is done once and takes about an hour on 2 cores."
    need_packages dpkg-dev xz-utils
    local sources=$qt_cache/source
    mkdir -p "$sources"
    if ! ls "$sources"/qt6-base_$qt_version*.orig.tar.xz >/dev/null 2>&1; then
        if ! apt-get source --print-uris qt6-base >/dev/null 2>&1 || [ -z "$(apt-get source --print-uris qt6-base 2>/dev/null | grep orig)" ]; then
            [ "$(id -u)" -eq 0 ] || { echo "Debian's source packages are not enabled; as root this script enables them." >&2; exit 1; }
            local list=/etc/apt/sources.list.d/debian.sources
            [ -f "$list" ] || { echo "No $list to take the source entry from." >&2; exit 1; }
            # The same archive and key as the binary packages, for source.
            sed -n '/^Types:.*deb/,/^$/p' "$list" | sed 's/^Types:.*/Types: deb-src/; s/^Suites:.*/Suites: bookworm/; s/^Components:.*/Components: main/' \
                > /etc/apt/sources.list.d/prefwright-qt-source.sources
            apt-get update -qq
        fi
        (cd "$sources" && apt-get source --download-only qt6-base >/dev/null)
    fi
    local tree=$sources/qtbase
    rm -rf "$tree" "$sources/build"
    mkdir -p "$tree" "$sources/build"
    tar -xJf "$(ls "$sources"/qt6-base_$qt_version*.orig.tar.xz | head -n 1)" -C "$tree" --strip-components=1
    cmake -G Ninja -S "$tree" -B "$sources/build" \
        -DCMAKE_TOOLCHAIN_FILE="$root/resources/windows/mingw-w64-x86_64.cmake" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$1" -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DFEATURE_sql=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF \
        -DFEATURE_concurrent=ON -DFEATURE_vulkan=OFF -DFEATURE_openssl=OFF -DFEATURE_schannel=ON \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
        -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF >/dev/null
    cmake --build "$sources/build" --parallel "$jobs"
    cmake --install "$sources/build" >/dev/null
    rm -rf "$tree" "$sources/build"
}

windows_build() { # build-dir
    local dir=$1
    windows_qt
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPFW_BUILD_BENCH=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$qt_windows/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/resources/windows/mingw-w64-x86_64.cmake" \
        -DQT_HOST_PATH=/usr \
        "-DCMAKE_CROSSCOMPILING_EMULATOR=$root/tests/support/winerun.sh;$qt_windows;$dir/wine" >/dev/null
    cmake --build "$dir" --parallel "$jobs"
}

windows_test() { # build-dir
    local dir=$1 reports=$1/wine/reports
    rm -rf "$reports"
    local failed=0
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$jobs" --timeout 900) || failed=1
    # What ran, what passed and what was skipped, and why, counted from the test programs' reports.
    local passed=0 failures=0 skipped=0 programs=0 line
    for report in "$reports"/*.txt; do
        [ -f "$report" ] || continue
        programs=$((programs + 1))
        line=$(grep '^Totals: ' "$report" | tail -n 1 || true)
        set -- $(printf '%s\n' "$line" | sed -E 's/^Totals: ([0-9]+) passed, ([0-9]+) failed, ([0-9]+) skipped.*/\1 \2 \3/')
        [ $# -eq 3 ] && { passed=$((passed + $1)); failures=$((failures + $2)); skipped=$((skipped + $3)); }
    done
    if [ "$skipped" -gt 0 ]; then
        echo "Skipped on Windows:"
        grep -h '^SKIP   : ' "$reports"/*.txt | tr -d '\r' | sed -E 's/^SKIP   : ([^(]+\([^)]*\)) /  \1: /' | sort
    fi
    # Last, so that the end of a long log still names what failed and where.
    if [ "$failures" -gt 0 ]; then
        echo "Failed on Windows:"
        grep -h -A 1 '^FAIL!  : ' "$reports"/*.txt | tr -d '\r' | grep -v '^--$' | sed 's/^/  /'
    fi
    echo "Windows tests (under Wine): $programs programs, $passed test functions passed, $failures failed, $skipped skipped."
    [ "$failed" -eq 0 ]
}

windows_package() { # build-dir
    local dir=$1
    local version
    version=$(sed -nE 's/^project\(Prefwright VERSION ([0-9.]+).*/\1/p' "$root/CMakeLists.txt")
    local name=Prefwright-$version stage=$dir/stage
    rm -rf "$stage"
    cmake --install "$dir" --prefix "$stage/$name" --strip >/dev/null
    local zip=$dir/$name-windows-x64.zip setup=$dir/$name-setup.exe
    rm -f "$zip" "$setup"
    (cd "$stage" && zip -qrX "$zip" "$name")
    # The installer installs, and its uninstaller removes, exactly the staged files.
    local files=$stage/files.nsh unfiles=$stage/unfiles.nsh path folder
    : >"$files"
    : >"$unfiles"
    while IFS= read -r folder; do
        folder=${folder#./}
        if [ "$folder" = . ]; then
            echo "SetOutPath \"\$INSTDIR\"" >>"$files"
        else
            echo "SetOutPath \"\$INSTDIR\\${folder//\//\\}\"" >>"$files"
        fi
        while IFS= read -r path; do
            path=${path#./}
            echo "File \"$stage/$name/$path\"" >>"$files"
            echo "Delete \"\$INSTDIR\\${path//\//\\}\"" >>"$unfiles"
        done < <(cd "$stage/$name" && find "./$folder" -mindepth 1 -maxdepth 1 -type f | sort)
    done < <(cd "$stage/$name" && find . -type d | sort)
    while IFS= read -r folder; do
        folder=${folder#./}
        echo "RMDir \"\$INSTDIR\\${folder//\//\\}\"" >>"$unfiles"
    done < <(cd "$stage/$name" && find . -mindepth 1 -type d | sort -r)
    makensis -V2 -DVERSION="$version" -DSTAGE="$stage/$name" -DFILES="$files" -DUNFILES="$unfiles" \
        -DOUTFILE="$setup" "$root/resources/windows/prefwright.nsi" >/dev/null
    echo "Built $zip"
    echo "Built $setup"
    windows_package_check "$dir" "$zip" "$setup" "$name"
}

# Each package in a new Wine prefix with nothing on its path: what it lacks, it shows.
windows_package_check() { # build-dir zip setup name
    local dir=$1 zip=$2 setup=$3 name=$4 check=$1/wine/package-check
    local expected="ok: 74 items, 339 values, compact layout" result
    rm -rf "$check"
    mkdir -p "$check/unpacked" "$check/pictures"
    cp "$root/examples/core-001-pxi.settings" "$check/core-001-pxi.settings"
    (cd "$check/unpacked" && unzip -q "$zip")
    local programs=$check/unpacked/$name
    result=$(WINEPREFIX="$check/zip-prefix" WINEDEBUG=-all WINEPATH= wine "$programs/prefwright-cli.exe" check "$check/core-001-pxi.settings" | tr -d '\r')
    [ "$result" = "$expected" ] || { echo "The zip's prefwright-cli.exe check says: $result" >&2; exit 1; }
    WINEPREFIX="$check/zip-prefix" WINEDEBUG=-all WINEPATH= \
        wine "$programs/prefwright.exe" -platform offscreen --screenshots "$check/pictures" "$check/core-001-pxi.settings" \
        || { echo "The zip's prefwright.exe --screenshots failed" >&2; exit 1; }
    local pictures
    pictures=$(find "$check/pictures" -name '*.png' | wc -l)
    [ "$pictures" -ge 20 ] || { echo "The zip's prefwright.exe wrote $pictures pictures" >&2; exit 1; }
    WINEPREFIX="$check/zip-prefix" wineserver -k 2>/dev/null || true
    echo "The zip runs in a new Wine prefix: $result; $pictures pictures"

    export WINEPREFIX="$check/setup-prefix" WINEDEBUG=-all WINEPATH=
    wine "$setup" /S
    wineserver -w
    local installed
    installed=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Local/Programs/Prefwright' -type d | head -n 1)
    [ -n "$installed" ] && [ -f "$installed/prefwright-cli.exe" ] \
        || { echo "The installer did not install prefwright-cli.exe under AppData\\Local\\Programs" >&2; exit 1; }
    find "$WINEPREFIX/drive_c/users" -name 'Prefwright.lnk' | grep -q . || { echo "The installer made no Start-menu entry" >&2; exit 1; }
    result=$(wine "$installed/prefwright-cli.exe" check "$check/core-001-pxi.settings" | tr -d '\r')
    [ "$result" = "$expected" ] || { echo "The installed prefwright-cli.exe check says: $result" >&2; exit 1; }
    wine "$installed/uninstall.exe" /S
    wineserver -w
    [ ! -e "$installed" ] || { echo "The uninstaller left $installed:" >&2; find "$installed" >&2; exit 1; }
    unset WINEPREFIX WINEDEBUG WINEPATH
    echo "The installer installs per user, runs ($result) and uninstalls in a new Wine prefix"
}
