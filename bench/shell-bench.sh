#!/bin/sh
# What the shell extension's commands cost, side by side in one run: the built 64-bit
# veltrane.dll under Wine, driven as Explorer drives it (bench/ShellBench.cpp), on this
# machine's disk, against plain write+flush passes and against GNU shred.
#
#   1. One plain write+flush pass and one delete of a MIB-MiB file; each method's wipe of
#      that file and its ratio to the same number of plain passes plus the delete
#      (medians of REPS rounds).
#   2. A command on a 1 KiB file: the first in a process and a later one (medians over
#      RUNS fresh processes), with what the parts of a small job cost.
#   3. A tree of FILES files of 4 KiB (in folders of 100) per method, against
#      `shred -u -n N` on an identical tree (plus rm -r for its folders); medians of
#      TREE_REPS rounds.
#
# Usage: bench/shell-bench.sh [BUILD_DIR] [--mib N] [--files N] [--reps N] [--runs N]
#                             [--tree-reps N] [--dll PATH]
#   BUILD_DIR  a win64 build tree (default: build/win64)
#   --dll      another veltrane.dll to measure (an older build, say; its pencil.avi beside it)
# Run it by hand on an otherwise idle machine; it is no test. It takes a few minutes.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win64
mib=256
files=1000
reps=5
runs=5
treereps=3
dllpath=
while [ $# -gt 0 ]; do
    case $1 in
        --mib) mib=$2; shift 2 ;;
        --files) files=$2; shift 2 ;;
        --reps) reps=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --tree-reps) treereps=$2; shift 2 ;;
        --dll) dllpath=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2 ;;
        -*) echo "usage: $0 [BUILD_DIR] [--mib N] [--files N] [--reps N] [--runs N] [--tree-reps N] [--dll PATH]" >&2
            exit 1 ;;
        *) build=$1; shift ;;
    esac
done
build=$(cd "$build" && pwd)

# One display for the whole run: the commands show their dialog.
if [ -z "${VELTRANE_BENCH_DISPLAY:-}" ]; then
    VELTRANE_BENCH_DISPLAY=1 exec xvfb-run -a "$0" "$build" --mib "$mib" --files "$files" \
        --reps "$reps" --runs "$runs" --tree-reps "$treereps" ${dllpath:+--dll "$dllpath"}
fi

cmake --build "$build" --target veltrane veltrane_shell_bench veltrane_job_bench -j2 >/dev/null

bench_kind=run
. "$root/bench/common.sh"
dll=$(winpath "${dllpath:-$build/src/shellext/veltrane.dll}")
bench() { "$build/wine-run.sh" "$build/bench/veltrane_shell_bench.exe" "$dll" "$@"; }
value() { tr -d '\r' | sed -n "s/^$1=//p"; }

# name, menu offset, passes
methods="Random:0:1 Random2:1:2 DoDQuick:2:3 DoD:3:7 NATO:4:7 Gutmann:5:35"

echo "Veltrane shell extension: ${dllpath:-$build/src/shellext/veltrane.dll}"
echo "64-bit DLL under $(wine --version 2>/dev/null || echo Wine), Xvfb"
machine_line

# 1. The big file. Each round measures plain passes and deletes, then every method once;
#    a method's ratio is taken against its own round's plain figures, so that the disk's
#    drift over the minutes of the run does not enter it. Medians of the rounds.
big=$scratch/big.bin
for round in $(seq "$reps"); do
    dd if=/dev/zero of="$big" bs=1M count="$mib" conv=fsync status=none
    plain=$(bench plain "$(winpath "$big")" 3)
    pass=$(echo "$plain" | value plain_pass_ms)
    delete=$(echo "$plain" | value delete_ms)
    echo "$pass" >>"$scratch/pass"
    echo "$delete" >>"$scratch/delete"
    for m in $methods; do
        name=${m%%:*}; rest=${m#*:}; offset=${rest%%:*}; passes=${rest#*:}
        dd if=/dev/zero of="$big" bs=1M count="$mib" conv=fsync status=none
        ms=$(bench wipe "$offset" "$(winpath "$big")" | value command_ms)
        echo "$ms" >>"$scratch/$name"
        awk -v ms="$ms" -v p="$pass" -v d="$delete" -v k="$passes" \
            'BEGIN { print k * p + d; }' >>"$scratch/$name.base"
        awk -v ms="$ms" -v p="$pass" -v d="$delete" -v k="$passes" \
            'BEGIN { print ms / (k * p + d) }' >>"$scratch/$name.ratio"
    done
done
rm -f "$big"
echo
printf '%s MiB file (medians of %s rounds)       %10s %12s %7s\n' "$mib" "$reps" "ms" "plain ms" "ratio"
printf '  %-32s %10.1f\n' "plain write+flush pass" "$(median <"$scratch/pass")" \
    "delete" "$(median <"$scratch/delete")"
for m in $methods; do
    name=${m%%:*}; passes=${m##*:}
    printf '  %-32s %10.1f %12.1f %7.3f\n' "$name ($passes)" "$(median <"$scratch/$name")" \
        "$(median <"$scratch/$name.base")" "$(median <"$scratch/$name.ratio")"
done

# 2. Small files: fresh processes, each with a first command and ten later ones.
small=$scratch/small
mkdir -p "$small"
: >"$scratch/first"
: >"$scratch/later"
for _ in $(seq "$runs"); do
    out=$(bench small "$(winpath "$small")" 10)
    echo "$out" | value first_ms >>"$scratch/first"
    echo "$out" | value later_ms >>"$scratch/later"
done
echo
printf '1 KiB file, one command (median of %s processes)  %8s %8s\n' "$runs" "ms" "goal"
printf '  %-46s %8.1f %8s\n' "first command in a process" "$(median <"$scratch/first")" "<= 50" \
    "later command" "$(median <"$scratch/later")" "<= 15"
echo "  the parts of a small job in $build (core library in a test program; ms):"
"$build/wine-run.sh" "$build/tests/job/veltrane_job_bench.exe" --phases 10 | tr -d "\r" | sed 's/^/    /'

# 3. Trees: the same files for Veltrane and for shred.
make_tree() { python3 "$root/bench/make-tree.py" "$1" "$files"; }
echo
printf '%s files of 4 KiB, folders of 100 (medians of %s)  %10s %16s %7s\n' "$files" "$treereps" \
    "Veltrane s" "shred -u -n N s" "ratio"
tree=$scratch/tree
for m in $methods; do
    name=${m%%:*}; rest=${m#*:}; offset=${rest%%:*}; passes=${rest#*:}
    : >"$scratch/ours"
    : >"$scratch/shred"
    for _ in $(seq "$treereps"); do
        make_tree "$tree"
        bench wipe "$offset" "$(winpath "$tree")" | value command_ms >>"$scratch/ours"
        [ ! -e "$tree" ] || { echo "  (the tree was not removed completely)"; rm -rf "$tree"; }
        make_tree "$tree"
        start=$(now_ms)
        find "$tree" -type f -exec shred -u -n "$passes" {} +
        rm -r "$tree"
        echo $(( $(now_ms) - start )) >>"$scratch/shred"
    done
    awk -v n="$name ($passes)" -v v="$(median <"$scratch/ours")" -v s="$(median <"$scratch/shred")" \
        'BEGIN { printf "  %-42s %10.2f %16.2f %7.2f\n", n, v / 1000, s / 1000, v / s }'
done
