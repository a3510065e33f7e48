#!/usr/bin/env bash
# Draws the tool's icon, a joypad, and packs it as KeyConfig.ico with six
# 32-bit images (256, 128, 64, 48, 32 and 16 pixels). Run by hand after a
# change; the .ico is committed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 256x256 xc:none \
    -fill '#10182a' -stroke '#10182a' -strokewidth 12 \
    -draw 'roundrectangle 14,70 242,190 56,56' \
    -draw 'roundrectangle 20,120 92,236 36,36' \
    -draw 'roundrectangle 164,120 236,236 36,36' \
    -fill '#2b3a55' -stroke none \
    -draw 'roundrectangle 14,70 242,190 56,56' \
    -draw 'roundrectangle 20,120 92,236 36,36' \
    -draw 'roundrectangle 164,120 236,236 36,36' \
    -fill '#e8ecf4' \
    -draw 'rectangle 46,112 102,130' -draw 'rectangle 65,93 83,149' \
    -fill '#f2c14e' -draw 'circle 186,98 186,112' \
    -fill '#e4572e' -draw 'circle 214,128 214,142' \
    -fill '#4ea5d9' -draw 'circle 158,128 158,142' \
    -fill '#76b041' -draw 'circle 186,158 186,172' \
    -depth 8 "PNG32:$work/pad256.png"
for size in 128 64 48 32 16; do
    convert "$work/pad256.png" -resize ${size}x${size} -depth 8 "PNG32:$work/pad$size.png"
done
convert "$work/pad256.png" "$work/pad128.png" "$work/pad64.png" "$work/pad48.png" \
        "$work/pad32.png" "$work/pad16.png" -define icon:format=bmp KeyConfig.ico 2>/dev/null || \
convert "$work/pad256.png" "$work/pad128.png" "$work/pad64.png" "$work/pad48.png" \
        "$work/pad32.png" "$work/pad16.png" KeyConfig.ico
