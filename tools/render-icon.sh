#!/bin/sh
# Renders the program's icon ui/icons/cep.svg to the PNGs the window uses
# (16 to 256 pixels) and to cep.ico for the Windows resource. Run by hand
# after changing the SVG, and commit the results: building needs no SVG
# renderer. Needs rsvg-convert (librsvg2-bin) and python3.
set -eu
cd "$(dirname "$0")/../ui/icons"
for size in 16 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" cep.svg -o "cep-$size.png"
done
# An .ico of PNG images (Windows Vista and later read them).
python3 - <<'PY'
import struct
sizes = [16, 32, 48, 256]
images = [open(f"cep-{s}.png", "rb").read() for s in sizes]
header = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
directory = b""
for size, data in zip(sizes, images):
    edge = 0 if size == 256 else size
    directory += struct.pack("<BBBBHHII", edge, edge, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
with open("cep.ico", "wb") as out:
    out.write(header + directory + b"".join(images))
PY
