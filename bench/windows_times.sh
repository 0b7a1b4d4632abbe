#!/usr/bin/env bash
# The Windows program's sizes and times under Wine, beside the Linux program's in the same run: medians of five.
#   bench/windows_times.sh   (after scripts/windows and a Linux build in build/test or VARNHOLT_LINUX_BINARY)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
out=$repo/build/windows
linux=${VARNHOLT_LINUX_BINARY:-$repo/build/test/src/app/varnholt}
wine=/usr/lib/wine/wine64
export WINEPREFIX=$out/wine WINEDEBUG=-all
work=$(mktemp -d)
trap 'kill ${xvfb:-0} 2>/dev/null; rm -rf "$work"' EXIT

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
milliseconds() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

echo "| what | bytes |"
echo "|---|---:|"
echo "| varnholt.exe (stripped) | $(stat -c %s "$out/varnholt.exe") |"
echo "| $(basename "$out"/varnholt-setup-*.exe) | $(stat -c %s "$out"/varnholt-setup-*.exe) |"
echo

archive() {
    for round in 1 2 3 4 5; do
        rm -rf "$work/store"
        local started
        started=$(date +%s%N)
        "$@" >/dev/null 2>&1
        milliseconds "$started"
    done | median
}
windows_archive=$(archive "$wine" "$out/varnholt.exe" --demo --store "Z:$work/store" archive)
linux_archive=$(archive "$linux" --demo --store "$work/store" archive)

display=:$((180 + RANDOM % 50))
Xvfb "$display" -screen 0 1280x900x24 >/dev/null 2>&1 &
xvfb=$!
sleep 1
shown=$(for round in 1 2 3 4 5; do
    started=$(date +%s%N)
    DISPLAY=$display "$wine" "$out/varnholt.exe" --demo --store "Z:$work/window" >/dev/null 2>&1 &
    DISPLAY=$display xdotool search --sync --onlyvisible --class varnholt.exe >/dev/null
    milliseconds "$started"
    /usr/lib/wine/wineserver -k || true
    sleep 0.5
done | median)

echo "| whole command, wall time (median of 5) | Windows program under Wine | Linux program |"
echo "|---|---:|---:|"
echo "| archive --demo (58 articles, from a fresh store) | $windows_archive ms | $linux_archive ms |"
echo "| start-up to a shown window (--demo) | $shown ms | |"
