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
done
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
