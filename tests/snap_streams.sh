#!/bin/bash
# corvane-snap reading streams. Each row runs one mode on the same clip
# three ways, from the file, from standard input and from a FIFO, and the
# three must agree byte for byte: status, standard output, messages (the
# input's name aside) and every file written. Then the hostile cases: two
# FIFOs at once, streams cut inside a header or a frame, a header longer
# than a pipe holds, a reader that goes away, and an endless stream stopped
# by a signal.
set -euo pipefail
snap=$(realpath "$1")
work=$2
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "snap_streams: $*" >&2; exit 1; }

"$snap" --make-sample 176x144 12 clip_176x144.yuv
"$snap" clip_176x144.yuv clip.y4m
"$snap" --make-sample 176x144 14 long_176x144.yuv
"$snap" --frame 1-10 long_176x144.yuv other.y4m
mkfifo pipe.fifo pipe2.fifo endless.fifo

# One run of ARGS with @IN standing for the input, read as $1 (file, stdin
# or fifo) from $2; what it did goes into the folder "seen.$1".
run_as() {
    local how=$1 clip=$2 in arg status=0
    shift 2
    case $how in file) in=$clip ;; stdin) in=- ;; fifo) in=pipe.fifo ;; esac
    local args=()
    for arg in "$@"; do args+=("${arg//@IN/$in}"); done
    rm -rf out "seen.$how" && mkdir out "seen.$how"
    case $how in
    file) "$snap" "${args[@]}" >out/stdout 2>out/stderr || status=$? ;;
    stdin) "$snap" "${args[@]}" <"$clip" >out/stdout 2>out/stderr || status=$? ;;
    fifo)
        cat "$clip" >pipe.fifo &
        "$snap" "${args[@]}" >out/stdout 2>out/stderr || status=$?
        wait
        ;;
    esac
    echo "$status" >out/status
    local name
    for name in out/*; do
        case $name in
        *.json | *.log | *.framemd5 | *.csv | *.html | */stdout | */stderr)
            sed -e "s|'$in'|'INPUT'|g; s|\"$in\"|\"INPUT\"|g; s|^file: $in\$|file: INPUT|" \
                -e "s|>$in against|>INPUT against|g; s|reference: $in<|reference: INPUT<|g" \
                -e "s|<h1>$in <span|<h1>INPUT <span|; s|(INPUT)</th><td>$in<|(INPUT)</th><td>INPUT<|" "$name" >"seen.$how/${name#out/}"
            ;;
        *) cp "$name" "seen.$how/" ;;
        esac
    done
}

row() { # CLIP ARGS...
    local how
    for how in file stdin fifo; do run_as $how "$@"; done
    for how in stdin fifo; do
        diff -r seen.file "seen.$how" >/dev/null ||
            fail "${*:2} from $how differs from the file: $(diff -r seen.file "seen.$how" | head -5)"
    done
}

# Pictures: one frame, the last, a range running past the end, all, one past the end.
row clip.y4m --frame 5 @IN out/p.png
row clip.y4m --frame last @IN out/l.bmp
row clip.y4m --frame 3-20 @IN out/r_%02d.png
row clip.y4m --frame all @IN out/a_%02d.bmp
row clip.y4m --frame 40 @IN out/n.png
# Cuts and listings, to files and to standard output.
row clip.y4m @IN out/cut.yuv
row clip.y4m --frame 2-4 @IN - --to y4m
row clip.y4m --frame 30-40 @IN out/none.y4m
row clip.y4m --framemd5 @IN
row clip_176x144.yuv --size 176x144 --framemd5 @IN
row clip_176x144.yuv --size 176x144 --frame last @IN - --to png
row clip.y4m --info @IN --json out/info.json
row clip_176x144.yuv --info --size 176x144 @IN
# Comparisons, either side a stream, with the gates, the JSON and OTHER shorter.
row clip.y4m --compare --metric psnr,ssim @IN other.y4m --json out/c.json --stats out/s.log
row clip.y4m --compare other.y4m @IN --fail-below 20 --ssim-stats out/ss.log
row clip.y4m --compare --metric ssim,psnr @IN other.y4m --csv out/c.csv --report out/r.html --worst 2
# The exact comparison, measured as each pair is read: the same from a stream.
row clip.y4m --compare --metric exact @IN other.y4m --exact-stats out/e.log --json out/e.json
row clip.y4m --compare --metric exact,psnr @IN other.y4m --csv out/e.csv --report out/e.html
row clip.y4m --compare --metric exact other.y4m @IN --exact-stats -
# A raw stream with no size takes the other input's.
row clip_176x144.yuv --compare @IN other.y4m --stats -
row clip.y4m --diff --frame all @IN other.y4m out/d_%02d.png
row clip.y4m --diff --frame last other.y4m @IN out/d.png
# The offset search holds the frames it reads, so a stream is still read once.
row clip.y4m --compare --offset auto @IN other.y4m --stats - --fail-below 99
row clip.y4m --diff --offset auto=3 --frame 2-4 other.y4m @IN out/o_%d.png

# A raw stream with nothing to give its size: one line, exit 2.
status=0
"$snap" --framemd5 - <clip_176x144.yuv 2>size.err >/dev/null || status=$?
[ $status -eq 2 ] && [ "$(cat size.err)" = "corvane-snap: reading a stream needs --size: '-' has no name or size to tell it" ] ||
    fail "a raw stream without --size: status $status, $(cat size.err)"

# Two FIFOs at once, as two decoders feed them, each written whole.
"$snap" --compare --metric psnr,ssim clip.y4m other.y4m >files.out 2>/dev/null
cat clip.y4m >pipe.fifo &
cat other.y4m >pipe2.fifo &
"$snap" --compare --metric psnr,ssim pipe.fifo pipe2.fifo >fifos.out 2>/dev/null
wait
cmp -s files.out fifos.out || fail "two FIFOs: $(cat fifos.out)"
status=0
"$snap" --compare --metric exact clip.y4m other.y4m >files.out 2>/dev/null || status=$?
cat clip.y4m >pipe.fifo &
cat other.y4m >pipe2.fifo &
"$snap" --compare --metric exact pipe.fifo pipe2.fifo >fifos.out 2>/dev/null || status=$((status + $?))
wait
[ $status -eq 2 ] && cmp -s files.out fifos.out || fail "two FIFOs, exact: status $status, $(cat fifos.out)"

# Streams cut inside the header, inside the first FRAME line, inside a frame,
# and a header whose X field outgrows any pipe's buffer: as the same bytes in a file.
header=$(head -n 1 clip.y4m | wc -c)
for bytes in 12 20 $((header + 3)) $((header + 6 + 1000)) $((header + 3 * (6 + 38016) - 1)); do
    head -c $bytes clip.y4m >cut.y4m
    status=0
    "$snap" --framemd5 cut.y4m >cut.file 2>&1 || status=$?
    echo $status >>cut.file
    (cat cut.y4m | "$snap" --framemd5 - 2>&1 || echo $? >cut.status) | sed "s|'-'|'cut.y4m'|g" >cut.stream
    [ -e cut.status ] && cat cut.status >>cut.stream || echo 0 >>cut.stream
    rm -f cut.status
    cmp -s cut.file cut.stream || fail "a stream cut after $bytes bytes: $(diff cut.file cut.stream | head -4)"
done
{
    head -n 1 clip.y4m | tr -d '\n'
    printf ' X%0100000d\n' 0
    tail -c +$((header + 1)) clip.y4m
} >wide.y4m
[ "$(cat wide.y4m | "$snap" --framemd5 -)" = "$("$snap" --framemd5 clip.y4m)" ] || fail "a 100 KB header through a pipe"

# A reader that has enough: status 141, nothing said, no file left.
status=$( ("$snap" --frame all clip.y4m - --to y4m 2>pipe.err; echo $? >pipe.status) | head -c 100 >/dev/null
    cat pipe.status)
[ "$status" -eq 141 ] || fail "a reader gone: status $status, expected 141"
[ ! -s pipe.err ] || fail "a reader gone said: $(cat pipe.err)"

# An endless stream, cut to a file and stopped by a signal: the status of the
# signal and nothing left behind.
for signal in INT TERM; do
    expected=$((128 + $(kill -l $signal)))
    (while cat clip_176x144.yuv 2>/dev/null; do :; done >endless.fifo) &
    writer=$!
    "$snap" --size 176x144 endless.fifo endless.yuv 2>endless.err &
    pid=$!
    for _ in $(seq 100); do compgen -G ".corvane-snap-endless.yuv*" >/dev/null && break; sleep 0.1; done
    sleep 0.5
    kill -$signal $pid
    status=0
    wait $pid || status=$?
    kill $writer 2>/dev/null || true
    wait $writer 2>/dev/null || true
    [ $status -eq $expected ] || fail "an endless stream after SIG$signal: status $status, expected $expected"
    [ ! -e endless.yuv ] && ! compgen -G ".corvane-snap-*" >/dev/null || fail "an endless stream left $(ls -A)"
done

echo "snap_streams: passed"
