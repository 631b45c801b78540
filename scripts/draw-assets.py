#!/usr/bin/env python3
"""Draws the tool's own images into assets/: the logo qv.bmp shown in the main
window, and the program icon (XPM compiled into the program, PNG for the
desktop entry, ICO for the Windows resource). The images are committed; run
this only to change them."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ASSETS = os.path.join(HERE, "..", "assets")

NAVY = (22, 58, 104)
SKY = (64, 140, 210)
WHITE = (250, 250, 250)
GREEN = (46, 160, 67)


def shape(u, v):
    """Colour at (u, v) in the unit square, or None outside the badge: a blue
    rounded square holding a white gas drop with a green core."""
    r = 0.18
    cu, cv = min(max(u, r), 1 - r), min(max(v, r), 1 - r)
    if (u - cu) ** 2 + (v - cv) ** 2 > r * r:
        return None
    # drop: circle at (0.5, 0.62) radius 0.24 joined to a point at (0.5, 0.12)
    du, dv = u - 0.5, v - 0.62
    in_circle = du * du + dv * dv <= 0.24 ** 2
    in_point = 0.12 <= v <= 0.62 and abs(du) <= 0.24 * (v - 0.12) / 0.5 * 0.98
    if in_circle or in_point:
        if du * du + (v - 0.66) ** 2 <= 0.11 ** 2:
            return GREEN
        return WHITE
    t = v  # vertical gradient from sky to navy
    return tuple(int(SKY[i] * (1 - t) + NAVY[i] * t) for i in range(3))


def render(size, samples, background):
    """Rows top to bottom of (r, g, b, a), averaged over samples x samples."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0.0, 0.0, 0.0]
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = shape((x + (sx + 0.5) / samples) / size, (y + (sy + 0.5) / samples) / size)
                    if c is None:
                        c = background
                    else:
                        hits += 1
                    for i in range(3):
                        acc[i] += c[i]
            n = samples * samples
            row.append((int(acc[0] / n), int(acc[1] / n), int(acc[2] / n), int(255 * hits / n)))
        rows.append(row)
    return rows


def write_bmp(path, rows):
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    pixels = b""
    for row in reversed(rows):  # BMP rows run bottom to top, BGR
        line = b"".join(bytes((b, g, r)) for r, g, b, _ in row)
        pixels += line + b"\0" * (stride - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def write_png(path, rows):
    h, w = len(rows), len(rows[0])
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def write_ico(path, rows):
    """One 32-bit image with its AND mask, as the Windows resource compiler takes it."""
    h, w = len(rows), len(rows[0])
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_stride = ((w + 31) // 32) * 4
    mask = b"\0" * (mask_stride * h)
    info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = info + xor + mask
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w, h, 0, 0, 1, 32, len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(header + entry + image)


def write_xpm(path, rows, name):
    """Hard-edged copy: each pixel takes the nearest palette colour."""
    palette = {" ": None, "N": NAVY, "S": SKY, "W": WHITE, "G": GREEN}
    def nearest(p):
        if p[3] < 128:
            return " "
        best, dist = "N", 1 << 30
        for code, c in palette.items():
            if c is None:
                continue
            d = sum((p[i] - c[i]) ** 2 for i in range(3))
            if d < dist:
                best, dist = code, d
        return best
    h, w = len(rows), len(rows[0])
    lines = ['"%d %d %d 1",' % (w, h, len(palette))]
    for code, c in palette.items():
        lines.append('"%s c %s",' % (code, "None" if c is None else "#%02X%02X%02X" % c))
    lines += ['"%s",' % "".join(nearest(p) for p in row) for row in rows]
    lines[-1] = lines[-1].rstrip(",")
    with open(path, "w") as f:
        f.write("/* XPM */\n/* The program icon; drawn by scripts/draw-assets.py. */\n")
        f.write("static const char* const %s[] = {\n" % name)
        f.write("\n".join(lines) + "\n};\n")


def main():
    write_bmp(os.path.join(ASSETS, "qv.bmp"), render(64, 4, (192, 192, 192)))
    write_png(os.path.join(ASSETS, "tarvo_6.png"), render(48, 4, (0, 0, 0)))
    write_ico(os.path.join(ASSETS, "tarvo_6.ico"), render(32, 4, (0, 0, 0)))
    write_xpm(os.path.join(ASSETS, "tarvo_6_icon.xpm"), render(32, 4, (0, 0, 0)), "tarvo_6_icon_xpm")


if __name__ == "__main__":
    main()
