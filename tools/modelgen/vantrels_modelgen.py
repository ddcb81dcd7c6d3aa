#!/usr/bin/env python3
"""Generates the driver's tracker render model: vantrel.obj, vantrel.mtl and vantrel.png.

Usage: vantrels_modelgen.py OUTPUT_FOLDER
(the shipped copy lives in package/resources/rendermodels/vantrel).

The model is a round tracker puck in device space, in metres: +Y up out of the top, origin at the centre
of the mounting face, about 8 cm across and 3 cm tall. A narrow stem under the body hints at the base
plate, the top is a shallow dome with a rounded shoulder, and the status LED window faces +Z. It is made
of one surface of revolution with smooth normals, one object and one material, every corner with a
position, a texture coordinate and a normal, as SteamVR's render model loader wants.

Texture layout (1024 x 1024, OBJ v runs upwards):
  left top quarter   the dome seen from above: a V logo and a ring with the name
  right top quarter  the mounting face seen from below
  bottom half        the side wall unrolled, u = angle around Y, v = distance along the profile
Only the Python standard library is used; the output is the same on every run.
"""

import math
import os
import struct
import sys
import zlib

SEGMENTS = 24  # around the Y axis
TEXTURE_SIZE = 1024

# Outline of the puck from the bottom of the stem to the top centre, as (radius, height) in metres.
_SHOULDER_CENTRE = (0.0340, 0.0220)
_SHOULDER_RADIUS = 0.0065
_DOME_RISE = 0.0025
PROFILE = (
    [(0.0170, 0.0000), (0.0170, 0.0040), (0.0195, 0.0062),  # stem and its fillet
     (0.0290, 0.0080), (0.0380, 0.0097), (0.0403, 0.0118),  # underside flaring out to the body
     (0.0405, 0.0170)]  # side wall
    + [(_SHOULDER_CENTRE[0] + _SHOULDER_RADIUS * math.cos(a), _SHOULDER_CENTRE[1] + _SHOULDER_RADIUS * math.sin(a))
       for a in (math.radians(d) for d in (0.0, 30.0, 60.0, 90.0))]  # rounded shoulder
    + [(r, 0.0285 + _DOME_RISE * (1.0 - (r / 0.034) ** 2)) for r in (0.0230, 0.0120)]  # shallow dome
    + [(0.0, 0.0285 + _DOME_RISE)])  # top centre
STEM_RINGS = 3  # the first rings of PROFILE belong to the stem
DOME_START = 10  # PROFILE index where the planar top mapping takes over (the end of the shoulder)
DOME_RADIUS = PROFILE[DOME_START][0]
BASE_RADIUS = PROFILE[0][0]

# Texture regions in OBJ texture coordinates.
TOP_CENTRE, TOP_RADIUS = (0.25, 0.75), 0.235
BASE_CENTRE, BASE_UV_RADIUS = (0.75, 0.75), 0.195
SIDE_V0, SIDE_V1 = 0.02, 0.48


def _arc_lengths(points):
    lengths = [0.0]
    for (r0, y0), (r1, y1) in zip(points, points[1:]):
        lengths.append(lengths[-1] + math.hypot(r1 - r0, y1 - y0))
    return lengths


SIDE_ARC = _arc_lengths(PROFILE[:DOME_START + 1])


def _profile_normal(i):
    """Outward unit normal of the outline at point i, from its neighbours (smooth shading)."""
    r0, y0 = PROFILE[max(i - 1, 0)]
    r1, y1 = PROFILE[min(i + 1, len(PROFILE) - 1)]
    tr, ty = r1 - r0, y1 - y0
    length = math.hypot(tr, ty)
    return ty / length, -tr / length


def _direction(u):
    """Unit direction around Y for the unrolled coordinate u; u = 0.5 faces +Z (the LED side)."""
    angle = 2.0 * math.pi * u
    return -math.sin(angle), -math.cos(angle)


def build_mesh():
    positions, texcoords, normals, faces = [], [], [], []

    def add(items, item):
        items.append(item)
        return len(items)

    ring_pos, ring_nrm = [], []
    for i, (r, y) in enumerate(PROFILE[:-1]):
        nr, ny = _profile_normal(i)
        pos_row, nrm_row = [], []
        for j in range(SEGMENTS):
            dx, dz = _direction(j / SEGMENTS)
            pos_row.append(add(positions, (r * dx, y, r * dz)))
            nrm_row.append(add(normals, (nr * dx, ny, nr * dz)))
        ring_pos.append(pos_row)
        ring_nrm.append(nrm_row)
    apex = add(positions, (0.0, PROFILE[-1][1], 0.0))
    apex_normal = add(normals, (0.0, 1.0, 0.0))
    base_centre = add(positions, (0.0, 0.0, 0.0))
    base_normal = add(normals, (0.0, -1.0, 0.0))

    # Side: unrolled, with a seam column at u = 1 repeating u = 0.
    side_uv = []
    for i in range(DOME_START + 1):
        v = SIDE_V0 + (SIDE_V1 - SIDE_V0) * SIDE_ARC[i] / SIDE_ARC[-1]
        side_uv.append([add(texcoords, (j / SEGMENTS, v)) for j in range(SEGMENTS + 1)])

    def planar(centre, scale, x, z, flip):
        return add(texcoords, (centre[0] + scale * x * (-1.0 if flip else 1.0), centre[1] - scale * z))

    # Top: seen from above, +X to the right and +Z down the picture.
    top_uv = [[planar(TOP_CENTRE, TOP_RADIUS / DOME_RADIUS, positions[p - 1][0], positions[p - 1][2], False)
               for p in ring_pos[i]] for i in range(DOME_START, len(PROFILE) - 1)]
    apex_uv = add(texcoords, TOP_CENTRE)
    # Mounting face: seen from below, so X is mirrored.
    base_uv = [planar(BASE_CENTRE, BASE_UV_RADIUS / BASE_RADIUS, positions[p - 1][0], positions[p - 1][2], True)
               for p in ring_pos[0]]
    base_centre_uv = add(texcoords, BASE_CENTRE)

    def triangle(a, b, c):
        # Corners as (position, texcoord, normal); wind them so the face turns outwards.
        pa, pb, pc = (positions[k[0] - 1] for k in (a, b, c))
        e1 = [pb[n] - pa[n] for n in range(3)]
        e2 = [pc[n] - pa[n] for n in range(3)]
        cross = (e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0])
        shading = [sum(normals[k[2] - 1][n] for k in (a, b, c)) for n in range(3)]
        if sum(cross[n] * shading[n] for n in range(3)) < 0.0:
            b, c = c, b
        faces.append((a, b, c))

    for i in range(len(PROFILE) - 2):
        for j in range(SEGMENTS):
            k = (j + 1) % SEGMENTS
            if i < DOME_START:
                t00, t01, t10, t11 = side_uv[i][j], side_uv[i][j + 1], side_uv[i + 1][j], side_uv[i + 1][j + 1]
            else:
                d = i - DOME_START
                t00, t01, t10, t11 = top_uv[d][j], top_uv[d][k], top_uv[d + 1][j], top_uv[d + 1][k]
            c00 = (ring_pos[i][j], t00, ring_nrm[i][j])
            c01 = (ring_pos[i][k], t01, ring_nrm[i][k])
            c10 = (ring_pos[i + 1][j], t10, ring_nrm[i + 1][j])
            c11 = (ring_pos[i + 1][k], t11, ring_nrm[i + 1][k])
            triangle(c00, c01, c11)
            triangle(c00, c11, c10)
    last = len(PROFILE) - 2
    for j in range(SEGMENTS):
        k = (j + 1) % SEGMENTS
        triangle((ring_pos[last][j], top_uv[-1][j], ring_nrm[last][j]),
                 (ring_pos[last][k], top_uv[-1][k], ring_nrm[last][k]), (apex, apex_uv, apex_normal))
        triangle((ring_pos[0][j], base_uv[j], base_normal), (ring_pos[0][k], base_uv[k], base_normal),
                 (base_centre, base_centre_uv, base_normal))
    return positions, texcoords, normals, faces


def write_obj(path, mesh):
    positions, texcoords, normals, faces = mesh
    lines = ["# Vantrels tracker puck. Metres, +Y up, LED window towards +Z.",
             "# Generated by tools/modelgen/vantrels_modelgen.py; edit the generator, not this file.",
             "mtllib vantrel.mtl", "o vantrel"]
    lines += ["v %.6f %.6f %.6f" % p for p in positions]
    lines += ["vt %.6f %.6f" % t for t in texcoords]
    lines += ["vn %.6f %.6f %.6f" % n for n in normals]
    lines += ["usemtl vantrel_body", "s 1"]
    lines += ["f " + " ".join("%d/%d/%d" % corner for corner in face) for face in faces]
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def write_mtl(path):
    with open(path, "w", newline="\n") as f:
        f.write("# Vantrels tracker puck material.\n"
                "newmtl vantrel_body\n"
                "Ka 0.000000 0.000000 0.000000\n"
                "Kd 1.000000 1.000000 1.000000\n"
                "Ks 0.250000 0.250000 0.250000\n"
                "Ns 40.000000\n"
                "d 1.000000\n"
                "illum 2\n"
                "map_Kd vantrel.png\n")


# ---- texture ---------------------------------------------------------------------------------------

FONT = {  # 5 x 7 capitals, top row first
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
}
WORD = "VANTRELS"


def text_coverage(x, y, cell):
    """Coverage of WORD at text coordinates (x, y) in glyph cells of `cell` units, origin at the top left;
    each glyph is 5 x 7 dots in a 6-dot cell."""
    if y < 0 or x < 0:
        return 0.0
    dot_x, dot_y = x / cell * 6, y / cell * 6
    letter = int(dot_x // 6)
    if letter >= len(WORD) or dot_y >= 7:
        return 0.0
    gx, gy = int(dot_x - 6 * letter), int(dot_y)
    if gx >= 5:
        return 0.0
    return 1.0 if FONT[WORD[letter]][gy][gx] == "1" else 0.0


def smooth_step(edge0, edge1, x):
    t = min(max((x - edge0) / (edge1 - edge0), 0.0), 1.0)
    return t * t * (3.0 - 2.0 * t)


def mix(a, b, t):
    return tuple(a[n] + (b[n] - a[n]) * t for n in range(3))


def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = min(max(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy), 0.0), 1.0)
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


BODY = (26, 28, 33)
RING = (44, 47, 54)
ACCENT = (0, 196, 214)
LETTERS = (222, 226, 232)
RUBBER = (58, 59, 62)
METAL = (112, 116, 122)


def top_colour(mx, mz):
    """Dome seen from above, in millimetres from the centre (+X right, +Z down the picture)."""
    rho = math.hypot(mx, mz)
    shade = 1.0 + 0.10 * (1.0 - rho / 34.0)
    colour = tuple(c * shade for c in BODY)
    # Outer ring with the name along its upper arc.
    ring = smooth_step(21.0, 21.25, rho) * (1.0 - smooth_step(30.2, 30.45, rho))
    colour = mix(colour, RING, ring)
    for edge in (21.2, 30.4):
        colour = mix(colour, ACCENT, 0.85 * (1.0 - smooth_step(0.18, 0.38, abs(rho - edge))))
    if 22.0 < rho < 29.6:
        phi = math.atan2(mx, -mz)  # 0 at the top of the picture, clockwise
        cell = 5.2  # glyph cell height and width in mm at the text's middle radius
        width = len(WORD) * cell - cell / 6
        mid = 25.8
        tx = phi * mid + width / 2
        ty = (29.0 - rho) * 6 / 7 * 7 / 6
        hits = 0
        for sx in (-0.3, 0.0, 0.3):
            for sy in (-0.3, 0.0, 0.3):
                hits += text_coverage(tx + sx * 0.25, ty + sy * 0.25, cell)
        colour = mix(colour, LETTERS, hits / 9.0)
        # Small dots on the rest of the ring.
        if abs(phi) > (width / 2 + 2.0) / mid:
            step = 2.0 * math.pi / 28
            nearest = round(phi / step) * step
            dot = math.hypot(mx - mid * math.sin(nearest), mz + mid * math.cos(nearest))
            colour = mix(colour, (90, 96, 106), 1.0 - smooth_step(0.45, 0.7, dot))
    # Logo: a V in the middle, over a slightly raised disc.
    disc = 1.0 - smooth_step(15.5, 15.8, rho)
    colour = mix(colour, (34, 37, 43), disc)
    d = min(segment_distance(mx, mz, -8.5, -7.0, 0.0, 8.0), segment_distance(mx, mz, 8.5, -7.0, 0.0, 8.0))
    stroke = 1.0 - smooth_step(2.1, 2.4, d)
    glow = 0.35 * (1.0 - smooth_step(2.4, 4.0, d))
    colour = mix(colour, mix((0, 150, 170), ACCENT, smooth_step(-8.0, 8.0, -mz)), max(stroke, glow))
    colour = mix(colour, (220, 250, 255), 0.5 * (1.0 - smooth_step(0.0, 0.9, d)))  # highlight along the strokes
    return colour


def base_colour(mx, mz):
    """Mounting face seen from below, in millimetres from the centre."""
    rho = math.hypot(mx, mz)
    colour = RUBBER
    colour = mix(colour, (44, 45, 48), 1.0 - smooth_step(0.2, 0.45, abs(rho - 12.5)))
    colour = mix(colour, (80, 82, 86), 1.0 - smooth_step(4.0, 4.3, rho))  # threaded insert
    colour = mix(colour, (12, 12, 14), 1.0 - smooth_step(2.6, 2.9, rho))  # screw hole
    for k in range(3):  # feet
        a = 2.0 * math.pi * k / 3 + math.pi / 2
        foot = math.hypot(mx - 14.8 * math.cos(a), mz - 14.8 * math.sin(a))
        colour = mix(colour, (36, 36, 38), 1.0 - smooth_step(1.3, 1.6, foot))
    return colour


def side_colour(u, v):
    """Side wall unrolled: u around (0.5 faces +Z), v along the profile."""
    s = (v - SIDE_V0) / (SIDE_V1 - SIDE_V0) * SIDE_ARC[-1] * 1000.0  # mm from the bottom of the stem
    around = (u - 0.5) * 2.0 * math.pi * 40.5  # mm around the wall from the LED's centre line
    stem_top = SIDE_ARC[STEM_RINGS - 1] * 1000.0
    wall_bottom = SIDE_ARC[5] * 1000.0
    wall_top = SIDE_ARC[6] * 1000.0
    if s < stem_top + 0.5:
        colour = mix(METAL, (80, 84, 90), 0.5 + 0.5 * math.sin(around * 1.6))  # brushed, knurled stem
        return mix(colour, BODY, smooth_step(stem_top - 0.3, stem_top + 0.5, s))
    colour = tuple(c * (0.85 + 0.15 * smooth_step(stem_top, wall_bottom, s)) for c in BODY)
    # Accent line just under the shoulder.
    colour = mix(colour, ACCENT, 0.9 * (1.0 - smooth_step(0.25, 0.45, abs(s - (wall_top + 0.9)))))
    # LED window on the wall, glowing green-cyan.
    mid = 0.5 * (wall_bottom + wall_top)
    qx, qy = max(abs(around) - 5.0, 0.0), max(abs(s - mid) - 0.6, 0.0)
    box = math.hypot(qx, qy) - 1.0
    colour = mix(colour, (10, 11, 13), 1.0 - smooth_step(0.5, 0.8, box))  # bezel
    led = 1.0 - smooth_step(-0.15, 0.1, box)
    core = 1.0 - smooth_step(0.0, 4.5, math.hypot(around / 2.0, (s - mid)))
    colour = mix(colour, mix((40, 200, 140), (210, 255, 235), core), led)
    # The name on the wall, a quarter turn from the LED and clear of the seam at u = 0.
    back = (u - 0.8) * 2.0 * math.pi * 40.5
    cell = 2.2
    width = len(WORD) * cell - cell / 6
    tx, ty = back + width / 2, (wall_top + 0.2 - s) * 1.0 + (cell * 7 / 6 - (wall_top - wall_bottom)) / 2
    hits = 0
    for sx in (-0.3, 0.0, 0.3):
        for sy in (-0.3, 0.0, 0.3):
            hits += text_coverage(tx + sx * 0.12, ty + sy * 0.1, cell)
    colour = mix(colour, (150, 156, 166), hits / 9.0)
    return colour


def render_texture(size):
    rows = []
    for py in range(size):
        v = 1.0 - (py + 0.5) / size
        row = bytearray()
        for px in range(size):
            u = (px + 0.5) / size
            if v >= 0.5 and u < 0.5:
                k = DOME_RADIUS * 1000.0 / TOP_RADIUS
                colour = top_colour((u - TOP_CENTRE[0]) * k, -(v - TOP_CENTRE[1]) * k)
            elif v >= 0.5:
                k = BASE_RADIUS * 1000.0 / BASE_UV_RADIUS
                colour = base_colour(-(u - BASE_CENTRE[0]) * k, -(v - BASE_CENTRE[1]) * k)
            else:
                colour = side_colour(u, min(max(v, SIDE_V0), SIDE_V1))
            row += bytes(min(255, max(0, int(round(c)))) for c in colour)
        rows.append(bytes(row))
    return rows


def png_bytes(rows, width, height):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main(argv):
    if len(argv) != 2 or argv[1] in ("-h", "--help"):
        sys.stderr.write("usage: vantrels_modelgen.py OUTPUT_FOLDER\n")
        return 0 if len(argv) == 2 else 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    mesh = build_mesh()
    write_obj(os.path.join(out, "vantrel.obj"), mesh)
    write_mtl(os.path.join(out, "vantrel.mtl"))
    rows = render_texture(TEXTURE_SIZE)
    with open(os.path.join(out, "vantrel.png"), "wb") as f:
        f.write(png_bytes(rows, TEXTURE_SIZE, TEXTURE_SIZE))
    print("%d positions, %d texture coordinates, %d normals, %d triangles" % tuple(len(x) for x in mesh))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
