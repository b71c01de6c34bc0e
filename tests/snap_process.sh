#!/bin/bash
# corvane-snap as a process. Interrupted part-way through a long export and a
# long --make-sample, with SIGINT, SIGTERM and SIGHUP, it must end as the
# signal would (status 130, 143 or 129), leave no temporary file, and every
# output left must be whole. A reader of standard output that goes away ends
# the run quietly as SIGPIPE would, with no file left. Standard output that
# cannot be written is an error. A write-protected file is never replaced
# (unless by root, as cp does), a replaced file keeps its mode, and what a
# killed run left is removed by the next one.
set -euo pipefail
snap=$(realpath "$1")
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

for signal in INT TERM HUP; do
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
    # Without a terminal there is no progress line to end: the message starts the output.
    head -n 1 sample.err | grep -q "^corvane-snap: interrupted" || fail "--make-sample began with: $(head -n 1 sample.err)"

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

# A reader that has enough (| head): status 141, nothing said, no file left.
# The lines for standard output (megabytes) outgrow any pipe's buffer.
truncate -s $((20000 * 38016)) sparse_qcif.yuv
status=$( ("$snap" --compare --metric psnr,ssim sparse_qcif.yuv sparse_qcif.yuv --stats - \
    --ssim-stats s.txt 2>pipe.err; echo $? >pipe.status) | head -c 10 >/dev/null; cat pipe.status)
[ "$status" -eq 141 ] || fail "a closed pipe: status $status, expected 141"
[ ! -s pipe.err ] || fail "a closed pipe said: $(cat pipe.err)"
[ ! -e s.txt ] || fail "a closed pipe left s.txt"
compgen -G ".corvane-snap-*" >/dev/null && fail "a closed pipe left a temporary file"
rm -f sparse_qcif.yuv

# Write protection as an ordinary user sees it: refused with the system's
# reason, the file and its mode untouched; a replaced file keeps its mode.
# Where this runs as root, an unprivileged user runs it in a folder of its own.
as_user=()
mkdir -p own
if [ "$(id -u)" -eq 0 ]; then
    if setpriv --reuid=nobody --regid=nogroup --clear-groups true 2>/dev/null; then
        chown nobody own
        as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
    else
        echo "snap_process: no unprivileged user here; write protection is left to the hostile table"
    fi
fi
if [ "$(id -u)" -ne 0 ] || [ ${#as_user[@]} -gt 0 ]; then
    "${as_user[@]}" "$snap" --frame 0 clip_1280x720.yuv own/k.png
    "${as_user[@]}" cp own/k.png own/g.png
    "${as_user[@]}" chmod 444 own/k.png
    "${as_user[@]}" chmod 640 own/g.png
    cp own/k.png k.png.old
    status=0
    "${as_user[@]}" "$snap" --frame 1 clip_1280x720.yuv own/k.png 2>own.err || status=$?
    [ $status -eq 2 ] || fail "a write-protected OUTPUT: status $status, expected 2"
    [ "$(cat own.err)" = "corvane-snap: cannot write 'own/k.png': Permission denied" ] ||
        fail "a write-protected OUTPUT said: $(cat own.err)"
    cmp -s own/k.png k.png.old && [ "$(stat -c %a own/k.png)" = 444 ] || fail "the write-protected file changed"
    "${as_user[@]}" "$snap" --frame 1 clip_1280x720.yuv own/g.png
    [ "$(stat -c %a own/g.png)" = 640 ] || fail "a replaced 640 file became $(stat -c %a own/g.png)"
    [ "$(ls -A own | wc -l)" -eq 2 ] || fail "write protection left $(ls -A own)"
fi
# Root overwrites a write-protected file as cp does, and it stays protected.
if [ "$(id -u)" -eq 0 ]; then
    "$snap" --frame 0 clip_1280x720.yuv root.png
    chmod 444 root.png
    cp root.png root.png.old
    "$snap" --frame 1 clip_1280x720.yuv root.png || fail "root could not replace a protected file"
    ! cmp -s root.png root.png.old && [ "$(stat -c %a root.png)" = 444 ] || fail "root's protected file: $(ls -l root.png)"
fi

# A run killed outright leaves its temporary file; once it has lain a minute
# the next run into that folder removes it, and its own output arrives.
mkdir -p killed
"$snap" --make-sample 1920x1080 3000 killed/long.yuv 2>/dev/null &
pid=$!
wait_for "killed/.corvane-snap-long.yuv*"
kill -KILL $pid
wait $pid || true
compgen -G "killed/.corvane-snap-long.yuv.$pid-*.part" >/dev/null || fail "SIGKILL left no temporary file"
touch -d '2 minutes ago' killed/.corvane-snap-*
"$snap" --frame 0 clip_1280x720.yuv killed/k.png
[ "$(ls -A killed)" = k.png ] || fail "the killed run's leftovers stayed: $(ls -A killed)"

# The report as a browser draws it: headless Chromium, without network, shows
# the page, the worst frame's number and its figures.
if command -v chromium >/dev/null 2>&1; then
    "$snap" --make-sample 320x240 6 ref_320x240.yuv
    # The distorted clip: every sample up by 1, frame 4's by 9 (the worst), frame 2's by 3.
    python3 -c '
import sys
data = bytearray(open("ref_320x240.yuv", "rb").read())
size = len(data) // 6
for f, offset in enumerate([1, 1, 3, 1, 9, 1]):
    for i in range(f * size, (f + 1) * size):
        data[i] = min(data[i] + offset, 255)
open("dist_320x240.yuv", "wb").write(data)'
    "$snap" --compare --metric psnr,ssim ref_320x240.yuv dist_320x240.yuv --report page.html --json page.json \
        --worst 2 >/dev/null
    figure=$(python3 -c 'import json; print("%.2f" % json.load(open("page.json"))["frames"][4]["psnr"]["psnr_avg"])')
    browser=(chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run
             --disable-background-networking --disable-component-update --disable-sync
             --user-data-dir="$PWD/chromium-profile")
    timeout 120 "${browser[@]}" --dump-dom "file://$PWD/page.html" >dom.html 2>chromium.err ||
        fail "chromium could not draw the report: $(tail -n 3 chromium.err)"
    grep -q '<h3>Frame 4</h3>' dom.html || fail "the drawn report has no worst frame 4"
    grep -q "psnr_avg <b>$figure</b>" dom.html || fail "the drawn report lacks frame 4's psnr_avg $figure"
    grep -q '<section id="worst">' dom.html || fail "the drawn report has no worst frames"
    timeout 120 "${browser[@]}" --window-size=1200,1600 --screenshot="$PWD/page.png" "file://$PWD/page.html" \
        >/dev/null 2>>chromium.err || fail "chromium took no screenshot: $(tail -n 3 chromium.err)"
    [ "$(stat -c %s page.png)" -gt 20000 ] || fail "the report's screenshot is nearly empty"
else
    echo "snap_process: no chromium here; the report is not drawn"
fi

echo "snap_process: passed"
