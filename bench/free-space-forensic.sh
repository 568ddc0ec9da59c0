#!/bin/bash
# What a free-space wipe leaves of deleted files, read from the raw disk, and what it costs.
#
# Forensic modes, for each file system (ext4; NTFS through ntfs-3g) on a raw image of
# IMAGE_MIB MiB, freshly made and loop-mounted:
#   files to keep (random, sha256 recorded) and marker files of 3,000 B, 1.1 MB and twenty
#   of 400 B (small enough to stay inside an NTFS file record), whose every 512-byte sector holds the
#   token VTMARK-<fs>-<size>-; sync, rm the markers, sync; unmount and count the image's
#   sectors holding a token ("before"); remount, wipe, unmount, count again ("after");
#   remount read-only: are the kept files identical, is the root as it was (fill folder
#   gone)?
#   zero      the baseline: dd if=/dev/zero bs=1M conv=fsync until the disk is full, rm, sync
#   veltrane  veltrane.exe --free-space M: --method METHOD --json under Wine, the mount point
#             mapped as drive M: of the prefix for the run
# speed: on an image of SPEED_MIB MiB per file system, dd's zero fill against veltrane.exe's
#   one-pass fill (random), SPEED_ROUNDS rounds side by side, then every other method once
#   (Gutmann skipped when 35 one-pass times would exceed GUTMANN_LIMIT_S).
#
# Usage (as root): bench/free-space-forensic.sh [zero] [veltrane] [speed] [all]
#                      [--method NAME] [--fs "ext4 ntfs"]
# Modes default to $MODE, else "zero veltrane". Environment: IMAGE_MIB (256), SPEED_MIB
# (1024), SPEED_ROUNDS (1), GUTMANN_LIMIT_S (600), METHOD (random), FILESYSTEMS,
# VELTRANE_EXE (build/win64/src/cli/veltrane.exe, else the one beside the DLL),
# WINEPREFIX (else VELTRANE_WINEPREFIX, else build/wineprefix; made if missing), DRIVE (m),
# SCRATCH (where the images go, build/bench-scratch: a real disk, not tmpfs), KEEP=1 keeps
# the images. Installs ntfs-3g if mkntfs or ntfs-3g is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scan=$root/bench/free-space-scan.py

modes=()
method=${METHOD:-random}
filesystems=${FILESYSTEMS:-ext4 ntfs}
while [ $# -gt 0 ]; do
    case $1 in
        zero | veltrane | speed) modes+=("$1"); shift ;;
        all) modes+=(zero veltrane speed); shift ;;
        --method) method=$2; shift 2 ;;
        --fs) filesystems=$2; shift 2 ;;
        *) sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 1 ;;
    esac
done
[ ${#modes[@]} -gt 0 ] || read -ra modes <<<"${MODE:-zero veltrane}"
mib=${IMAGE_MIB:-256}
speed_mib=${SPEED_MIB:-1024}
rounds=${SPEED_ROUNDS:-1}
gutmann_limit=${GUTMANN_LIMIT_S:-600}
drive=${DRIVE:-m}
drive=${drive,,}
drive=${drive%:}
if [ -n "${VELTRANE_EXE:-}" ]; then
    exe=$VELTRANE_EXE
else
    exe=$root/build/win64/src/cli/veltrane.exe
    # With the DLL in the build the program is put beside it, as setup installs it.
    [ -f "$exe" ] || exe=$root/build/win64/src/shellext/veltrane.exe
fi
export WINEPREFIX=${WINEPREFIX:-${VELTRANE_WINEPREFIX:-$root/build/wineprefix}}
export WINEDEBUG=-all WINEDLLOVERRIDES=winemenubuilder.exe=d

die() { echo "free-space-forensic: $*" >&2; exit 1; }
note() { echo "== $*" >&2; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
secs() { awk -v ms="$1" 'BEGIN { printf "%.2f", ms / 1000 }'; }
mbps() { awk -v b="$1" -v ms="$2" 'BEGIN { if (ms > 0) printf "%.0f", b / ms / 1000; else print "-" }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print int((v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

[ "$(id -u)" = 0 ] || die "run as root (loop devices and mounts)"
case " ${modes[*]} " in *" veltrane "* | *" speed "*) needs_wine=1 ;; *) needs_wine=0 ;; esac
if [[ " $filesystems " == *" ntfs "* ]] && ! { command -v mkntfs && command -v ntfs-3g; } >/dev/null; then
    note "installing ntfs-3g"
    apt-get install -y ntfs-3g >/dev/null
fi

scratch=${SCRATCH:-$root/build/bench-scratch}/free-space-$$
mkdir -p "$scratch"
[ "$(stat -f -c %T "$scratch")" != tmpfs ] || note "warning: $scratch is on tmpfs, the times are not a disk's"

mounts=()
declare -A loop_of=()
drive_link=
cleanup() {
    set +e
    for m in "${mounts[@]}"; do
        mountpoint -q "$m" && umount "$m"
    done
    for dev in "${loop_of[@]}"; do
        losetup -d "$dev" 2>/dev/null
    done
    [ -z "$drive_link" ] || rm -f "$drive_link"
    if [ "${KEEP:-0}" = 1 ]; then
        note "kept $scratch"
    elif grep -q " $scratch/" /proc/mounts; then
        # Never remove files through a mount that would not go away.
        note "still mounted under $scratch, left in place"
    else
        rm -rf --one-file-system "$scratch"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

make_fs() { # fs image MiB
    # Written out, not sparse: every block of the image is a real block of the disk.
    dd if=/dev/zero of="$2" bs=1M count="$3" conv=fsync status=none
    case $1 in
        ext4) mkfs.ext4 -q -F -b 4096 "$2" ;;
        ntfs) mkntfs -F -Q -q "$2" >/dev/null 2>&1 || mkntfs -F -Q "$2" ;;
        *) die "unknown file system $1" ;;
    esac
}

mount_fs() { # fs image mountpoint [ro]
    local dev
    dev=$(losetup -f --show ${4:+-r} "$2")
    loop_of[$3]=$dev
    mounts+=("$3")
    mkdir -p "$3"
    case $1 in
        # noload: a read-only look must not replay the journal.
        ext4)
            if [ -n "${4:-}" ]; then
                mount -t ext4 -o ro,noload "$dev" "$3"
            else
                mount -t ext4 "$dev" "$3"
                # ext4 holds back 2 % of its blocks (at most 4096) from every writer, root
                # included, for its own metadata: no fill reaches them unless this is 0.
                echo 0 >"/sys/fs/ext4/${dev#/dev/}/reserved_clusters"
            fi
            ;;
        # On the block device ntfs-3g mounts as fuseblk, whose unmount waits for its last write.
        ntfs) ntfs-3g ${4:+-o ro} "$dev" "$3" ;;
    esac
}

unmount_fs() { # mountpoint
    local dev=${loop_of[$1]} i
    sync
    for i in $(seq 20); do
        umount "$1" 2>/dev/null && break
        sleep 0.5
    done
    ! mountpoint -q "$1" || die "cannot unmount $1"
    blockdev --flushbufs "$dev"
    losetup -d "$dev"
    unset "loop_of[$1]"
    # The device lets go of the image only once its last opener (ntfs-3g) has closed it.
    for i in $(seq 100); do
        [ -e "/sys/block/${dev#/dev/}/loop/backing_file" ] || return 0
        sleep 0.1
    done
    die "$dev still holds its image"
}

free_bytes() { stat -f -c '%f %S' "$1" | awk '{ printf "%.0f", $1 * $2 }'; }

# Sets fill_ms (to the end of the fsync), wipe_ms (with the delete) and wipe_bytes.
wipe_zero() { # mountpoint
    local t
    t=$(now_ms)
    dd if=/dev/zero of="$1/zero.fill" bs=1M conv=fsync status=none 2>"$scratch/dd.err" || true
    grep -q 'No space left' "$scratch/dd.err" || { cat "$scratch/dd.err" >&2; die "dd stopped before the disk was full"; }
    # dd may give up at the full disk before its own fsync.
    sync "$1/zero.fill"
    fill_ms=$(( $(now_ms) - t ))
    wipe_bytes=$(stat -c %s "$1/zero.fill")
    rm "$1/zero.fill"
    sync
    wipe_ms=$(( $(now_ms) - t ))
}

have_exe() { [ -f "$exe" ]; }
wine_ready=0
wine_setup() {
    [ "$wine_ready" = 0 ] || return 0
    "$root/scripts/wine-prefix.sh" "$WINEPREFIX"
    wineserver -p 2>/dev/null || true
    [ ! -e "$WINEPREFIX/dosdevices/$drive:" ] && [ ! -L "$WINEPREFIX/dosdevices/$drive:" ] ||
        die "drive ${drive^^}: is already mapped in $WINEPREFIX (choose another with DRIVE=)"
    wine_ready=1
}

# Sets wipe_ms, wipe_rc and leaves the program's output in $2.json and $2.err.
wipe_veltrane() { # mountpoint output-prefix method
    local t
    wine_setup
    drive_link=$WINEPREFIX/dosdevices/$drive:
    ln -s "$1" "$drive_link"
    wipe_rc=0
    t=$(now_ms)
    wine "$exe" --free-space "${drive^^}:" --method "$3" --json >"$2.json" 2>"$2.err" || wipe_rc=$?
    wipe_ms=$(( $(now_ms) - t ))
    rm -f "$drive_link"
    drive_link=
    sed -i 's/\r$//' "$2.json" "$2.err"
}

forensic() { # mode fs; appends a table row to $scratch/table-<mode>
    local mode=$1 fs=$2 img=$scratch/$2.img mnt=$scratch/mnt-$2 size baseline before before_which
    local after after_which kept gone extra detail
    note "$mode on $fs: ${mib} MiB image"
    make_fs "$fs" "$img" "$mib"
    mount_fs "$fs" "$img" "$mnt"
    baseline=$(ls -A "$mnt")
    # 300 B stays inside an NTFS file record too: the record fill must leave it alone.
    for size in 300 20000 2097152; do
        head -c "$size" /dev/urandom >"$mnt/keep-$size.bin"
    done
    (cd "$mnt" && sha256sum keep-*.bin) >"$scratch/$fs.sha256"
    for size in 3000 1100000; do
        python3 "$scan" marker "$mnt/marker-$size.txt" "$fs" "$size"
    done
    # Twenty small ones: a new file takes a freed file record first, so one fill file
    # alone would overwrite one of them by chance.
    for n in $(seq 20); do
        python3 "$scan" marker "$mnt/marker-400-$n.txt" "$fs" 400
    done
    sync
    rm "$mnt"/marker-*.txt
    sync
    unmount_fs "$mnt"
    { read -r before; read -r before_which; } < <(python3 "$scan" scan "$img")

    mount_fs "$fs" "$img" "$mnt"
    case $mode in
        zero)
            wipe_zero "$mnt"
            detail="dd wrote $(( wipe_bytes / 1000000 )) MB"
            ;;
        veltrane)
            wipe_veltrane "$mnt" "$scratch/forensic-$fs" "$method"
            detail="exit $wipe_rc"
            { echo "veltrane.exe on $fs, exit $wipe_rc:"; head -c 4000 "$scratch/forensic-$fs.json"
              sed 's/^/stderr: /' "$scratch/forensic-$fs.err" | head -n 20; echo; } >>"$scratch/output-$mode"
            ;;
    esac
    unmount_fs "$mnt"
    { read -r after; read -r after_which; } < <(python3 "$scan" scan "$img")

    mount_fs "$fs" "$img" "$mnt" ro
    kept=no
    (cd "$mnt" && sha256sum -c --quiet "$scratch/$fs.sha256" >/dev/null 2>&1) && kept=yes
    extra=$(comm -13 <(printf '%s\n' "$baseline" keep-300.bin keep-20000.bin keep-2097152.bin | sort) \
        <(ls -A "$mnt" | sort) | paste -sd ' ')
    gone=yes
    [ -z "$extra" ] || gone="no: $extra"
    unmount_fs "$mnt"
    [ "${KEEP:-0}" = 1 ] || rm -f "$img"
    printf '| %s | %s | %s | %s | %s | %s | %s | %s |\n' "$fs" "$before" "$after" "$after_which" \
        "$kept" "$gone" "$(secs "$wipe_ms")" "$detail" >>"$scratch/table-$mode"
}

speed() { # fs; appends rows to $scratch/table-speed
    local fs=$1 img=$scratch/speed-$1.img mnt=$scratch/speed-$1 free r m passes bytes src est
    note "speed on $fs: ${speed_mib} MiB image"
    make_fs "$fs" "$img" "$speed_mib"
    mount_fs "$fs" "$img" "$mnt"
    free=$(free_bytes "$mnt")
    : >"$scratch/dd-fill"; : >"$scratch/dd-all"; : >"$scratch/dd-bytes"; : >"$scratch/v-ms"
    for r in $(seq "$rounds"); do
        wipe_zero "$mnt"
        echo "$fill_ms" >>"$scratch/dd-fill"; echo "$wipe_ms" >>"$scratch/dd-all"
        echo "$wipe_bytes" >>"$scratch/dd-bytes"
        if have_exe; then
            wipe_veltrane "$mnt" "$scratch/speed-$fs-random-$r" random
            echo "$wipe_ms" >>"$scratch/v-ms"
        fi
    done
    bytes=$(median <"$scratch/dd-bytes")
    printf '| %s | dd zero fill (1) | %s | %s | %s | %s (fill alone: %s s, %s MB/s) |\n' "$fs" \
        "$(secs "$(median <"$scratch/dd-all")")" "$bytes" \
        "$(mbps "$bytes" "$(median <"$scratch/dd-all")")" "with rm and sync" \
        "$(secs "$(median <"$scratch/dd-fill")")" "$(mbps "$bytes" "$(median <"$scratch/dd-fill")")" \
        >>"$scratch/table-speed"
    if ! have_exe; then
        printf '| %s | veltrane.exe | (not found: %s) | | | |\n' "$fs" "$exe" >>"$scratch/table-speed"
    else
        local one
        one=$(median <"$scratch/v-ms")
        read -r src bytes < <(python3 "$scan" json-bytes "$scratch/speed-$fs-random-1.json") || true
        [ -n "${bytes:-}" ] && src="JSON $src" || { bytes=$free; src="free space at the start"; }
        local fill_bytes fill_ms fill_note=
        if read -r fill_bytes fill_ms < <(python3 "$scan" json-fill "$scratch/speed-$fs-random-1.json"); then
            fill_note="; fill alone (pass 1, flushed): $(secs "$fill_ms") s, $(mbps "$fill_bytes" "$fill_ms") MB/s"
        fi
        printf '| %s | veltrane random (1) | %s | %s | %s | bytes from %s; exit %s%s |\n' "$fs" \
            "$(secs "$one")" "$bytes" "$(mbps "$bytes" "$one")" "$src" "$wipe_rc" "$fill_note" \
            >>"$scratch/table-speed"
        for m in random2:2 dodquick:3 dod:7 nato:7 gutmann:35; do
            passes=${m#*:}; m=${m%:*}
            est=$(( one * passes / 1000 ))
            if [ "$m" = gutmann ] && [ "$est" -gt "$gutmann_limit" ]; then
                printf '| %s | veltrane %s (%s) | skipped | | | about %s s at 35 x the one-pass time |\n' \
                    "$fs" "$m" "$passes" "$est" >>"$scratch/table-speed"
                continue
            fi
            wipe_veltrane "$mnt" "$scratch/speed-$fs-$m" "$m"
            printf '| %s | veltrane %s (%s) | %s | | | exit %s |\n' "$fs" "$m" "$passes" \
                "$(secs "$wipe_ms")" "$wipe_rc" >>"$scratch/table-speed"
        done
    fi
    unmount_fs "$mnt"
    [ "${KEEP:-0}" = 1 ] || rm -f "$img"
}

echo "Free-space wipe: $(date -u '+%Y-%m-%d %H:%M UTC'); $(sed -n 's/^model name[^:]*: //p' /proc/cpuinfo | head -1)," \
    "$(nproc) cores; images on $(df -T "$scratch" | awk 'NR == 2 { print $2 " " $1 }'); load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$(uname -r); $(mkfs.ext4 -V 2>&1 | head -1)$(command -v ntfs-3g >/dev/null && echo "; $(ntfs-3g --version 2>&1 | head -1)")"
if [ "$needs_wine" = 1 ]; then
    if have_exe; then
        echo "veltrane.exe: $exe; $(wine --version 2>/dev/null); prefix $WINEPREFIX, drive ${drive^^}:"
    else
        echo "veltrane.exe: not found ($exe); its rows stay empty"
    fi
fi

for mode in "${modes[@]}"; do
    for fs in $filesystems; do
        case $mode in
            zero) forensic zero "$fs" ;;
            veltrane)
                if have_exe; then
                    forensic veltrane "$fs"
                else
                    printf '| %s | | | (veltrane.exe not found) | | | | |\n' "$fs" >>"$scratch/table-veltrane"
                fi
                ;;
            speed) speed "$fs" ;;
        esac
    done
    echo
    case $mode in
        zero | veltrane)
            [ "$mode" = zero ] && echo "### zero fill (dd, the baseline), ${mib} MiB images" ||
                echo "### veltrane.exe --free-space --method $method, ${mib} MiB images"
            echo
            echo "| File system | marker sectors before the wipe | marker sectors after | left after (marker size: sectors) | kept files identical | fill folder gone | time s | wipe |"
            echo "|---|---:|---:|---|---|---|---:|---|"
            cat "$scratch/table-$mode"
            if [ -s "$scratch/output-$mode" ]; then
                echo
                cat "$scratch/output-$mode"
            fi
            ;;
        speed)
            echo "### speed, ${speed_mib} MiB images (medians of $rounds round(s); MB = 10^6 bytes)"
            echo
            echo "| File system | fill | time s | bytes written | MB/s | note |"
            echo "|---|---|---:|---:|---:|---|"
            cat "$scratch/table-speed"
            ;;
    esac
done
