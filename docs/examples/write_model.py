#!/usr/bin/env python3
"""Writes a small reduced model file with Python's standard library alone.

Usage: python3 write_model.py OUTPUT

The model: a straight steel beam 1 m long along x, nodes 101 (x = 0), 102 (x = 0.5) and 103
(x = 1), six degrees of freedom per node, reduced to its two end nodes: the A-set is the twelve
degrees of freedom of nodes 101 and 103, so there are twelve static modes, one per A-set
degree of freedom, and two dynamic modes. Two load cases. Units: m, kg, s, N.

It stores what a host reads of a reduced model: the node coordinates, the mode matrix, the
recovery matrix (load columns first, static-mode rows last), the reduced stiffness and mass
over the static then the dynamic modes, the lumped masses and the user matrix "xGFAA".
"""
import math
import os
import sqlite3
import struct
import sys

APPLICATION_ID = 0x514D4446  # "QMDF": marks the file as a model file
FORMAT_VERSION = 1

SCHEMA = """
CREATE TABLE model (
  id                  INTEGER PRIMARY KEY CHECK (id = 1),
  has_substructure    INTEGER NOT NULL,
  has_system          INTEGER NOT NULL,
  record_reports_null INTEGER NOT NULL,
  system_type         INTEGER NOT NULL,
  num_loads           INTEGER NOT NULL,
  num_static_modes    INTEGER NOT NULL,
  node_coordinates    INTEGER
);
CREATE TABLE node (number INTEGER PRIMARY KEY, label INTEGER NOT NULL, internal INTEGER NOT NULL);
CREATE TABLE dof (number INTEGER PRIMARY KEY, node INTEGER NOT NULL, ldof INTEGER NOT NULL);
CREATE TABLE mode (number INTEGER PRIMARY KEY, node_label INTEGER NOT NULL, ldof INTEGER NOT NULL);
CREATE TABLE element (number INTEGER PRIMARY KEY, label INTEGER NOT NULL);
CREATE TABLE collection (idx INTEGER PRIMARY KEY, position_type INTEGER NOT NULL);
CREATE TABLE component_set (
  idx        INTEGER PRIMARY KEY,
  collection INTEGER NOT NULL,
  members    BLOB NOT NULL
);
CREATE TABLE distribution (
  idx         INTEGER PRIMARY KEY,
  dense       INTEGER NOT NULL,
  num_rows    INTEGER NOT NULL,
  num_columns INTEGER NOT NULL,
  row_set     INTEGER,
  column_set  INTEGER
);
CREATE TABLE distribution_by_type (matrix_type INTEGER PRIMARY KEY, distribution INTEGER NOT NULL);
CREATE TABLE distribution_by_name (name TEXT PRIMARY KEY, distribution INTEGER NOT NULL);
CREATE TABLE user_matrix (name TEXT PRIMARY KEY, distribution INTEGER NOT NULL);
CREATE TABLE set_by_type (set_type INTEGER PRIMARY KEY, component_set INTEGER NOT NULL);
CREATE TABLE column_values (
  distribution INTEGER NOT NULL,
  column_index INTEGER NOT NULL,
  data         BLOB NOT NULL,
  PRIMARY KEY (distribution, column_index)
);
CREATE TABLE model_attribute (name TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE mesh_element (label INTEGER PRIMARY KEY, type TEXT NOT NULL, nodes BLOB NOT NULL);
"""


def type_index(major, minor):
    return major * 1000 + minor


# Position types: what the members of a collection's sets are.
DOF, MODE, NODE, ELEMENT = type_index(31, 3), type_index(10, 14), type_index(31, 58), type_index(31, 15)
# Matrix types and set types.
NODE_COORDINATES = type_index(31, 37)
REDUCED_STIFFNESS, REDUCED_MASS = type_index(20, 61), type_index(20, 62)
RECOVERY_MATRIX, MODE_MATRIX = type_index(20, 68), type_index(20, 74)
A_SET, A_SET_NODES = type_index(20, 72), type_index(20, 73)
DYNAMIC_MODE_LABEL = 900000000  # dynamic mode k is labelled node 900000000 + k, dof 0

# The beam: a tube of steel.
LENGTH, E, G, DENSITY = 1.0, 2.1e11, 8.1e10, 7850.0
AREA, I_Y, I_Z, J_TORSION = 1e-4, 1e-8, 1e-8, 2e-8
NODES = [(101, 0.0), (102, 0.5), (103, 1.0)]  # label, x
A_SET_NODE_LABELS = [101, 103]
LOADS = 2
DYNAMIC_HERTZ = [52.0, 57.0]  # the two fixed-interface modes: the middle node moving in y, in z


def ints(values):
    """Set members: little-endian 32-bit integers."""
    return struct.pack("<%di" % len(values), *values)


def doubles(values):
    """One column of a matrix: little-endian IEEE-754 doubles."""
    return struct.pack("<%dd" % len(values), *values)


def add_matrix(con, idx, matrix, row_set=None, column_set=None):
    """A dense matrix given as a list of rows; stored column by column."""
    rows, columns = len(matrix), len(matrix[0]) if matrix else 0
    con.execute("INSERT INTO distribution VALUES (?, 1, ?, ?, ?, ?)", (idx, rows, columns, row_set, column_set))
    for c in range(columns):
        con.execute("INSERT INTO column_values VALUES (?, ?, ?)", (idx, c, doubles([matrix[r][c] for r in range(rows)])))


def zeros(rows, columns):
    return [[0.0] * columns for _ in range(rows)]


def beam_stiffness():
    """The 12 x 12 stiffness of a 3D Euler-Bernoulli beam along x: dofs ux uy uz rx ry rz of each end.
    A uniform beam condensed to its two ends is exactly this matrix."""
    k = zeros(12, 12)
    L = LENGTH
    for a, b, s in [(0, 6, E * AREA / L), (3, 9, G * J_TORSION / L)]:  # axial, torsion
        for i, j, sign in [(a, a, 1), (b, b, 1), (a, b, -1), (b, a, -1)]:
            k[i][j] += sign * s
    # Bending: in the x-y plane (uy, rz) with I_Z, in the x-z plane (uz, ry) with I_Y.
    for u, r, inertia, sign in [(1, 5, I_Z, 1.0), (2, 4, I_Y, -1.0)]:
        c = E * inertia / L ** 3
        dofs = [u, r, u + 6, r + 6]
        block = [[12, 6 * L * sign, -12, 6 * L * sign],
                 [6 * L * sign, 4 * L * L, -6 * L * sign, 2 * L * L],
                 [-12, -6 * L * sign, 12, -6 * L * sign],
                 [6 * L * sign, 2 * L * L, -6 * L * sign, 4 * L * L]]
        for i in range(4):
            for j in range(4):
                k[dofs[i]][dofs[j]] += c * block[i][j]
    return k


def write_model(path):
    if os.path.exists(path):
        os.remove(path)
    con = sqlite3.connect(path, isolation_level=None)  # transactions as written below
    con.execute("PRAGMA page_size = 65536")  # before the first table is made
    con.execute("PRAGMA application_id = %d" % APPLICATION_ID)
    con.execute("PRAGMA user_version = %d" % FORMAT_VERSION)
    con.execute("BEGIN")
    for statement in SCHEMA.split(";"):
        if statement.strip():
            con.execute(statement)

    # Numbered tables. Nodes (from 1), none internal; six dofs per node, numbered node by node.
    for number, (label, _) in enumerate(NODES, start=1):
        con.execute("INSERT INTO node VALUES (?, ?, 0)", (number, label))
    dofs = [(node, ldof) for node in range(1, len(NODES) + 1) for ldof in range(1, 7)]
    for number, (node, ldof) in enumerate(dofs, start=1):
        con.execute("INSERT INTO dof VALUES (?, ?, ?)", (number, node, ldof))
    label_of = {number: label for number, (label, _) in enumerate(NODES, start=1)}
    a_set = [d for d, (node, _) in enumerate(dofs, start=1) if label_of[node] in A_SET_NODE_LABELS]

    # Modes, three kinds: load l is labelled node 0, dof l; the static mode of an A-set dof is
    # labelled by that dof's node and local dof, in A-set order; dynamic mode k is labelled node
    # 900000000 + k, dof 0.
    loads = [(0, l) for l in range(1, LOADS + 1)]
    statics = [(label_of[dofs[d - 1][0]], dofs[d - 1][1]) for d in a_set]
    dynamics = [(DYNAMIC_MODE_LABEL + k, 0) for k in range(1, len(DYNAMIC_HERTZ) + 1)]
    for number, (node_label, ldof) in enumerate(loads + statics + dynamics, start=1):
        con.execute("INSERT INTO mode VALUES (?, ?, ?)", (number, node_label, ldof))
    load_modes = list(range(1, LOADS + 1))
    reduced_modes = list(range(LOADS + 1, LOADS + len(statics) + len(dynamics) + 1))  # statics, then dynamics

    # Collections (what the sets hold) and sets, numbered from 0.
    for idx, position_type in enumerate([DOF, NODE, MODE]):
        con.execute("INSERT INTO collection VALUES (?, ?)", (idx, position_type))
    all_dofs = list(range(1, len(dofs) + 1))
    sets = [
        (0, all_dofs),                  # 0: every dof: the rows of the mode matrix
        (1, [1, 2, 3]),                 # 1: every node: the rows of the node coordinates
        (0, a_set),                     # 2: the A-set
        (1, [1, 3]),                    # 3: the A-set's nodes
        (2, reduced_modes),             # 4: static then dynamic modes: the reduced coordinates
        (2, load_modes + reduced_modes),  # 5: loads first, then the modes: the recovery columns
        (0, all_dofs + a_set),          # 6: the dofs to recover, then a static-mode row per A-set dof
    ]
    for idx, (collection, members) in enumerate(sets):
        con.execute("INSERT INTO component_set VALUES (?, ?, ?)", (idx, collection, ints(members)))
    con.execute("INSERT INTO set_by_type VALUES (?, 2)", (A_SET,))
    con.execute("INSERT INTO set_by_type VALUES (?, 3)", (A_SET_NODES,))

    # Lumped masses: half the beam's mass at the middle node, a quarter at each end; rotary
    # inertia of the cross-section alike.
    mass = DENSITY * AREA * LENGTH
    node_mass = {101: mass / 4, 102: mass / 2, 103: mass / 4}
    node_rotary = {label: m * (I_Y + I_Z) / AREA for label, m in node_mass.items()}
    fe_mass = [node_mass[label_of[n]] if l <= 3 else node_rotary[label_of[n]] for n, l in dofs]

    # The mode matrix (every dof x the reduced modes). A static mode is 1 at its own A-set dof;
    # the middle node follows the two ends half and half. Dynamic mode k moves the middle node
    # in y (k = 1) or z (k = 2), mass-normalised: Phi^T M Phi = 1.
    n_reduced = len(statics) + len(dynamics)
    phi = zeros(len(dofs), n_reduced)
    for s, d in enumerate(a_set):
        phi[d - 1][s] = 1.0
        middle = 6 + dofs[d - 1][1]  # the middle node's dof of the same local dof
        phi[middle - 1][s] = 0.5
    for k, ldof in enumerate([2, 3]):
        phi[6 + ldof - 1][len(statics) + k] = 1 / math.sqrt(node_mass[102])

    # Reduced mass Phi^T M Phi and stiffness: the beam over the static modes, omega^2 on the
    # dynamic modes, no coupling between the two.
    m_reduced = [[sum(phi[r][i] * fe_mass[r] * phi[r][j] for r in range(len(dofs))) for j in range(n_reduced)]
                 for i in range(n_reduced)]
    k_reduced = zeros(n_reduced, n_reduced)
    for i, row in enumerate(beam_stiffness()):
        k_reduced[i][:12] = row
    for k, hertz in enumerate(DYNAMIC_HERTZ):
        k_reduced[12 + k][12 + k] = (2 * math.pi * hertz) ** 2

    # The recovery matrix: rows are the dofs to recover followed by one static-mode row per
    # A-set dof (last); columns are the loads (first), then the static and the dynamic modes.
    # Here the loads' residual displacement is that of the middle node in y and z.
    recovery = zeros(len(dofs) + len(a_set), LOADS + n_reduced)
    for r in range(len(dofs)):
        recovery[r][LOADS:] = phi[r]
    recovery[6 + 1][0], recovery[6 + 2][1] = -1.5e-6, -2.5e-6
    for s in range(len(a_set)):
        recovery[len(dofs) + s][LOADS + s] = 1.0

    # Matrices, numbered from 0, labelled by the sets above.
    add_matrix(con, 0, [[x, 0.0, 0.0] for _, x in NODES], row_set=1)                      # node coordinates
    add_matrix(con, 1, phi, row_set=0, column_set=4)                                      # mode matrix
    add_matrix(con, 2, recovery, row_set=6, column_set=5)                                 # recovery matrix
    add_matrix(con, 3, k_reduced, row_set=4, column_set=4)                                # reduced stiffness
    add_matrix(con, 4, m_reduced, row_set=4, column_set=4)                                # reduced mass
    add_matrix(con, 5, [[node_mass[label]] for label, _ in NODES], row_set=1)             # "LumpedMass"
    add_matrix(con, 6, [row[:12] for row in k_reduced[:12]], row_set=2, column_set=2)     # "xGFAA"

    con.execute("INSERT INTO model VALUES (1, 1, 1, 0, 1, ?, ?, 0)", (LOADS, len(a_set)))
    for matrix_type, idx in [(MODE_MATRIX, 1), (RECOVERY_MATRIX, 2), (REDUCED_STIFFNESS, 3), (REDUCED_MASS, 4)]:
        con.execute("INSERT INTO distribution_by_type VALUES (?, ?)", (matrix_type, idx))
    con.execute("INSERT INTO distribution_by_name VALUES ('LumpedMass', 5)")
    con.execute("INSERT INTO user_matrix VALUES ('xGFAA', 6)")

    # Optional attributes: the units the values are in, and where the model comes from.
    for name, value in [("unit.length", "m"), ("unit.mass", "kg"), ("unit.time", "s"), ("unit.force", "N"),
                        ("provenance.program", "write_model.py"), ("provenance.source", "a uniform steel beam")]:
        con.execute("INSERT INTO model_attribute VALUES (?, ?)", (name, value))
    # Optional: the mesh the model was reduced from, element by element (label, type, node labels).
    for label, nodes in [(1, [101, 102]), (2, [102, 103])]:
        con.execute("INSERT INTO mesh_element VALUES (?, 'B31', ?)", (label, ints(nodes)))
    con.execute("COMMIT")
    con.close()


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    write_model(sys.argv[1])
