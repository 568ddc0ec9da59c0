#!/bin/sh
# Photographs the progress dialog during a real wipe: docs/progress-dialog.png.
# Runs veltrane_job_show (a win64 build) in a Wine virtual desktop under Xvfb, so that the
# dialog has its caption, and crops the picture to the dialog.
# Needs Xvfb (xvfb-run), Wine, fonts-wine and ImageMagick's import.
#
# Usage: scripts/progress-dialog-screenshot.sh [BUILD_DIR] [OUTPUT_PNG] [report]
#   BUILD_DIR   a win64 build tree (default: build/win64)
#   OUTPUT_PNG  default: docs/progress-dialog.png (docs/report-dialog.png with "report")
#   report      photograph the report that ends a job which could not wipe everything
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/win64}" && pwd)
mode=${3:-}
default_out=$root/docs/progress-dialog.png
[ "$mode" = report ] && default_out=$root/docs/report-dialog.png
out=${2:-$default_out}
mkdir -p "$(dirname "$out")"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

cmake --build "$build" --target veltrane_job_show -j2 >/dev/null

"$root/scripts/wine-prefix.sh" "${VELTRANE_WINEPREFIX:-$root/build/wineprefix}"
program=$build/tests/job/veltrane_job_show.exe
marker=/tmp/veltrane-shot-$$.rect
rm -f "$marker"

# Inside the X server: start the wipe, wait for the dialog's rectangle, take the picture,
# then let the program cancel and tidy up.
xvfb-run -a -s "-screen 0 800x600x24" sh -c '
    set -eu
    build=$1 program=$2 marker=$3 out=$4 mode=$5
    "$build/wine-run.sh" explorer /desktop=veltrane,800x600 \
        "Z:$(echo "$program" | tr / \\\\)" "Z:$(echo "$marker" | tr / \\\\)" $mode &
    show=$!
    for i in $(seq 1 600); do
        [ -s "$marker" ] && break
        sleep 0.1
    done
    [ -s "$marker" ] || { echo "the dialog did not appear" >&2; kill $show; exit 1; }
    sleep 0.5  # let the animation and bars repaint
    import -window root -crop "$(cat "$marker")" +repage "$out"
    rm -f "$marker"
    wait $show
' sh "$build" "$program" "$marker" "$out" "$mode"
echo "wrote $out"
