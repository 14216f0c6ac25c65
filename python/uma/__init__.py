"""Reduced substructure models as numpy arrays, with their labels.

A model file holds one substructure *system*: its type, numbers of loads and static modes, and
its matrices (stored under a type index such as RECOVERY, or under a name), whose rows and
columns are labelled by component sets (degrees of freedom, modes, nodes or elements).

Reading
-------
    import uma
    with uma.System("beam.uma") as s:                      # read-only
        print(s.type, s.num_loads, s.num_static_modes)
        for info in s.matrices():                          # what the model stores
            print(info)
        r = s.matrix(uma.RECOVERY, uma.FILTER_INTERNAL | uma.TRIM_STATIC_MODES | uma.TRIM_LOADS)
        x = r.values()                     # float64, Fortran order, of shape r.shape
        b = r[0:3, 5:10]                   # numpy's slices: reads only that block
        b = r.block(0, 5, 2, 9)            # the same block: first row, first column, last row,
                                           # last column, both ends included
        nodes, dofs = r.rows("node"), r.rows("dof")        # int32 labels, one per row
        u = r @ q                          # the library's product (q: numpy array or Matrix)

The modes, with the layout rules applied (static modes first, frequencies from the reduced
stiffness and mass):

        modes = s.modes()                  # frequencies, shapes, nodes, dofs, static_shapes, ...
        modes.frequencies[0], modes.shapes[:, 0]

Retrieval options (System.matrix): FILTER_INTERNAL drops the rows and columns of internal
nodes, TRIM_STATIC_MODES the static-mode rows of dof rows, TRIM_LOADS the load columns of mode
columns. FlexibleBody(path) is the flexible-body view: fe_nodes, a_set_nodes, a_set_dofs,
nodes_in_a_set, recovery_nodes, recovery_dofs, gfaa_nodes, gfaa_dofs, and matrix(key) with the
view's fixed options.

Editing
-------
    with uma.System("beam.uma", edit=True) as s:
        k = s.get_matrix(uma.REDUCED_STIFFNESS)            # the stored matrix, writable
        k.set_block(0, 0, numpy.eye(3))
    # leaving the block commits; a commit that fails raises uma.Error with its reason

As with sqlite3, a `with` block that ends by an exception discards the edits (the file stays
byte for byte as it was) and the exception goes on; close() commits and discard() drops the
edits. An editing system still open when the interpreter exits (a script that failed, say) is
discarded, with a warning on stderr, never half saved. One editor at a time per file: a second
System(path, edit=True), in any process, raises uma.Error with kind "being_edited".

Writing
-------
write_model(path, ...) writes a new model file from numpy arrays and label tables.

Errors
------
Indices outside a matrix raise IndexError, empty or reversed blocks and mismatched shapes
ValueError, missing matrices KeyError; what the library or the model file reports raises
uma.Error (MemoryError when memory runs out). A matrix keeps its system alive, but once the
system is closed (close(), or the end of its `with` block) using it raises uma.Error.

uma.Error.kind says what failed, for a program to act on: "no_such_file", "not_a_model",
"newer_version", "damaged", "interrupted_edit" (an editor died during its commit and the file
cannot be written here to roll it back), "unreadable", "read_only", "io_error", "disk_full",
"out_of_memory", "being_edited", "locked" (another process held a lock longer than the busy
timeout), "changed" (the file changed since it was opened: open it again), "not_initialised",
"other"; None for errors that are no failure of a model file.

    try:
        s = uma.System(path, edit=True)
    except uma.Error as e:
        if e.kind == "being_edited":
            ...                                            # try again later

Settings
--------
uma.configure(busy_timeout=seconds, reader_cache_kib=n) sets how long the store waits for
another process's lock (default 10 s) and how much each reading system caches (default 128 MiB);
it answers the settings in effect.

Threads
-------
Systems and matrices may be shared between threads. Reads and products run without the GIL;
calls into the library are serialised (one at a time, destructors included). Closing a system
in one thread makes the next use of it or its matrices in another raise uma.Error.
"""

import collections as _collections
import operator as _operator

import numpy as _np

from ._uma import (  # noqa: F401  (the package's public names)
    A_SET,
    A_SET_NODES,
    DOF_POSITION,
    ELEMENT_POSITION,
    FILTER_INTERNAL,
    GFAA,
    LUMPED_MASS,
    LOADS,
    REDUCED_LOADS,
    MODE_MATRIX,
    MODE_POSITION,
    NODE_COORDINATES,
    NODE_POSITION,
    PROGRAM,
    DATE,
    SOURCE,
    UNIT_FORCE,
    UNIT_LENGTH,
    UNIT_MASS,
    UNIT_TIME,
    RECOVERY,
    REDUCED_MASS,
    REDUCED_STIFFNESS,
    TRIM_LOADS,
    TRIM_STATIC_MODES,
    Error,
    FlexibleBody,
    Matrix,
    System,
    configure,
)
from . import _uma

__all__ = [
    "A_SET", "A_SET_NODES", "DOF_POSITION", "ELEMENT_POSITION", "FILTER_INTERNAL", "GFAA",
    "LUMPED_MASS", "LOADS", "REDUCED_LOADS", "MODE_MATRIX", "MODE_POSITION", "NODE_COORDINATES", "NODE_POSITION",
    "RECOVERY", "REDUCED_MASS", "REDUCED_STIFFNESS", "TRIM_LOADS", "TRIM_STATIC_MODES",
    "UNIT_LENGTH", "UNIT_MASS", "UNIT_TIME", "UNIT_FORCE", "PROGRAM", "DATE", "SOURCE",
    "Error", "FlexibleBody", "Matrix", "MatrixInfo", "Modes", "System", "configure", "write_model",
]

MatrixInfo = _collections.namedtuple(
    "MatrixInfo", ["key", "kind", "shape", "dense", "row_kind", "col_kind"])
MatrixInfo.__doc__ = """One matrix a model stores, as System.matrices lists it.

key: the type index (int) or the name (str) to ask System.matrix for it with; kind: "type",
"user_matrix" or "name"; shape: (rows, columns); dense: False for a matrix stored in a form
the library hands out no matrix of; row_kind, col_kind: "dof", "mode", "node", "element" or
"internal" (None when not dense)."""


def _matrices(self):
    """What the model stores: a list of MatrixInfo, by type index ascending, then user
    matrices, then other names."""
    return [MatrixInfo(*entry) for entry in self._contents()[0]]


def _attributes(self):
    """The model's optional attributes as a dict of str (units such as UNIT_LENGTH: "m",
    provenance such as PROGRAM); empty when it has none."""
    return self._contents()[1]


System.matrices = _matrices
System.attributes = _attributes


def _axis(key, size, axis):
    """The positions an integer or a slice selects along an axis of `size`, and whether it was
    an integer (which drops the axis, as in numpy)."""
    if isinstance(key, slice):
        return range(*key.indices(size)), False
    if isinstance(key, (bool, _np.bool_)):
        raise TypeError("Matrix indices are integers or slices, not booleans")
    try:
        index = _operator.index(key)
    except TypeError:
        raise TypeError("Matrix indices are integers or slices, not %s"
                        % type(key).__name__) from None
    if not -size <= index < size:
        raise IndexError("index %d is out of bounds for axis %d with size %d"
                         % (index, axis, size))
    index %= size
    return range(index, index + 1), True


def _getitem(self, key):
    """self[rows, columns] as numpy indexes an array: integers and slices (half-open, negative
    from the end, with steps), e.g. m[0:3, 5:10] or m[2, :] or m[-1, 4]. Reads only the block
    that the selection spans, through the library. An integer drops its axis; both give a
    float. IndexError for an integer outside the matrix; TypeError for anything but integers
    and slices."""
    if not isinstance(key, tuple):
        key = (key, slice(None))
    if len(key) != 2:
        raise IndexError("a Matrix has 2 axes, not %d indices" % len(key))
    rows, row_index = _axis(key[0], self.shape[0], 0)
    columns, column_index = _axis(key[1], self.shape[1], 1)
    if len(rows) == 0 or len(columns) == 0:
        self.row_kind  # a closed system still raises
        values = _np.empty((len(rows), len(columns)), order="F")
    else:
        r0, r1 = min(rows[0], rows[-1]), max(rows[0], rows[-1])
        c0, c1 = min(columns[0], columns[-1]), max(columns[0], columns[-1])
        values = self.block(r0, c0, r1, c1)
        if rows.step != 1 or columns.step != 1:
            values = _np.asfortranarray(values[rows.start - r0::rows.step,
                                               columns.start - c0::columns.step])
    if row_index and column_index:
        return values[0, 0]
    if row_index:
        return values[0, :]
    if column_index:
        return values[:, 0]
    return values


Matrix.__getitem__ = _getitem

Modes = _collections.namedtuple("Modes", [
    "frequencies", "shapes", "nodes", "dofs", "static_shapes", "static_nodes", "static_dofs"])
Modes.__doc__ = """The modes of a reduced model, as System.modes answers them.

frequencies    each dynamic mode's natural frequency, in cycles per unit of time (the model's
               UNIT_TIME: Hz for "s"); NaN where the model cannot tell
shapes         the dynamic modes: one column each, one row per degree of freedom
nodes, dofs    the node label and local dof (1-3 translations, 4-6 rotations, 7-9 generalised
               coordinates of internal nodes) of each row
static_shapes  the static modes: one column per A-set degree of freedom
static_nodes, static_dofs   the A-set degree of freedom each static mode belongs to"""


def _modes(self, internal=True):
    """The mode shapes and the dynamic modes' frequencies in one call, with the model's layout
    rules applied: the mode matrix's first num_static_modes columns are the static modes, the
    rest the dynamic modes (none when there are fewer columns), and a dynamic mode's frequency
    is sqrt(k / m) / 2 pi of its diagonal entries k and m of the reduced stiffness and mass
    (m = 1 where the model has no reduced mass; negative for a negative k). internal=False
    leaves out the rows of internal nodes. Answers a Modes; KeyError when the model has no mode
    matrix.

        modes = s.modes()
        for f, shape in zip(modes.frequencies, modes.shapes.T): ...
    """
    if not self.has_matrix(MODE_MATRIX):
        raise KeyError("no mode matrix in %s" % self.path)
    phi = self.matrix(MODE_MATRIX, 0 if internal else FILTER_INTERNAL)
    values = phi.values()
    count = phi.shape[1]
    static = min(max(self.num_static_modes, 0), count)
    frequencies = _np.full(count - static, _np.nan)

    def diagonal(key):
        if count == static or not self.has_matrix(key):
            return None
        m = self.matrix(key)
        return _np.diag(m[static:, static:]) if m.shape == (count, count) else None

    k, m = diagonal(REDUCED_STIFFNESS), diagonal(REDUCED_MASS)
    if k is not None:
        m = _np.ones_like(k) if m is None else m
        with _np.errstate(divide="ignore", invalid="ignore"):
            ratio = k / m
            known = (m > 0) & _np.isfinite(ratio)
            frequencies[known] = (_np.sign(ratio[known]) * _np.sqrt(_np.abs(ratio[known]))
                                  / (2 * _np.pi))
    column_nodes, column_dofs = phi.cols("node"), phi.cols("dof")
    return Modes(frequencies, values[:, static:], phi.rows("node"), phi.rows("dof"),
                 values[:, :static],
                 None if column_nodes is None else column_nodes[:static],
                 None if column_dofs is None else column_dofs[:static])


System.modes = _modes

_KINDS = ("dof", "mode", "node", "element")
_INT32 = _np.iinfo(_np.int32)


def _ints(values, what, width=1):
    """An int32 array of n rows of `width` integers, refusing what would not fit."""
    array = _np.asarray(values)
    if array.size == 0:
        return _np.empty((0,) if width == 1 else (0, width), dtype=_np.int32)
    if array.dtype.kind not in "iub":
        raise TypeError("%s: integers expected, not %s" % (what, array.dtype))
    if width == 1 and array.ndim != 1:
        raise ValueError("%s: a 1-D array expected" % what)
    if width > 1 and (array.ndim != 2 or array.shape[1] != width):
        raise ValueError("%s: an array of shape (n, %d) expected" % (what, width))
    if array.min() < _INT32.min or array.max() > _INT32.max:
        raise ValueError("%s: a value does not fit in 32 bits" % what)
    return array.astype(_np.int32)


def _int32(value, what):
    value = _operator.index(value)
    if not _INT32.min <= value <= _INT32.max:
        raise ValueError("%s: %d does not fit in 32 bits" % (what, value))
    return value


def write_model(path, *, nodes, dofs=(), modes=(), elements=(), internal=(), sets=None,
                set_types=None, matrices=(), system_type=0, num_loads=0, num_static_modes=0,
                attributes=None):
    """Writes a model file at `path` (replacing a file there; it appears whole or not at all).

    nodes      node labels, one per node (node numbers count from 1 in this order)
    internal   the labels of the internal nodes (those FILTER_INTERNAL drops)
    dofs       (node label, local dof) per degree of freedom, shape (n, 2)
    modes      (node label, local dof) per mode, shape (n, 2): the load modes first, then the
               static modes, then the dynamic modes, as the retrieval options expect
    elements   element labels
    sets       {name: (kind, members)}: ordered component sets; kind is "dof", "mode", "node"
               or "element", members are numbers from 1 into that table (dofs, modes, nodes,
               elements) in the set's order
    set_types  {set type index (e.g. A_SET): set name}
    matrices   a sequence of dicts, one per matrix: "values" (2-D array), "rows" and "columns"
               (set names labelling them, or None), and where it is filed: "type" (a type
               index, e.g. RECOVERY or NODE_COORDINATES), "name" and/or "user_matrix" (each a
               key or a list of keys); "dense" (default True)
    system_type, num_loads, num_static_modes   the system's counts
    attributes {name: text}: the model's optional attributes, e.g. {UNIT_LENGTH: "m",
               UNIT_MASS: "kg", PROGRAM: "my-reducer 2.1"}

    Bad tables raise TypeError or ValueError; a model whose references do not hold (a dof of
    a missing node, a set member outside its table, a set that does not have one member per
    row) or a file that cannot be written raises uma.Error. Several processes may write one path
    at once: each writes a file of its own beside it and renames it over the path when complete.

        uma.write_model("tiny.uma", nodes=[1, 2], dofs=[[1, 1], [2, 1]],
                        sets={"d": ("dof", [1, 2])},
                        matrices=[{"type": uma.REDUCED_STIFFNESS, "values": k,
                                   "rows": "d", "columns": "d"}])
    """
    node_labels = _ints(nodes, "nodes")
    number_of_node = {}
    for number, label in enumerate(node_labels.tolist(), start=1):
        if label in number_of_node:
            raise ValueError("nodes: label %d appears twice" % label)
        number_of_node[label] = number
    internal_labels = set(_ints(internal, "internal").tolist())
    unknown = internal_labels - set(number_of_node)
    if unknown:
        raise ValueError("internal: %d is not a node label" % min(unknown))
    internal_flags = _np.array([label in internal_labels for label in node_labels.tolist()],
                               dtype=_np.int32)

    dof_table = _ints(dofs, "dofs", 2).copy()
    for row, (label, _) in enumerate(dof_table.tolist()):
        if label not in number_of_node:
            raise ValueError("dofs: row %d refers to node label %d, which is not a node"
                             % (row, label))
        dof_table[row, 0] = number_of_node[label]
    mode_table = _ints(modes, "modes", 2)
    element_labels = _ints(elements, "elements")

    set_names = list((sets or {}).keys())
    set_index = {name: i for i, name in enumerate(set_names)}
    set_list = []
    for name in set_names:
        entry = sets[name]
        if not isinstance(entry, tuple) or len(entry) != 2:
            raise ValueError("sets[%r]: expected (kind, members)" % (name,))
        kind, members = entry
        if kind not in _KINDS:
            raise ValueError("sets[%r]: the kind is one of %s, not %r" % (name, _KINDS, kind))
        set_list.append((kind, _ints(members, "sets[%r]" % (name,))))

    def set_of(name, where):
        if name is None:
            return -1
        if name not in set_index:
            raise ValueError("%s: no set named %r" % (where, name))
        return set_index[name]

    type_list = []
    for set_type, name in (set_types or {}).items():
        type_list.append((_int32(set_type, "set_types"), set_of(name, "set_types")))

    def keys(value):
        if value is None:
            return []
        return list(value) if isinstance(value, (list, tuple)) else [value]

    matrix_list = []
    for i, spec in enumerate(matrices):
        where = "matrices[%d]" % i
        unknown = set(spec) - {"values", "rows", "columns", "type", "name", "user_matrix", "dense"}
        if unknown:
            raise ValueError("%s: unknown field %r" % (where, sorted(unknown)[0]))
        if "values" not in spec:
            raise ValueError("%s: no values" % where)
        values = _np.asarray(spec["values"])
        if values.dtype.kind not in "iufb" or values.ndim != 2:
            raise ValueError("%s: values must be a 2-D real array" % where)
        types = [_int32(t, where + " type") for t in keys(spec.get("type"))]
        names = [str(n) for n in keys(spec.get("name"))]
        users = [str(n) for n in keys(spec.get("user_matrix"))]
        if not (types or names or users):
            raise ValueError("%s: file it under a type, a name or a user_matrix" % where)
        for name in names + users:
            if "\0" in name:
                raise ValueError("%s: a name must not contain NUL" % where)
        matrix_list.append((values, set_of(spec.get("rows"), where + " rows"),
                            set_of(spec.get("columns"), where + " columns"), types, names,
                            users, bool(spec.get("dense", True))))

    _uma._write_model(path, _int32(system_type, "system_type"), _int32(num_loads, "num_loads"),
                      _int32(num_static_modes, "num_static_modes"), node_labels, internal_flags,
                      dof_table, mode_table, element_labels, set_list, type_list, matrix_list,
                      {str(k): str(v) for k, v in (attributes or {}).items()})
