#!/usr/bin/env bash
# Makes webroot/src/wakevideo.js: the page's keep-awake video, two black 16x16 frames of VP8 in
# WebM (one second each, under 400 bytes), as a data URL. Run it after changing it and commit
# what it makes; the build uses the committed file, so building needs no video tool. Needs
# vpxenc (vpx-tools).
set -euo pipefail
cd "$(dirname "$0")"
../scripts/deps.sh media

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Two frames of black in YUV 4:2:0: luma 16, both chroma planes 128.
for _ in 1 2; do
  head -c 256 /dev/zero | tr '\0' '\020'
  head -c 128 /dev/zero | tr '\0' '\200'
done >"$work/black.yuv"
vpxenc --codec=vp8 -w 16 -h 16 --fps=1/1 --limit=2 --end-usage=q --cq-level=63 --target-bitrate=1 \
  --kf-max-dist=999 --webm --quiet -o "$work/black.webm" "$work/black.yuv"
{
  echo "// Made by webroot/make-wake-video.sh: two black 16x16 frames of VP8 in WebM, one second each."
  printf 'export const WAKE_VIDEO = "data:video/webm;base64,%s";\n' "$(base64 -w0 "$work/black.webm")"
} >src/wakevideo.js
echo "webroot/src/wakevideo.js: $(stat -c %s "$work/black.webm") bytes of video"
