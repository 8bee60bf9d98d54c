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
export QT_PLUGIN_PATH="$qt/plugins"
if [ "$1" = "-o" ] && [ "$2" = "-,txt" ]; then
    shift 2
    mkdir -p "$folder/reports"
    report="$folder/reports/$(basename "$program" .exe).txt"
    rm -f "$report"
    wine "$program" -o "$report,txt" "$@"
    code=$?
    [ -f "$report" ] && cat "$report"
    exit $code
fi
exec wine "$program" "$@"
