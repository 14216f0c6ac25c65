#!/usr/bin/env python3
"""Writes a small model file with Python's standard library alone.

Usage: python3 write_model.py OUTPUT

The model: a system of type 7 with 2 loads and 1 static mode; four nodes (103 is internal),
three degrees of freedom per node, three modes and two elements; a 12 x 12 matrix stored under
a type index and a name, the node coordinates, and the user matrix "xGFAA".
"""
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
"""


def type_index(major, minor):
    return major * 1000 + minor


# Position types: what the members of a collection's sets are.
DOF, MODE, NODE, ELEMENT = type_index(31, 3), type_index(10, 14), type_index(31, 58), type_index(31, 15)
STIFFNESS = type_index(20, 61)
NODE_COORDINATES = type_index(31, 37)
A_SET, A_SET_NODES = type_index(20, 72), type_index(20, 73)


def ints(values):
    """Set members: little-endian 32-bit integers."""
    return struct.pack("<%di" % len(values), *values)


def doubles(values):
    """One column of a matrix: little-endian IEEE-754 doubles."""
    return struct.pack("<%dd" % len(values), *values)


def add_matrix(con, idx, rows, columns, value, row_set=None, column_set=None):
    """A dense matrix whose element (r, c), from 0, is value(r, c); stored column by column."""
    con.execute("INSERT INTO distribution VALUES (?, 1, ?, ?, ?, ?)", (idx, rows, columns, row_set, column_set))
    for c in range(columns):
        column = doubles([value(r, c) for r in range(rows)])
        con.execute("INSERT INTO column_values VALUES (?, ?, ?)", (idx, c, column))


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

    # The system: type 7, 2 loads, 1 static mode; distribution 1 holds the node coordinates.
    con.execute("INSERT INTO model VALUES (1, 1, 1, 0, 7, 2, 1, 1)")

    # Tables numbered from 1: nodes, degrees of freedom (node number, local dof), modes, elements.
    labels = [101, 102, 103, 104]
    for number, label in enumerate(labels, start=1):
        con.execute("INSERT INTO node VALUES (?, ?, ?)", (number, label, 1 if label == 103 else 0))
    dofs = [(node, ldof) for node in range(1, 5) for ldof in (1, 2, 3)]
    for number, (node, ldof) in enumerate(dofs, start=1):
        con.execute("INSERT INTO dof VALUES (?, ?, ?)", (number, node, ldof))
    for number, (node_label, ldof) in enumerate([(101, 1), (0, 0), (0, 0)], start=1):
        con.execute("INSERT INTO mode VALUES (?, ?, ?)", (number, node_label, ldof))
    for number, label in enumerate([11, 12], start=1):
        con.execute("INSERT INTO element VALUES (?, ?)", (number, label))

    # Collections and sets, numbered from 0; members are numbers in the tables above.
    for idx, position_type in enumerate([DOF, NODE, MODE, ELEMENT]):
        con.execute("INSERT INTO collection VALUES (?, ?)", (idx, position_type))
    sets = [(0, list(range(1, 13))), (1, [1, 2, 3, 4]), (2, [1, 2, 3]), (3, [2, 1])]
    for idx, (collection, members) in enumerate(sets):
        con.execute("INSERT INTO component_set VALUES (?, ?, ?)", (idx, collection, ints(members)))

    # Matrices, numbered from 0: rows and columns labelled by sets (or NULL).
    add_matrix(con, 0, 12, 12, lambda r, c: (r + 1) + (c + 1) / 8, row_set=0, column_set=0)
    add_matrix(con, 1, 4, 3, lambda n, k: labels[n] + (k + 1) / 4, row_set=1)
    add_matrix(con, 2, 12, 3, lambda r, m: -(r + 1) * (m + 1) / 16, row_set=0, column_set=2)

    con.execute("INSERT INTO distribution_by_type VALUES (?, 0)", (STIFFNESS,))
    con.execute("INSERT INTO distribution_by_type VALUES (?, 1)", (NODE_COORDINATES,))
    con.execute("INSERT INTO distribution_by_name VALUES ('K', 0)")
    con.execute("INSERT INTO user_matrix VALUES ('xGFAA', 2)")
    con.execute("INSERT INTO set_by_type VALUES (?, 0)", (A_SET,))
    con.execute("INSERT INTO set_by_type VALUES (?, 1)", (A_SET_NODES,))

    # Optional attributes: the units the values are in, and where the model comes from.
    for name, value in [("unit.length", "m"), ("unit.mass", "kg"), ("unit.time", "s"), ("unit.force", "N"),
                        ("provenance.program", "write_model.py")]:
        con.execute("INSERT INTO model_attribute VALUES (?, ?)", (name, value))
    con.execute("COMMIT")
    con.close()


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    write_model(sys.argv[1])
