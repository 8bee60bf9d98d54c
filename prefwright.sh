#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds Prefwright and runs it or its tests.
#   ./prefwright.sh run [FILE]        build and start Prefwright (on a copy of the demo file
#                                     when no PixInsight settings file is found)
#   ./prefwright.sh test              build and run every test
#   ./prefwright.sh test --sanitize   the same under AddressSanitizer and UBSan
#   ./prefwright.sh test --no-gui     build without the window (no QtWidgets): the core, the CLI
#                                     and their tests (build-nogui/)
#   ./prefwright.sh format [--check]  format every C++ source with clang-format; --check only says
#                                     which files are not formatted, and fails
#   ./prefwright.sh fuzz [SECONDS]    fuzz the settings reader (needs clang)
#   ./prefwright.sh bench             reader and writer benchmarks
#   ./prefwright.sh windows [STEP]    cross-build for Windows with MinGW-w64 (build-windows/); STEP is
#                                     build (only that), test (build and run every test under Wine),
#                                     package (build, then the zip and the installer, each checked in a
#                                     new Wine prefix) or all (the default: build, test and package)
#   ./prefwright.sh package           build the Debian package (build/prefwright_*.deb)
#   ./prefwright.sh package-check     build it, validate it as a distribution would (desktop-file-validate,
#                                     appstreamcli, lintian), unpack it and run it from there
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

need_packages() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "These packages are missing. Install them with:" >&2
        echo "  sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
}

base_packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-l10n-tools libgl-dev git groff-base procps)

configure_and_build() { # build-dir, cmake options...
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" --parallel "$jobs"
}

run_tests() { # build-dir
    (cd "$1" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$jobs")
}

source "$root/resources/windows/windows.sh"

command=${1:-test}
shift || true
case "$command" in
run)
    need_packages "${base_packages[@]}"
    configure_and_build "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    args=("$@")
    # A settings file named on the command line wins; option values are not file names.
    named_file=
    expect_value=
    for arg in "${args[@]}"; do
        if [ -n "$expect_value" ]; then expect_value=; continue; fi
        case "$arg" in
            --screenshots|--screenshot-search|--theme|--font-scale) expect_value=1 ;;
            -*) ;;
            *) named_file=1 ;;
        esac
    done
    if [ -z "$named_file" ]; then
        config=${XDG_CONFIG_HOME:-$HOME/.config}
        found=$(find "$HOME/.PixInsight" "$config/Pleiades" "$HOME/.config/Pleiades" -maxdepth 1 -type f \
                    -iname 'core-*-pxi.settings' 2>/dev/null | head -n 1 || true)
        if [ -z "$found" ]; then
            # Work on a fresh copy: the bundled demo itself is never modified.
            scratch="$root/build/demo/Pleiades"
            mkdir -p "$scratch"
            cp "$root/examples/core-001-pxi.settings" "$scratch/core-001-pxi.settings"
            echo "No PixInsight settings file found; opening a copy of the demo: $scratch/core-001-pxi.settings"
            args+=("$scratch/core-001-pxi.settings")
        fi
    fi
    exec "$root/build/app/prefwright" "${args[@]}"
    ;;
test)
    need_packages "${base_packages[@]}"
    if [ "${1:-}" = "--sanitize" ]; then
        configure_and_build "$root/build-sanitize" -DCMAKE_BUILD_TYPE=Debug -DPFW_SANITIZE=ON -DPFW_BUILD_BENCH=OFF
        ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests "$root/build-sanitize"
    elif [ "${1:-}" = "--no-gui" ]; then
        configure_and_build "$root/build-nogui" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPFW_BUILD_GUI=OFF -DPFW_BUILD_BENCH=OFF
        run_tests "$root/build-nogui"
    else
        configure_and_build "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
        run_tests "$root/build"
    fi
    ;;
format)
    need_packages git clang-format
    mapfile -t sources < <(git -C "$root" ls-files '*.cpp' '*.h')
    if [ "${1:-}" = "--check" ]; then
        clang-format --dry-run --Werror "${sources[@]/#/$root/}"
        echo "All ${#sources[@]} sources are formatted."
    else
        clang-format -i "${sources[@]/#/$root/}"
    fi
    ;;
fuzz)
    seconds=${1:-60}
    need_packages "${base_packages[@]}" clang libclang-rt-14-dev
    configure_and_build "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
        -DPFW_FUZZ=ON -DPFW_BUILD_TESTS=OFF -DPFW_BUILD_BENCH=OFF
    corpus="$root/build-fuzz/corpus"
    mkdir -p "$corpus"
    # New inputs go to the build folder's corpus; the seeds in the repository are only read.
    "$root/build-fuzz/fuzz/xsdtfuzz" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
        -max_len=65536 -print_final_stats=1 -artifact_prefix="$root/build-fuzz/" \
        "$corpus" "$root/tests/data" "$root/examples"
    echo "Fuzzing ran ${seconds} s without a finding."
    ;;
windows)
    step=${1:-all}
    case "$step" in build|test|package|all) ;; *) echo "usage: $0 windows [build|test|package|all]" >&2; exit 2 ;; esac
    need_packages "${base_packages[@]}" g++-mingw-w64-x86-64-posix wine wine64 nsis xz-utils zip unzip
    windows_build "$root/build-windows"
    if [ "$step" = test ] || [ "$step" = all ]; then windows_test "$root/build-windows"; fi
    if [ "$step" = package ] || [ "$step" = all ]; then windows_package "$root/build-windows"; fi
    ;;
package|package-check)
    if [ "$command" = package ]; then
        need_packages "${base_packages[@]}" dpkg-dev
    else
        # What a distribution checks a package with.
        need_packages "${base_packages[@]}" dpkg-dev desktop-file-utils appstream lintian man-db
    fi
    configure_and_build "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    rm -f "$root"/build/prefwright_*.deb
    (cd "$root/build" && cpack -G DEB >/dev/null)
    deb=$(ls "$root"/build/prefwright_*.deb)
    echo "Built $deb"
    [ "$command" = package ] && exit 0
    scratch="$root/build/package-root"
    rm -rf "$scratch"
    dpkg -x "$deb" "$scratch"
    id=io.github.prefwright.prefwright
    for file in usr/bin/prefwright usr/bin/prefwright-cli usr/share/applications/$id.desktop \
                usr/share/metainfo/$id.metainfo.xml usr/share/icons/hicolor/48x48/apps/$id.png \
                usr/share/icons/hicolor/512x512/apps/$id.png usr/share/doc/prefwright/copyright \
                usr/share/doc/prefwright/changelog.gz usr/share/man/man1/prefwright.1.gz \
                usr/share/man/man1/prefwright-cli.1.gz usr/share/bash-completion/completions/prefwright-cli; do
        [ -e "$scratch/$file" ] || { echo "The package lacks /$file" >&2; exit 1; }
    done
    dpkg-deb -f "$deb" Depends | grep -q libqt6core6 || { echo "The package does not depend on Qt" >&2; exit 1; }
    # Each validator fails the check on anything it reports, down to hints and pedantic notes.
    report=$(appstreamcli validate --pedantic --no-net "$scratch/usr/share/metainfo/$id.metainfo.xml" 2>&1) \
        || { echo "$report" >&2; exit 1; }
    if printf '%s\n' "$report" | grep -qE '^[EWIP]: '; then
        echo "appstreamcli reports:" >&2
        echo "$report" >&2
        exit 1
    fi
    report=$(desktop-file-validate "$scratch/usr/share/applications/$id.desktop" 2>&1) \
        || { echo "$report" >&2; exit 1; }
    [ -z "$report" ] || { echo "desktop-file-validate reports: $report" >&2; exit 1; }
    # lintian: errors fail, warnings are listed (it warns against running as root; that is not the package's).
    report=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' || true)
    [ -z "$report" ] || echo "lintian: $report"
    if printf '%s\n' "$report" | grep -q '^E: '; then
        echo "lintian found errors." >&2
        exit 1
    fi
    # The manual pages render, and the completion completes from the unpacked files.
    for page in prefwright prefwright-cli; do
        rendered=$(MANWIDTH=80 man -l "$scratch/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
        [ -z "$rendered" ] || { echo "man -l $page.1.gz: $rendered" >&2; exit 1; }
        MANWIDTH=80 man -l "$scratch/usr/share/man/man1/$page.1.gz" | grep -q "^NAME" \
            || { echo "man -l $page.1.gz shows no page" >&2; exit 1; }
    done
    completed=$(PATH="$scratch/usr/bin:$PATH" bash -c \
        'source "$1"; COMP_WORDS=(prefwright-cli se); COMP_CWORD=1; _prefwright_cli; echo "${COMPREPLY[*]}"' \
        _ "$scratch/usr/share/bash-completion/completions/prefwright-cli")
    [ "$completed" = set ] || { echo "The completion turns 'prefwright-cli se' into '$completed'" >&2; exit 1; }
    # Run the unpacked programs, on a copy of the demo so that nothing in the repository changes.
    demo="$scratch/core-001-pxi.settings"
    cp "$root/examples/core-001-pxi.settings" "$demo"
    result=$("$scratch/usr/bin/prefwright-cli" check "$demo")
    [ "$result" = "ok: 74 items, 339 values, compact layout" ] || { echo "Unexpected: $result" >&2; exit 1; }
    QT_QPA_PLATFORM=offscreen "$scratch/usr/bin/prefwright" --version >/dev/null
    echo "The package unpacks, validates and runs: $result"
    ;;
bench)
    # Stream and DOM parsers to measure the reader against; the programs never link them.
    need_packages "${base_packages[@]}" libexpat1-dev libpugixml-dev
    configure_and_build "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    "$root/build/bench/xsdtbench"
    "$root/build/bench/historybench"
    "$root/build/bench/pollbench"
    "$root/build/bench/savebench"
    "$root/build/bench/memorybench"
    "$root/build/bench/windowbench"
    "$root/build/bench/viewbench"
    "$root/build/bench/modelbench"
    ;;
*)
    echo "usage: $0 run [FILE] | test [--sanitize] | fuzz [SECONDS] | bench | windows [STEP] | package | package-check" >&2
    exit 2
    ;;
esac
