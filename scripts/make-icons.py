#!/usr/bin/env python3
"""Generate Callvane's tray and application icons (standard library only).

Each icon is a round colour badge with a slightly darker rim and a white
classic telephone handset (a thick arc with an earpiece and a mouthpiece),
drawn diagonally like the familiar "call" symbol.  The badge colour carries
the state, so the four files differ only in colour, plus a strike for the
"no handset" state:

    ok.ico        green  online
    nophone.ico   amber  handset present, messenger missing
    nodevice.ico  grey   no handset (red strike across the handset)
    app.ico       blue   application icon

Every .ico holds 16, 20, 24, 32, 40 and 48 pixel square 32-bit BGRA DIB
images (alpha used, AND mask all zero): the tray's small-icon sizes at 100,
125, 150 and 200 % display scale, and the large-icon sizes up to 150 %.  Shapes are signed-distance functions sampled 4x4 per
pixel and averaged, so edges are anti-aliased without any imaging library.
Output is byte-for-byte deterministic.

Usage:
    make-icons.py OUTDIR             write the four .ico files
    make-icons.py --selftest OUTDIR  write them, re-parse, exit 1 on mismatch
    make-icons.py --png OUTDIR       write preview.png (every image, enlarged)
"""
import math
import os
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48)
SS = 4  # supersampling per axis

# state -> (badge RGB, crossed out).  Amber and grey are kept dark enough
# for a white glyph to stay readable on them.
STATES = {
    "ok": ((40, 160, 70), False),
    "nophone": ((222, 130, 0), False),
    "nodevice": ((120, 124, 130), True),
    "app": ((30, 110, 210), False),
}


# --- signed distance helpers (negative inside), glyph space: badge radius 1

def sd_capsule(x, y, ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - ax - t * dx, y - ay - t * dy) - r


def sd_rbox(x, y, cx, cy, ang, hx, hy, r):
    c, s = math.cos(ang), math.sin(ang)
    u, v = (x - cx) * c + (y - cy) * s, -(x - cx) * s + (y - cy) * c
    qx, qy = abs(u) - hx + r, abs(v) - hy + r
    return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r


def sd_arc(x, y, cx, cy, rad, mid, span, half):
    """Ring segment of radius rad, centred on angle mid, +-span, round ends."""
    dx, dy = x - cx, y - cy
    # Angle relative to mid, so the span may straddle atan2's +-pi seam.
    a = math.atan2(dy * math.cos(mid) - dx * math.sin(mid),
                   dx * math.cos(mid) + dy * math.sin(mid))
    if abs(a) <= span:
        return abs(math.hypot(dx, dy) - rad) - half
    ends = [(cx + rad * math.cos(mid + t), cy + rad * math.sin(mid + t))
            for t in (-span, span)]
    return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - half


# Handset laid out upright (cups facing +x), then turned so the earpiece sits
# top-left and the mouthpiece bottom-right.  Thick parts because a 16 px tray
# icon leaves only about 3 px for the handle.
ARC_C, ARC_R, ARC_SPAN, BAR = (0.62, 0.0), 1.0, math.radians(36), 0.15
CUP_H, CUP_W, CUP_R = 0.19, 0.27, 0.09  # half-length along bar, half-width
TURN = math.radians(-45)
GLYPH_SCALE = 0.92


def _cups():
    out = []
    for a in (math.pi - ARC_SPAN, math.pi + ARC_SPAN):
        ex, ey = ARC_C[0] + ARC_R * math.cos(a), ARC_C[1] + ARC_R * math.sin(a)
        # The cup sits on the concave side, its outer face flush with the
        # bar's outer edge, and is tilted to follow the arc's tangent.
        nx, ny = -math.cos(a), -math.sin(a)
        shift = CUP_W - BAR
        out.append((ex + nx * shift, ey + ny * shift, a))
    return out


CUPS = _cups()


def sd_local(x, y):
    d = sd_arc(x, y, ARC_C[0], ARC_C[1], ARC_R, math.pi, ARC_SPAN, BAR)
    for cx, cy, a in CUPS:
        d = min(d, sd_rbox(x, y, cx, cy, a, CUP_W, CUP_H, CUP_R))
    return d


def _centre():
    # Bounding-box centre of the upright glyph, found by sampling, so the
    # tuning constants above can change without re-centring by hand.
    pts = [(i / 50.0, j / 50.0) for i in range(-100, 101) for j in range(-100, 101)
           if sd_local(i / 50.0, j / 50.0) < 0]
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    return (min(xs) + max(xs)) / 2, (min(ys) + max(ys)) / 2


CENTRE = _centre()


def sd_handset(x, y):
    c, s = math.cos(-TURN), math.sin(-TURN)
    x, y = (x * c - y * s) / GLYPH_SCALE, (x * s + y * c) / GLYPH_SCALE
    return sd_local(x + CENTRE[0], y + CENTRE[1]) * GLYPH_SCALE


# "No handset" strike: lower-left to upper-right, square across the handle.
# Red over the glyph instead of a cut-out gap, which ate the 16 px handset.
STRIKE, STRIKE_RGB = (-0.62, 0.62, 0.62, -0.62), (200, 30, 30)


def render(size, rgb, crossed):
    """Return size*size straight-alpha (r, g, b, a) tuples, top row first."""
    px = 2.0 / size  # one pixel in glyph units
    half = size / 2.0
    rim_w = max(1.0, size / 32.0) * px
    rim = tuple(int(c * 0.72) for c in rgb)
    # Strike about 1.5 px wide at 16 px, relatively thinner when larger.
    stroke = max(0.75 * px, 0.05)
    out = []
    for j in range(size):
        for i in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sj in range(SS):
                for si in range(SS):
                    x = (i + (si + 0.5) / SS - half) / half
                    y = (j + (sj + 0.5) / SS - half) / half
                    r = math.hypot(x, y)
                    if r > 1.0:
                        continue
                    col = rim if r > 1.0 - rim_w else rgb
                    if sd_handset(x, y) < 0:
                        col = (255, 255, 255)
                    if crossed and sd_capsule(x, y, *STRIKE, stroke) < 0:
                        col = STRIKE_RGB
                    acc[0] += col[0]; acc[1] += col[1]; acc[2] += col[2]
                    acc[3] += 1.0
            a = acc[3] or 1.0  # colour is irrelevant where nothing was hit
            out.append(tuple(int(acc[k] / a + 0.5) for k in range(3))
                       + (int(255 * acc[3] / (SS * SS) + 0.5),))
    return out


def dib(size, pixels):
    hdr = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for j in range(size - 1, -1, -1):  # DIBs are bottom-up
        rows.append(b"".join(bytes((b, g, r, a))
                             for r, g, b, a in pixels[j * size:(j + 1) * size]))
    mask_row = ((size + 31) // 32) * 4
    return hdr + b"".join(rows) + bytes(mask_row * size)


def ico(images):
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32,
                               len(blob), offset)
        offset += len(blob)
        blobs += blob
    return head + entries + blobs


def build():
    """Return {name: {size: pixels}} for every state."""
    return {name: {s: render(s, rgb, crossed) for s in SIZES}
            for name, (rgb, crossed) in STATES.items()}


def write_icons(outdir, art):
    os.makedirs(outdir, exist_ok=True)
    for name, imgs in art.items():
        data = ico([(s, dib(s, imgs[s])) for s in SIZES])
        with open(os.path.join(outdir, name + ".ico"), "wb") as f:
            f.write(data)


def check_ico(path):
    """Return a list of problems found in one .ico file."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 6:
        return ["too short"]
    errs = []
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if (reserved, kind, count) != (0, 1, len(SIZES)):
        return ["bad ICONDIR %r" % ((reserved, kind, count),)]
    end = 6 + 16 * count
    for k in range(count):
        w, h, ncol, res, planes, bpp, length, off = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * k)
        want = SIZES[k]
        mask = ((want + 31) // 32) * 4 * want
        if (w, h, ncol, res, planes, bpp) != (want, want, 0, 0, 1, 32):
            errs.append("entry %d header %r" % (k, (w, h, ncol, res, planes, bpp)))
        if off != end or length != 40 + 4 * want * want + mask:
            errs.append("entry %d offset/length %d/%d" % (k, off, length))
        if off + 40 > len(data):
            errs.append("entry %d beyond file" % k)
            break
        bi = struct.unpack_from("<IiiHHI", data, off)
        if bi != (40, want, 2 * want, 1, 32, 0):
            errs.append("entry %d BITMAPINFOHEADER %r" % (k, bi))
        if any(data[off + length - mask:off + length]):
            errs.append("entry %d AND mask not zero" % k)
        # Alpha must really be used: clear corner, opaque badge centre.
        centre = off + 40 + 4 * (want // 2 * want + want // 2)
        alphas = (data[off + 43], data[centre + 3])
        if alphas != (0, 255):
            errs.append("entry %d alpha corner/centre %r" % (k, alphas))
        end = off + length
    if end != len(data):
        errs.append("file length %d, entries end at %d" % (len(data), end))
    return errs


def write_png(path, art, cell=192, pad=8):
    """Preview: one row per state, each size enlarged to cell px on a
    checkerboard, then each at 1:1 on a dark and a light tray-like background."""
    w = pad + len(SIZES) * (cell + pad) + 2 * (sum(SIZES) + (len(SIZES) + 1) * pad)
    h = pad + len(art) * (cell + pad)
    canvas = [[(200, 200, 200)] * w for _ in range(h)]

    def blit(img, size, ox, oy, k, bg=None):
        for y in range(size * k):
            for x in range(size * k):
                r, g, b, a = img[(y // k) * size + x // k]
                base = bg or ((235,) * 3 if (x // 8 + y // 8) % 2 else (150,) * 3)
                canvas[oy + y][ox + x] = tuple(
                    (c * a + d * (255 - a)) // 255 for c, d in zip((r, g, b), base))

    for row, imgs in enumerate(art.values()):
        oy = pad + row * (cell + pad)
        x = pad
        for s in SIZES:
            blit(imgs[s], s, x, oy, cell // s)
            x += cell + pad
        for bg in ((32, 32, 32), (243, 243, 243)):
            for yy in range(cell):
                for xx in range(sum(SIZES) + (len(SIZES) + 1) * pad):
                    canvas[oy + yy][x + xx] = bg
            x += pad
            for s in SIZES:
                blit(imgs[s], s, x, oy + (cell - s) // 2, 1, bg)
                x += s + pad
    raw = b"".join(b"\0" + bytes(c for px in line for c in px) for line in canvas)

    def chunk(tag, body):
        return (struct.pack(">I", len(body)) + tag + body
                + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))
    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main(argv):
    mode = argv[1] if len(argv) == 3 and argv[1] in ("--selftest", "--png") else None
    if not (mode or (len(argv) == 2 and not argv[1].startswith("-"))):
        sys.stderr.write(__doc__.split("Usage:")[1])
        return 2
    outdir = argv[-1]
    art = build()
    if mode == "--png":
        os.makedirs(outdir, exist_ok=True)
        write_png(os.path.join(outdir, "preview.png"), art)
        return 0
    write_icons(outdir, art)
    if mode == "--selftest":
        bad = 0
        for name in STATES:
            errs = check_ico(os.path.join(outdir, name + ".ico"))
            for e in errs:
                print("%s.ico: %s" % (name, e))
            bad += bool(errs)
        print("selftest: %s" % ("FAIL" if bad else "ok, %d files" % len(STATES)))
        return 1 if bad else 0
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
