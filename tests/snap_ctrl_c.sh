#!/bin/bash
# corvane-snap.exe under Wine, interrupted by Ctrl-C (Wine turns SIGINT into
# the console's Ctrl-C event) part-way through a long --make-sample and a long
# export: it must end with STATUS_CONTROL_C_EXIT, as Ctrl-C ends a Windows
# program, leave no temporary file, and keep only whole pictures.
set -euo pipefail
run=$1
snap=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "snap_ctrl_c: $*" >&2; exit 1; }
# Wine hands back the low byte of STATUS_CONTROL_C_EXIT (0xC000013A).
expected=$((0x3A))
# A name no other process has on its command line: only ours is interrupted.
token=ctrlc_$$_$RANDOM

wait_for() {
    for _ in $(seq 600); do
        compgen -G "$1" >/dev/null && return 0
        sleep 0.1
    done
    fail "nothing matching $1 appeared"
}

interrupt() {
    local pids
    pids=$(pgrep -f "corvane-snap.exe .*$token" || true)
    [ -n "$pids" ] || fail "no corvane-snap.exe running for $token"
    for pid in $pids; do kill -INT "$pid"; done
}

"$run" "$snap" --make-sample 1280x720 40 clip_1280x720.yuv

"$run" "$snap" --make-sample 1920x1080 3000 "${token}_long.yuv" 2>sample.err &
launcher=$!
wait_for ".corvane-snap-${token}_long.yuv*"
interrupt
status=0
wait $launcher || status=$?
[ $status -eq $expected ] || fail "--make-sample after Ctrl-C: status $status, expected $expected"
[ ! -e "${token}_long.yuv" ] || fail "--make-sample after Ctrl-C left its clip"
compgen -G ".corvane-snap-*" >/dev/null && fail "--make-sample after Ctrl-C left a temporary file"
grep -q "interrupted: 0 outputs complete" sample.err || fail "--make-sample said: $(cat sample.err)"

"$run" "$snap" --frame all clip_1280x720.yuv "${token}_%02d.png" 2>export.err &
launcher=$!
wait_for "${token}_0[0-9].png"
interrupt
status=0
wait $launcher || status=$?
[ $status -eq $expected ] || fail "export after Ctrl-C: status $status, expected $expected"
compgen -G ".corvane-snap-*" >/dev/null && fail "export after Ctrl-C left a temporary file"
for picture in "${token}"_*.png; do
    tail -c 8 "$picture" | cmp -s - <(printf 'IEND\xaeB`\x82') || fail "$picture is not whole"
done
kept=$(ls "${token}"_*.png | wc -l)
grep -q "interrupted: $kept outputs\? complete" export.err || fail "export said: $(cat export.err)"
echo "snap_ctrl_c: passed"
