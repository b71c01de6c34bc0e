#!/bin/bash
# corvane-snap.exe under Wine with standard input and output as binary
# pipes: a Y4M and a raw clip piped in list as their files do, and a cut
# written to standard output is the cut written to a file, byte for byte
# (text mode would turn \n into \r\n and stop at \x1a).
set -euo pipefail
run=$1
snap=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() { echo "snap_wine_pipes: $*" >&2; exit 1; }

"$run" "$snap" --make-sample 176x144 6 clip_176x144.yuv
"$run" "$snap" clip_176x144.yuv clip.y4m
"$run" "$snap" --framemd5 clip.y4m >file.framemd5
cat clip.y4m | "$run" "$snap" --framemd5 - >pipe.framemd5
cmp -s file.framemd5 pipe.framemd5 || fail "a Y4M through a pipe: $(diff file.framemd5 pipe.framemd5 | head -4)"
cat clip_176x144.yuv | "$run" "$snap" --size 176x144 --framemd5 - >raw.framemd5
cmp -s file.framemd5 raw.framemd5 || fail "a raw clip through a pipe: $(diff file.framemd5 raw.framemd5 | head -4)"
"$run" "$snap" --frame 1-4 clip.y4m cut.y4m
cat clip.y4m | "$run" "$snap" --frame 1-4 - - --to y4m >piped.y4m
cmp -s cut.y4m piped.y4m || fail "a cut to standard output differs from the file"
echo "snap_wine_pipes: passed"
