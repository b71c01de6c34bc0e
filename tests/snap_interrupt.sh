#!/bin/bash
# Interrupts corvane-snap part-way through a long export and a long
# --make-sample, with SIGINT and with SIGTERM: it must end as the signal
# would (status 130 or 143), leave no temporary file, and every output left
# must be whole.
set -euo pipefail
snap=$1
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "snap_interrupt: $*" >&2; exit 1; }

# Waits (up to 60 s) until a file matching the pattern exists.
wait_for() {
    for _ in $(seq 600); do
        compgen -G "$1" >/dev/null && return 0
        sleep 0.1
    done
    fail "nothing matching $1 appeared"
}

"$snap" --make-sample 1280x720 40 clip_1280x720.yuv
frame_bmp=$((54 + 1280 * 720 * 3))

for signal in INT TERM; do
    expected=$((128 + $(kill -l $signal)))
    rm -f out_*.bmp long.yuv .corvane-snap-*

    "$snap" --frame all clip_1280x720.yuv out_%02d.bmp 2>export.err &
    pid=$!
    wait_for "out_0[0-9].bmp"
    kill -$signal $pid
    status=0
    wait $pid || status=$?
    [ $status -eq $expected ] || fail "export after SIG$signal: status $status, expected $expected"
    compgen -G ".corvane-snap-*" >/dev/null && fail "export after SIG$signal left a temporary file"
    for picture in out_*.bmp; do
        [ "$(stat -c %s "$picture")" -eq $frame_bmp ] || fail "$picture is not whole"
    done
    kept=$(ls out_*.bmp | wc -l)
    [ "$kept" -lt 40 ] || fail "export after SIG$signal finished before the signal"
    grep -q "interrupted: $kept outputs complete" export.err || fail "export said: $(cat export.err)"

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
echo "snap_interrupt: passed"
