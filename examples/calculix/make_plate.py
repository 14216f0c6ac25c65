#!/usr/bin/env python3
"""Writes plate.inp: a steel plate 120 x 60 x 8 mm with a hole of 20 mm at (60, 30), meshed with
C3D20 bricks (an O-grid around the hole between two rectangular blocks), in mm, t, s, N. The
node set HOLE is the hole's face, where a joint would hold the plate.

Usage: make_plate.py [plate.inp]
"""
import math
import sys

LENGTH, WIDTH, THICKNESS = 120.0, 60.0, 8.0
CENTRE, RADIUS = (60.0, 30.0), 10.0
AROUND, OUTWARD, SIDE, LAYERS = 16, 3, 3, 2  # elements around the hole, out to its square, beside it, through


class Mesh:
    def __init__(self):
        self.nodes = {}  # rounded position -> label
        self.coordinates = []
        self.elements = []

    def node(self, x, y, z):
        key = (round(x, 6), round(y, 6), round(z, 6))
        if key not in self.nodes:
            self.nodes[key] = len(self.coordinates) + 1
            self.coordinates.append((x, y, z))
        return self.nodes[key]

    def bricks(self, point, columns, rows):
        """C3D20 bricks over a patch of quadratic points point(a, b), a in 0..2 columns, b in
        0..2 rows, through the thickness."""
        for i in range(columns):
            for j in range(rows):
                a, b = 2 * i, 2 * j
                corners = [(a, b), (a + 2, b), (a + 2, b + 2), (a, b + 2)]
                mids = [(a + 1, b), (a + 2, b + 1), (a + 1, b + 2), (a, b + 1)]
                xy = [point(*c) for c in corners]
                area = sum(xy[k][0] * xy[(k + 1) % 4][1] - xy[(k + 1) % 4][0] * xy[k][1] for k in range(4))
                if area < 0:  # counter-clockwise seen from +z, as C3D20 wants
                    corners = [corners[0], corners[3], corners[2], corners[1]]
                    mids = [mids[3], mids[2], mids[1], mids[0]]
                for layer in range(LAYERS):
                    z = [THICKNESS * (2 * layer + k) / (2 * LAYERS) for k in range(3)]
                    at = lambda p, h: self.node(*point(*p), h)
                    self.elements.append([at(c, z[0]) for c in corners] + [at(c, z[2]) for c in corners] +
                                         [at(m, z[0]) for m in mids] + [at(m, z[2]) for m in mids] +
                                         [at(c, z[1]) for c in corners])


def square_point(t):
    """A point on the square around the hole, t in [0, 1) along its perimeter from its lower
    right corner, counter-clockwise."""
    half = WIDTH / 2
    corners = [(half, -half), (half, half), (-half, half), (-half, -half)]
    side, s = int(4 * t) % 4, (4 * t) % 1
    (x0, y0), (x1, y1) = corners[side], corners[(side + 1) % 4]
    return CENTRE[0] + x0 + s * (x1 - x0), CENTRE[1] + y0 + s * (y1 - y0)


def ring(a, b):
    t = a / (2 * AROUND)
    angle = 2 * math.pi * t - math.pi / 4
    inner = (CENTRE[0] + RADIUS * math.cos(angle), CENTRE[1] + RADIUS * math.sin(angle))
    outer = square_point(t)
    f = b / (2 * OUTWARD)
    return inner[0] + f * (outer[0] - inner[0]), inner[1] + f * (outer[1] - inner[1])


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "plate.inp"
    mesh = Mesh()
    mesh.bricks(ring, AROUND, OUTWARD)
    rows = AROUND // 4
    for x0 in (0.0, CENTRE[0] + WIDTH / 2):
        mesh.bricks(lambda a, b, x0=x0: (x0 + a * (CENTRE[0] - WIDTH / 2) / (2 * SIDE), b * WIDTH / (2 * rows)),
                    SIDE, rows)
    hole = [label for label, (x, y, z) in enumerate(mesh.coordinates, start=1)
            if abs(math.hypot(x - CENTRE[0], y - CENTRE[1]) - RADIUS) < 1e-6]
    with open(path, "w") as f:
        f.write("** A steel plate with a hole, 120 x 60 x 8 mm, in mm, t, s, N (made by make_plate.py)\n")
        f.write("*NODE, NSET=NALL\n")
        for label, (x, y, z) in enumerate(mesh.coordinates, start=1):
            f.write("%d, %.10g, %.10g, %.10g\n" % (label, x, y, z))
        f.write("*ELEMENT, TYPE=C3D20, ELSET=EALL\n")
        for label, nodes in enumerate(mesh.elements, start=1):
            f.write("%d, %s,\n%s\n" % (label, ", ".join(map(str, nodes[:15])), ", ".join(map(str, nodes[15:]))))
        f.write("*NSET, NSET=HOLE\n")
        for k in range(0, len(hole), 12):
            f.write(", ".join(map(str, hole[k:k + 12])) + "\n")
        f.write("*MATERIAL, NAME=STEEL\n*ELASTIC\n210000, 0.3\n*DENSITY\n7.85e-09\n")
        f.write("*SOLID SECTION, ELSET=EALL, MATERIAL=STEEL\n")


if __name__ == "__main__":
    main()
