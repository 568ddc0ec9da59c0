# What the benchmark scripts share; sourced with $root set to the top of the tree and
# $bench_kind naming the scratch folder's kind. Sets WINEPREFIX (the build's prefix, made
# if need be, with its server kept running) and $scratch (removed again at exit).
export WINEPREFIX="${VELTRANE_WINEPREFIX:-$root/build/wineprefix}"
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"
wineserver -p 2>/dev/null || true

scratch=$root/build/bench-scratch/$bench_kind-$$
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# The date, the processor, the scratch disk and the load: what the figures were taken on.
machine_line() {
    echo "$(date -u '+%Y-%m-%d %H:%M UTC'); $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1)," \
        "$(nproc) cores; $(df -T "$scratch" | awk 'NR == 2 { print $2 }') on $(df "$scratch" | awk 'NR == 2 { print $1 }');" \
        "load $(cut -d' ' -f1-3 /proc/loadavg)"
}
