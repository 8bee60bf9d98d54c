#!/bin/sh
# Runs a Windows program under Wine: winerun.sh QT-FOLDER WINE-FOLDER PROGRAM [ARGUMENTS...]
# The prefix is WINE-FOLDER/prefix (made on first use); Qt's and MinGW's DLLs come from the path.
# A QtTest program asked for "-o -,txt" writes its report to WINE-FOLDER/reports/<program>.txt,
# shown here too, because Wine leaves a console program's own output empty.
qt=$1
folder=$2
program=$3
shift 3
mkdir -p "$folder"
export WINEPREFIX="$folder/prefix" WINEDEBUG=-all
runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
threads=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")
export WINEPATH="$qt/bin;$runtime;$threads"
# Wine passes no QT_* variable on to Windows programs: the platform asked for is put in the
# prefix's own environment (the registry) once, before the first program of the prefix runs.
if [ -n "${QT_QPA_PLATFORM:-}" ]; then
    (
        flock 9
        stamp="$WINEPREFIX/prefwright-platform-$QT_QPA_PLATFORM"
        if [ ! -f "$stamp" ]; then
            rm -f "$WINEPREFIX"/prefwright-platform-*
            wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d "$QT_QPA_PLATFORM" /f >/dev/null 2>&1
            wineserver -w
            touch "$stamp"
        fi
    ) 9>"$folder/platform.lock"
fi
# Wine's own processes (a console host, the server) may outlive the program and would hold on to
# whatever output it was given, keeping ctest waiting: it writes to a file, shown afterwards.
output=$(mktemp "${TMPDIR:-/tmp}/winerun.XXXXXX")
trap 'rm -f "$output"' EXIT
if [ "$1" = "-o" ] && [ "$2" = "-,txt" ]; then
    shift 2
    mkdir -p "$folder/reports"
    report="$folder/reports/$(basename "$program" .exe).txt"
    # Wine now and then fails to start a process (STATUS_DLL_INIT_FAILED): a program that wrote
    # no report never ran, and is started again.
    for attempt in 1 2 3; do
        rm -f "$report"
        wine "$program" -o "$report,txt" "$@" </dev/null >"$output" 2>&1
        code=$?
        [ -s "$report" ] && break
    done
    cat "$output"
    [ -f "$report" ] && cat "$report"
    exit $code
fi
wine "$program" "$@" </dev/null >"$output" 2>&1
code=$?
cat "$output"
exit $code
