#!/bin/sh
# What the command line costs on trees of small files, side by side in one run: the built
# 64-bit veltrane.exe under Wine against the same walk with nothing around it, and against
# GNU shred, each on an identical tree of FILES files of 4 KiB (folders of 100):
#   walk     veltrane_job_bench --walk: the worker's walk and the engine in a test program,
#            timed inside that process;
#   command  veltrane.exe --method M -r -q TREE, timed from outside, less the median start
#            of a Wine console program (veltrane.exe --version) measured in the same run;
#   shred    find TREE -type f -exec shred -u -n N {} + and rm -r for its folders.
# Medians of REPS rounds, for every method and every tree size; then 100 files named one
# by one on the command line against the walk of their folder.
#
# Usage: bench/cli-bench.sh [BUILD_DIR] [--files "1000 10000"] [--reps N]
#   BUILD_DIR  a win64 build tree (default: build/win64)
# Run it by hand on an otherwise idle machine; it is no test. With the defaults it takes
# about half an hour (Gutmann on 10,000 files is most of it).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win64
sizes="1000 10000"
reps=3
while [ $# -gt 0 ]; do
    case $1 in
        --files) sizes=$2; shift 2 ;;
        --reps) reps=$2; shift 2 ;;
        -*) echo "usage: $0 [BUILD_DIR] [--files \"N ...\"] [--reps N]" >&2; exit 1 ;;
        *) build=$1; shift ;;
    esac
done
build=$(cd "$build" && pwd)

cmake --build "$build" --target veltrane_exe veltrane_job_bench -j2 >/dev/null

bench_kind=cli
. "$root/bench/common.sh"
exe=$build/src/shellext/veltrane.exe
run_exe() { "$build/wine-run.sh" "$exe" "$@"; }
walk_ms() {
    "$build/wine-run.sh" "$build/tests/job/veltrane_job_bench.exe" --walk "$1" "$2" |
        tr -d '\r' | sed -n 's/^walk_ms=//p'
}

# name (the walk's key), the command line's name, passes
methods="Random:random:1 Random2:random2:2 DoDQuick:dodquick:3 DoD:dod:7 NATO:nato:7 Gutmann:gutmann:35"

echo "veltrane.exe: $exe"
echo "64-bit under $(wine --version 2>/dev/null || echo Wine); $(shred --version | head -n 1)"
machine_line

: >"$scratch/start"
for _ in $(seq $(( reps * 3 ))); do
    t=$(now_ms)
    run_exe --version >/dev/null
    echo $(( $(now_ms) - t )) >>"$scratch/start"
done
start=$(median <"$scratch/start")
echo "start of veltrane.exe --version under Wine: $start ms (median), taken off each command"

tree=$scratch/tree
for files in $sizes; do
    echo
    printf '%s files of 4 KiB (medians of %s)  %9s %10s %9s %9s %9s\n' "$files" "$reps" \
        "walk s" "command s" "cmd/walk" "shred s" "cmd/shred"
    for m in $methods; do
        name=${m%%:*}; rest=${m#*:}; option=${rest%%:*}; passes=${rest#*:}
        : >"$scratch/walk"; : >"$scratch/command"; : >"$scratch/shred"
        for _ in $(seq "$reps"); do
            python3 "$root/bench/make-tree.py" "$tree" "$files"
            walk_ms "$name" "$(winpath "$tree")" >>"$scratch/walk"
            [ ! -e "$tree" ] || { echo "  (the walk left part of the tree)"; rm -rf "$tree"; }

            python3 "$root/bench/make-tree.py" "$tree" "$files"
            t=$(now_ms)
            run_exe --method "$option" -r -q "$(winpath "$tree")" >/dev/null ||
                echo "  (veltrane.exe did not wipe everything)"
            echo $(( $(now_ms) - t - start )) >>"$scratch/command"
            [ ! -e "$tree" ] || { echo "  (the command left part of the tree)"; rm -rf "$tree"; }

            python3 "$root/bench/make-tree.py" "$tree" "$files"
            t=$(now_ms)
            find "$tree" -type f -exec shred -u -n "$passes" {} +
            rm -r "$tree"
            echo $(( $(now_ms) - t )) >>"$scratch/shred"
        done
        awk -v n="$name ($passes)" -v w="$(median <"$scratch/walk")" \
            -v c="$(median <"$scratch/command")" -v s="$(median <"$scratch/shred")" \
            'BEGIN { printf "  %-34s %9.2f %10.2f %9.2f %9.2f %9.2f\n", n, w / 1000, c / 1000, c / w, s / 1000, c / s }'
    done
done

# Items named one by one: each is its own worker, so what the command line spends between
# two items shows here (100 files of one folder, named relative to it; Random).
echo
printf '100 files of 4 KiB named one by one (medians of %s)  %9s %10s %9s\n' "$reps" \
    "walk s" "command s" "cmd/walk"
: >"$scratch/walk"; : >"$scratch/command"
for _ in $(seq "$reps"); do
    python3 "$root/bench/make-tree.py" "$tree" 100
    walk_ms Random "$(winpath "$tree/d00")" >>"$scratch/walk"
    python3 "$root/bench/make-tree.py" "$tree" 100
    t=$(now_ms)
    (cd "$tree/d00" && run_exe --method random -q f*.dat >/dev/null) ||
        echo "  (veltrane.exe did not wipe everything)"
    echo $(( $(now_ms) - t - start )) >>"$scratch/command"
    rm -rf "$tree"
done
awk -v w="$(median <"$scratch/walk")" -v c="$(median <"$scratch/command")" \
    'BEGIN { printf "  %-47s %9.2f %10.2f %9.2f\n", "Random (1)", w / 1000, c / 1000, c / w }'
