#!/bin/bash
# corvane-snap as a process. Interrupted part-way through a long export and a
# long --make-sample, with SIGINT and with SIGTERM, it must end as the signal
# would (status 130 or 143), leave no temporary file, and every output left
# must be whole. Standard output that cannot be written is an error.
set -euo pipefail
snap=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "snap_process: $*" >&2; exit 1; }

# Waits (up to 60 s) until a file matching the pattern exists.
wait_for() {
    for _ in $(seq 600); do
        compgen -G "$1" >/dev/null && return 0
        sleep 0.1
    done
    fail "nothing matching $1 appeared"
}

"$snap" --make-sample 1280x720 40 clip_1280x720.yuv

for signal in INT TERM; do
    expected=$((128 + $(kill -l $signal)))
    rm -f out_*.png long.yuv .corvane-snap-*

    "$snap" --frame all clip_1280x720.yuv out_%02d.png 2>export.err &
    pid=$!
    wait_for "out_0[0-9].png"
    kill -$signal $pid
    status=0
    wait $pid || status=$?
    [ $status -eq $expected ] || fail "export after SIG$signal: status $status, expected $expected"
    compgen -G ".corvane-snap-*" >/dev/null && fail "export after SIG$signal left a temporary file"
    # A whole PNG ends in its IEND chunk.
    for picture in out_*.png; do
        tail -c 8 "$picture" | cmp -s - <(printf 'IEND\xaeB`\x82') || fail "$picture is not whole"
    done
    kept=$(ls out_*.png | wc -l)
    [ "$kept" -lt 40 ] || fail "export after SIG$signal finished before the signal"
    grep -q "interrupted: $kept outputs\? complete" export.err || fail "export said: $(cat export.err)"

    "$snap" --make-sample 1920x1080 3000 long.yuv 2>sample.err &
    pid=$!
    wait_for ".corvane-snap-long.yuv*"
    kill -$signal $pid
    status=0
    wait $pid || status=$?
    [ $status -eq $expected ] || fail "--make-sample after SIG$signal: status $status, expected $expected"
    [ ! -e long.yuv ] || fail "--make-sample after SIG$signal left long.yuv"
    compgen -G ".corvane-snap-*" >/dev/null && fail "--make-sample after SIG$signal left a temporary file"
    grep -q "interrupted: 0 outputs complete" sample.err || fail "--make-sample said: $(cat sample.err)"

    # A cut of gigabytes (a sparse file costs no disk) streams into its temporary file.
    truncate -s $((690 * 3110400)) sparse_1920x1080.yuv
    rm -f cut.yuv
    "$snap" sparse_1920x1080.yuv cut.yuv 2>cut.err &
    pid=$!
    wait_for ".corvane-snap-cut.yuv*"
    kill -$signal $pid
    status=0
    wait $pid || status=$?
    [ $status -eq $expected ] || fail "a cut after SIG$signal: status $status, expected $expected"
    [ ! -e cut.yuv ] || fail "a cut after SIG$signal left cut.yuv"
    compgen -G ".corvane-snap-*" >/dev/null && fail "a cut after SIG$signal left a temporary file"
    rm -f sparse_1920x1080.yuv
done

# A full disk and a folder that cannot be written: exit 2, the system's reason,
# nothing left. A small tmpfs where this runs as root (root writes anywhere
# else); a folder without write permission otherwise.
disk_case() { # FOLDER REASON OUTPUT...
    local folder=$1 reason=$2 output
    shift 2
    for output in "$@"; do
        status=0
        "$snap" --frame 0-9 clip_1280x720.yuv "$folder/$output" 2>disk.err || status=$?
        [ $status -eq 2 ] || fail "$folder/$output: status $status, expected 2"
        grep -q "$reason" disk.err || fail "$folder/$output said: $(cat disk.err)"
        [ "$(wc -l <disk.err)" -eq 1 ] || fail "$folder/$output said more than one line: $(cat disk.err)"
        [ -z "$(ls -A "$folder")" ] || fail "$folder/$output left $(ls -A "$folder")"
    done
}
mkdir -p small locked
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=1m tmpfs small 2>/dev/null; then
    trap 'umount "$work/small" 2>/dev/null || true' EXIT
    disk_case small "No space left on device" cut.yuv cut.y4m f_%02d.bmp
    mount -o remount,ro small
    disk_case small "Read-only file system" cut.yuv cut.y4m all.framemd5 f_%02d.bmp
    umount small
elif [ "$(id -u)" -ne 0 ]; then
    chmod 555 locked
    disk_case locked "Permission denied" cut.yuv cut.y4m all.framemd5 f_%02d.bmp
    chmod 755 locked
else
    echo "snap_process: no tmpfs to fill here; the full disk is left to the hostile table"
fi
for args in "--help" "--info clip_1280x720.yuv" "--compare clip_1280x720.yuv clip_1280x720.yuv"; do
    status=0
    "$snap" $args >/dev/full 2>full.err || status=$?
    [ $status -eq 2 ] || fail "$args >/dev/full: status $status, expected 2"
    grep -q "cannot write to standard output: No space left on device" full.err || fail "$args said: $(cat full.err)"
done
# A device as OUTPUT is written in place, never renamed over or removed.
ln -sf /dev/null null.bmp
"$snap" --frame 0 clip_1280x720.yuv null.bmp || fail "a device as OUTPUT failed"
[ -L null.bmp ] && [ -c /dev/null ] || fail "the device link was replaced"
echo "snap_process: passed"
