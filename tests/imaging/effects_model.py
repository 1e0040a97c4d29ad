#!/usr/bin/env python3
# A separate model of the effect tables, procedural textures, warp grids and
# full-screen effects, written from their rules rather than from the C++, to
# agree the golden hashes of the effects tests.  Run by hand (a few seconds): it
# prints the hashes those tests expect.  Python floats are doubles and round()
# takes ties to even, as the program does.
import math
import struct

W, H = 320, 240


def fnv(data):
    h = 0xcbf29ce484222325
    for x in data:
        h ^= x
        h = (h * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return '%016x' % h


def frame_hash(pixels):
    return fnv(struct.pack('<%dI' % len(pixels), *pixels))


def f32(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def s16(x):
    x &= 0xFFFF
    return x - 65536 if x >= 32768 else x


def mt19937(seed, n):
    s = [seed] + [0] * 623
    for i in range(1, 624):
        s[i] = (1812433253 * (s[i - 1] ^ (s[i - 1] >> 30)) + i) & 0xFFFFFFFF
    out, at = [], 624
    while len(out) < n:
        if at >= 624:
            for i in range(624):
                y = (s[i] & 0x80000000) | (s[(i + 1) % 624] & 0x7FFFFFFF)
                s[i] = s[(i + 397) % 624] ^ (y >> 1) ^ (0x9908B0DF if y & 1 else 0)
            at = 0
        y = s[at]
        at += 1
        y ^= y >> 11
        y ^= (y << 7) & 0x9D2C5680
        y ^= (y << 15) & 0xEFC60000
        y ^= y >> 18
        out.append(y)
    return out


# Tables and textures

sine = [round(127 * math.sin(i * 0.02454369260708903)) for i in range(256)]
angle, distance = [0] * (W * H), [0] * (W * H)
for y in range(H):
    for x in range(W):
        dx, dy = x - W // 2, y - H // 2
        distance[y * W + x] = round(math.sqrt(dx * dx + dy * dy)) & 255
        divisor = 0.1 if dx == 0 else dx
        offset = 3.141592654 if dx < 0 else 0
        angle[y * W + x] = round((math.atan(dy / divisor) + offset) * 40.7437) & 255

blob = []
for i in range(256):
    for j in range(256):
        d = round(math.sqrt((j - 128) ** 2 + (i - 128) ** 2))
        v = 255 - d * d // 60
        blob.append(0 if v < 0 else v // 4)


def cone(i, j):
    return max(0, round(255 - 2 * math.sqrt((i - 127) ** 2 + (j - 127) ** 2)))


def rings(e):
    return round(127 - 127 * math.cos(0.05 * e))


def texture(rule):
    return [rule(i, j) * 0x010101 for i in range(256) for j in range(256)]


slots = [
    texture(lambda i, j: cone(i, j) ** 3 // 65536),
    texture(lambda i, j: rings(cone(i, j))),
    texture(lambda i, j: rings(min(cone(i, j), 127))),
    texture(lambda i, j: rings(min(cone(i, j), 63))),
    texture(lambda i, j: max(0, round(127 * math.sin(4 * j * 0.02453385672227674)
                                      * math.sin(4 * i * 0.02453385672227674)))),
]

# Warp grids

GU, GV, GS = [0] * (64 * 62), [0] * (64 * 62), [0] * (64 * 62)


def texel(t, u, v):
    return t[((v >> 8) & 255) * 256 + ((u >> 8) & 255)]


def expand(t, d, shaded):
    for by in range(29 if shaded else 30):
        for bx in range(40):
            def edges(g, top):
                c00, c01 = min(g[by * 64 + bx], top), min(g[by * 64 + bx + 1], top)
                c10, c11 = min(g[(by + 1) * 64 + bx], top), min(g[(by + 1) * 64 + bx + 1], top)
                return [c00 * 256, c01 * 256, (c10 - c00) * 32, (c11 - c01) * 32]
            eu, ev, es = edges(GU, 1 << 20), edges(GV, 1 << 20), edges(GS, 255)
            for r in range(8):
                for e in (eu, ev, es):
                    e[0] += e[2]
                    e[1] += e[3]
                du, dv, ds = (eu[1] - eu[0]) >> 3, (ev[1] - ev[0]) >> 3, (es[1] - es[0]) >> 3
                u, v, s = eu[0], ev[0], es[0]
                for c in range(8):
                    u, v, s = u + du, v + dv, s + ds
                    p = texel(t, u, v)
                    if shaded:
                        m = (s >> 7) & 255
                        p = sum((((p >> k) & 255) * m >> 8) << k for k in (0, 8, 16))
                        d[(8 * by + 4 + r) * W + 8 * bx + c] = p
                    else:
                        d[(8 * by + r) * W + 8 * bx + c] = p
    if shaded:
        for i in range(4 * W):
            d[i] = d[(H - 4) * W + i] = 0


def plasma_warp(t, tex, d):
    a = f32(11 + 5 * math.cos(0.007524454477050415 * t))
    b = f32(11 + 5 * math.cos(0.009587727708533078 * t))
    c = f32(11 + 5 * math.sin(0.007062146892655367 * t))
    dd = f32(11 + 5 * math.sin(0.00846740050804403 * t))
    for gy in range(31):
        for gx in range(41):
            x, y = gx - 20, gy - 13
            u = round(t + 64 * math.sin((t - x * a) * 0.010604453870625662) * math.cos((y * b + t) * 0.015503875968992248)
                      + 64 * math.cos(((y - x) * dd + t) * 0.008841732979664015) + 512 * math.sin(0.0010736525660296327 * t))
            v = round(64 * math.cos((t - y * dd) * 0.0111731843575419) * math.sin((x * c + t) * 0.013175230566534914)
                      + 64 * math.sin(((x - y) * a + t) * 0.007722007722007722) + 512 * math.sin(0.001266784899923993 * t))
            GU[gy * 64 + gx], GV[gy * 64 + gx] = s16(u), s16(v)
    expand(tex, d, False)


def build_zoomer_grid(a, b, c, d, e, f):
    scale = b + 300 * (b // 500 + 10)
    hx0 = 32768 - c
    hx0 -= 131072 if hx0 > 65536 else 0
    hx1 = c + 32768
    hy0 = d + 98304
    hy0 -= 131072 if hy0 > 65536 else 0
    hy1 = -(d + 32768)
    colz = [round(((W - x) * hx0 + x * hx1) / 256) for x in range(W + 8)]
    for gy in range(30):
        rowz = round(((H - 8 * gy) * hy0 + 8 * gy * hy1) / 256)
        for gx in range(41):
            px = min(8 * gx, W - 1)
            pos = W * 8 * gy + px
            ang = (angle[pos] + a) & 255
            z = rowz + colz[px] or 1
            i = gy * 64 + gx
            if z < 0:
                GS[i] = 0
                continue
            r = distance[pos] * scale // z
            GV[i] = s16(f + ((sine[ang] * r) >> 7))
            GU[i] = s16(e + ((sine[(ang + 64) & 255] * r) >> 7))
            GS[i] = min(127, z >> 7)


def tilted_zoomer(t, rotation, tex, dest):
    d = round(6000 * math.sin(0.008032128514056226 * t) + 6000 * math.cos(-0.006920415224913495 * t)
              + 6000 * math.sin(-0.006349206349206349 * t))
    c = round(6000 * math.cos(0.007434944237918216 * t) + 6000 * math.sin(-0.007782101167315175 * t)
              + 6000 * math.cos(-0.006779661016949153 * t))
    build_zoomer_grid(round(rotation), 3000, c, d, round(t) & 255, round(2 * t) & 255)
    expand(tex, dest, True)


# Full-screen effects

def radial_zoom_feedback(buf, cx, cy, step, p, q):
    def clamped(v):
        return max(0, min(127, round(v)))
    tables = [clamped((i + 8) * 0.03125 * q + i * p) for i in range(128)] + [clamped(i * (1.1 - p)) for i in range(128)]
    for i in range(W * H):
        buf[i] = (buf[i] >> 1) & 0x7F7F7F7F

    def read(x, y):  # only ever reached with weight 0 beyond the edge
        return buf[min(max(y, 0), H - 1) * W + min(max(x, 0), W - 1)]

    def update(x, y, sx, sy):
        ix, fx, iy, fy = sx >> 8, sx & 255, sy >> 8, sy & 255
        pa, pb, pc, pd = read(ix, iy), read(ix + 1, iy), read(ix, iy + 1), read(ix + 1, iy + 1)
        old = buf[y * W + x]
        new = old & 0xFF000000
        for k in (0, 8, 16):
            a, b, c, d = ((v >> k) & 255 for v in (pa, pb, pc, pd))
            top, bottom = 256 * a + (b - a) * fx, 256 * c + (d - c) * fx
            s = (top + ((bottom - top) >> 8) * fy) >> 8
            new |= min(127, tables[(old >> k) & 255] + tables[128 + max(s, 0)]) << k  # -1 reads B[0]
        buf[y * W + x] = new

    for y in range(cy - 1, -1, -1):
        for x in range(cx - 1, 0, -1):
            update(x, y, (cx - 1) * 256 - (cx - 1 - x) * step, (cy - 1) * 256 - (cy - 1 - y) * step)
    for y in range(cy - 1, -1, -1):
        for x in range(cx, W):
            update(x, y, cx * 256 + (x - cx) * step, (cy - 1) * 256 - (cy - 1 - y) * step)
    for y in range(cy, H):
        for x in range(cx - 1, 0, -1):
            update(x, y, (cx - 1) * 256 - (cx - 1 - x) * step, cy * 256 + (y - cy) * step)
    for y in range(cy, H):
        for x in range(cx, W):
            update(x, y, cx * 256 + (x - cx) * step, cy * 256 + (y - cy) * step)
    for i in range(W * H):
        buf[i] = (buf[i] << 1) & 0xFEFEFEFE


def draw_blob(depth, x, y, z):
    s = z + 400
    if s <= 5:
        return
    bias, r = round(10000 / s + 50), max(2, round(7000 / s))
    step = 8388608 // r
    x0, x1, y0, y1 = round(x - r), round(x + r), round(y - r), round(y + r)
    if x0 >= W or y0 >= H or x1 < 0 or y1 < 0:
        return
    x1, y1 = min(x1, W - 1), min(y1, H - 1)
    u_start = v = 0
    if x0 < 0:
        u_start, x0 = step * -x0, 0
    if y0 < 0:
        v, y0 = step * -y0, 0
    for row in range(y0, y1):
        u = u_start
        for col in range(x0, x1):
            h = blob[(v >> 16) * 256 + (u >> 16)]
            if h > 0 and h + bias > depth[row * W + col]:
                depth[row * W + col] = h + bias
            u += step
        v += step


def lens_map(dest, depth, tex, u0, v0, cx, cy):
    for y in range(H):
        for x in range(W):
            t = depth[y * W + x]
            if t:
                k = 65536 // t  # t is positive here
                u, v = (((x - cx) * k) >> 9) + u0, (((y - cy) * k) >> 9) + v0
                dest[y * W + x] = tex[(v & 255) * 256 + (u & 255)]


def smear_blur(n, src, dest):
    k = 65536 // (2 * n)
    for y in range(H):
        row = [src[y * W + x] & 255 for x in range(W)]
        total = sum(row[:n]) + n * row[0]
        for x in range(W):
            total += row[min(x + n, W - 1)] - row[max(x - n, 0)]
            value = (k * total) >> 16
            dest[y * W + x] = value if y == 0 else (dest[(y - 1) * W + x] + value) >> 1


def bump_refraction(a, b, c, d, surface, light, height, dest):
    def add(p, q):
        return sum(min(255, ((p >> k) & 255) + ((q >> k) & 255)) << k for k in (0, 8, 16, 24))
    for y in range(1, H - 1):
        for x in range(1, W - 1):
            gx = (height[y * W + x - 1] & 255) - (height[y * W + x + 1] & 255)
            gy = (height[(y - 1) * W + x] & 255) - (height[(y + 1) * W + x] & 255)
            lit = light[(((y >> 1) - b + gy + 80) & 255) * 256 + (((x >> 1) - a + gx + 50) & 255)]
            sur = surface[((y + (gy >> 1) + d) & 255) * 256 + ((x + (gx >> 1) + c) & 255)]
            dest[y * W + x] = add(lit, sur)


def row_wave(t, amplitude, src, dest):
    for y in range(H):
        w = (2 * math.sin((y + 0.010706638115631693 * t) * 4.7) - 2 * math.cos((y + 0.015772870662460567 * t) * 2.3)
             + 3 * math.sin((y + 0.011848341232227487 * t) * 0.41666666666666663))
        shift = round(w * amplitude)
        n = W - abs(shift)
        if n > 0 and shift >= 0:
            dest[y * W + shift:y * W + shift + n] = src[y * W:y * W + n]
        elif n > 0:
            dest[y * W:y * W + n] = src[y * W - shift:y * W - shift + n]


def used_grid(g):
    return fnv(struct.pack('<%dh' % (31 * 41), *[g[gy * 64 + gx] for gy in range(31) for gx in range(41)]))


if __name__ == '__main__':
    print('sine', fnv(bytes(v & 255 for v in sine)))
    print('angle', fnv(bytes(angle)))
    print('distance', fnv(bytes(distance)))
    print('blob', fnv(struct.pack('<65536i', *blob)))
    for n, s in enumerate(slots):
        print('slot', n, frame_hash(s))

    frame = [0] * (W * H)
    plasma_warp(0.0, slots[1], frame)
    print('plasma t 0', frame_hash(frame))
    plasma_warp(1234.5, slots[4], frame)
    print('plasma t 1234.5', frame_hash(frame), 'grids', used_grid(GU), used_grid(GV))
    GU[:], GV[:], GS[:] = [0] * len(GU), [0] * len(GV), [0] * len(GS)
    frame = [0x55555555] * (W * H)
    tilted_zoomer(0.0, 0.0, slots[1], frame)
    print('zoomer t 0', frame_hash(frame))
    tilted_zoomer(f32(2345.6), 37.0, slots[4], frame)
    print('zoomer t 2345.6', frame_hash(frame))

    frame = mt19937(2, W * H)
    radial_zoom_feedback(frame, 160, 120, 248, f32(0.1), 2.0)
    print('radial 248', frame_hash(frame))
    radial_zoom_feedback(frame, 50, 200, 251, f32(0.2), 0.0)
    print('radial 251', frame_hash(frame))
    frame = [pixel & 0x03030303 for pixel in mt19937(2, W * H)]
    radial_zoom_feedback(frame, 100, 150, 248, f32(0.1), 2.0)
    print('radial dark', frame_hash(frame))

    d1, d2, depth = mt19937(4, W * H), mt19937(5, W * H), [0] * (W * H)
    draw_blob(depth, 150.0, 100.0, -290.0)
    lens_map(d1, depth, slots[1], 30, -20, 150, 100)
    lens_map(d2, depth, slots[4], 30, -20, 150, 100)
    print('lens', frame_hash(d1), frame_hash(d2))

    height, out = [0] * (W * H), [0] * (W * H)
    smear_blur(3, mt19937(6, W * H), height)
    bump_refraction(-77, 45, 200, -130, slots[4], slots[0], height, out)
    print('smear', frame_hash(height), 'bump', frame_hash(out))

    dest = mt19937(8, W * H)
    row_wave(500.0, 9.0, mt19937(7, W * H), dest)
    print('wave', frame_hash(dest))
