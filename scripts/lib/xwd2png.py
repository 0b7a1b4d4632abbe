# Converts a 24- or 32-bit xwd screen dump (xwd -root) to PNG, with the standard library only.
#   python3 xwd2png.py INPUT.xwd OUTPUT.png
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
h = struct.unpack('>25I', data[:100])
header_size, version, fmt, depth, width, height = h[0], h[1], h[2], h[3], h[4], h[5]
bpp, bpl, ncolors = h[11], h[12], h[19]
byte_order = h[7]
offset = header_size + ncolors * 12
rows = []
for y in range(height):
    step = bpp // 8
    row = data[offset + y * bpl: offset + y * bpl + width * step]
    out = bytearray(b'\x00')
    for x in range(width):
        px = row[x*step:x*step+step]
        b, g, r = px[0], px[1], px[2]
        out += bytes((r, g, b))
    rows.append(bytes(out))
raw = b''.join(rows)
def chunk(t, d): return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
png = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) + chunk(b'IDAT', zlib.compress(raw, 6)) + chunk(b'IEND', b'')
open(sys.argv[2], 'wb').write(png)
