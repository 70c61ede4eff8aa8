#!/bin/bash
# End-to-end benchmark through the real service, out of process: a burst of N
# files written from the Linux side into a folder a prefix drive maps (on
# tmpfs, so the disk is not what is measured), timed until the catalog plug-in
# holds every file; then the idle cost of many registered folders. Prints a
# table, writes docs/bench/results.md and docs/bench/latency.png.
#   BENCH_SIZES="1000 10000 100000"  BENCH_IDLE_FOLDERS=256  BENCH_IDLE_SECONDS=60
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TANDEM_BUILD_DIR:-$root/build}
sizes=${BENCH_SIZES:-1000 10000 100000}
idle_folders=${BENCH_IDLE_FOLDERS:-256}
idle_seconds=${BENCH_IDLE_SECONDS:-60}
out="$root/docs/bench"
command -v gnuplot >/dev/null || {
    sudo=; [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update && DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y gnuplot-nox
}
[ -n "${BENCH_NO_BUILD:-}" ] || TANDEM_BUILD_DIR="$build" "$root/scripts/build.sh" >/dev/null

export WINEPREFIX="$build/wineprefix"
w() { "$build/wine-run.sh" "$@" </dev/null; }
ctl() { w "$build/bin/tandemctl.exe" "$@" 2>/dev/null | tr -d '\r'; }
drive=/dev/shm/tandem-bench-$$
mkdir -p "$drive"
ln -sfn "$drive" "$WINEPREFIX/dosdevices/b:"

cleanup() {
    set +e
    for f in $(ctl list | awk 'NR > 1 && $1 ~ /^B:/ {print $1}'); do ctl unregister Bench "$f" >/dev/null; done
    w net stop Tandem >/dev/null 2>&1
    ctl uninstall >/dev/null
    rm -f "$WINEPREFIX/dosdevices/b:"
    rm -rf "$drive"
    WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null
}
trap cleanup EXIT

ctl install >/dev/null
w net start Tandem >/dev/null 2>&1
service_pid() { pgrep -f 'bin\\tandem.exe|bin/tandem.exe' | head -n 1; }
# Service CPU seconds (user + system) and peak resident set (kB) from /proc.
cpu_seconds() { awk -v hz="$(getconf CLK_TCK)" '{printf "%.2f", ($14 + $15) / hz}' "/proc/$1/stat"; }
peak_kb() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }
rss_kb() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
now() { date +%s.%N; }

rows=()
for n in $sizes; do
    folder="$drive/Burst$n"
    mkdir -p "$folder"
    ctl register Bench "B:\\Burst$n" >/dev/null
    pid=$(service_pid)
    cpu0=$(cpu_seconds "$pid")
    python3 "$root/scripts/bench_writer.py" "$folder" "$n"
    written=$(now)
    deadline=$((SECONDS + 600))
    held=0
    while [ $SECONDS -lt $deadline ]; do
        held=$(ctl catalog "B:\\Burst$n" | wc -l)
        [ "$held" -ge "$n" ] && break
        sleep 0.5
    done
    after=$(awk -v a="$written" -v b="$(now)" 'BEGIN {printf "%.1f", b - a}')
    unique=$(ctl catalog "B:\\Burst$n" | cut -f 1 | sort -u | wc -l)
    lost=$((n - unique)); [ $lost -lt 0 ] && lost=0
    doubled=$((held - unique))
    cpu=$(awk -v a="$cpu0" -v b="$(cpu_seconds "$pid")" 'BEGIN {printf "%.2f", b - a}')
    reference=$(w "$build/bin/monitor_bench.exe" "$n" 2>/dev/null | tr -d '\r' | grep "^bare loop" | sed "s/^bare loop: //" | head -n 1 || true)
    rows+=("$n|$after|$lost|$doubled|$cpu|$(peak_kb "$pid")|${reference:-n/a}")
    ctl unregister Bench "B:\\Burst$n" >/dev/null
    rm -rf "$folder"
done

# Idle: many registered folders, nothing happening.
pid=$(service_pid)
rss0=$(rss_kb "$pid")
for i in $(seq "$idle_folders"); do
    mkdir -p "$drive/Idle$i"
    ctl register Bench "B:\\Idle$i" >/dev/null
done
sleep 5
rss1=$(rss_kb "$pid")
cpu0=$(cpu_seconds "$pid")
sleep "$idle_seconds"
idle_cpu=$(awk -v a="$cpu0" -v b="$(cpu_seconds "$pid")" 'BEGIN {printf "%.2f", b - a}')
per_folder=$(( (rss1 - rss0) / idle_folders ))

machine="$(nproc) cores, $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo), $(uname -r), $(wine64 --version 2>/dev/null || echo wine)"
mkdir -p "$out"
{
    echo "Machine: $machine; files on tmpfs ($drive). $(date -u +%F)"
    echo
    echo "| files | s after last write | lost | doubled | service CPU s | service peak RSS kB | bare ReadDirectoryChangesW loop (monitor_bench) |"
    echo "|---|---|---|---|---|---|---|"
    for row in "${rows[@]}"; do echo "| ${row//|/ | } |"; done
    echo
    echo "Idle: $idle_folders folders, ${idle_seconds} s: service CPU ${idle_cpu} s, about ${per_folder} kB resident per folder."
} | tee "$out/results.md"
for row in "${rows[@]}"; do echo "${row%%|*} $(echo "$row" | cut -d'|' -f2)"; done >"$out/latency.dat"
gnuplot <<EOT
set terminal png size 640,400
set output "$out/latency.png"
set logscale x
set xlabel "files written"
set ylabel "seconds after the last write"
set title "Burst until every file is in the catalog"
plot "$out/latency.dat" using 1:2 with linespoints title "tandem + TandemCatalog"
EOT
rm -f "$out/latency.dat"
