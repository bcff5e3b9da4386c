#!/bin/bash
# Redraws res/Tollvane.ico: a 48x48 icon of 24-bit colour with a transparency mask
# (a globe under a green tick on a blue tile). Needs ImageMagick and python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/convert -size 192x192 xc:none \
    -fill '#1d4f91' -draw 'roundrectangle 6,6 185,185 34,34' \
    -fill none -stroke white -strokewidth 10 -draw 'circle 96,96 96,36' \
    -strokewidth 6 -draw 'ellipse 96,96 26,60 0,360' -draw 'line 36,96 156,96' \
    -stroke '#3cc45a' -strokewidth 18 -draw 'polyline 100,128 126,154 176,92' \
    -resize 48x48 -depth 8 "rgba:$work/icon.rgba"
python3 - "$work/icon.rgba" "$here/Tollvane.ico" <<'PY'
import struct, sys
size = 48
rgba = open(sys.argv[1], 'rb').read()
assert len(rgba) == size * size * 4
xor, mask = bytearray(), bytearray()
for row in range(size - 1, -1, -1):  # bottom-up rows
    bits = 0
    line = bytearray()
    for col in range(size):
        r, g, b, a = rgba[(row * size + col) * 4:(row * size + col) * 4 + 4]
        clear = a < 128
        xor += bytes((0, 0, 0)) if clear else bytes((b, g, r))
        bits = (bits << 1) | int(clear)
        if col % 8 == 7:
            line.append(bits)
            bits = 0
    mask += line + bytes(-len(line) % 4)  # mask rows are padded to 32 bits
header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
image = header + bytes(xor) + bytes(mask)
directory = struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', size, size, 0, 0, 1, 24, len(image), 22)
open(sys.argv[2], 'wb').write(directory + image)
PY
