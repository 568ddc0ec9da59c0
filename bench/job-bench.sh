#!/bin/sh
# The wipe job's own cost under Wine with the real progress dialog (see
# tests/job/JobBench.cpp): processor time of the shell's thread over a long wipe, and the
# job's time per selected item for many empty files, each with the wait between polls
# and, for comparison, with a loop that polls without pause.
#
# Usage: bench/job-bench.sh [BUILD_DIR] [-- benchmark options: --big-mb N --files N --spin]
#   BUILD_DIR  a win64 build tree (default: build/win64)
# Run it on an otherwise idle machine: Wine's thread start and the wineserver's replies
# dominate the figures and grow with the load.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win64
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
    build=$1
    shift
fi
[ "${1:-}" = "--" ] && shift
build=$(cd "$build" && pwd)
cmake --build "$build" --target veltrane_job_bench -j2 >/dev/null
uptime
xvfb-run -a "$build/wine-run.sh" "$build/tests/job/veltrane_job_bench.exe" "$@"
