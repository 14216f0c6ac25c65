"""The file uma-inspect --vtu writes, read with VTK's own reader (python3-vtk9) and, where it is
installed, ParaView's: displacements are the mode matrix's entries bit for bit, cells are the
stored mesh's elements."""
import os
import re
import shutil
import subprocess

import numpy as np
import pytest

import uma
from conftest import bits

vtk = pytest.importorskip("vtkmodules.all")
from vtkmodules.util.numpy_support import vtk_to_numpy  # noqa: E402

ROOT = os.path.join(os.path.dirname(__file__), "..", "..")
VTK_VERTEX, VTK_QUADRATIC_HEXAHEDRON = 1, 25


def write_vtu(model, path):
    out = subprocess.run([os.environ["UMA_INSPECT"], "--vtu", str(path), str(model)],
                         capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    return out.stdout


def read_vtu(path):
    reader = vtk.vtkXMLUnstructuredGridReader()
    reader.SetFileName(str(path))
    reader.Update()
    return reader.GetOutput()


def field_strings(grid, name):
    array = grid.GetFieldData().GetAbstractArray(name)
    return [array.GetValue(i) for i in range(array.GetNumberOfValues())]


def check_modes_bit_for_bit(grid, system, nodes=None):
    """Every (or each listed) node's translations and rotations in every mode field are the
    mode matrix's entries, bit for bit; a node without a dof shows 0 there."""
    phi = system.matrix(uma.MODE_MATRIX)
    values, row_nodes, row_dofs = phi.values(), phi.rows("node"), phi.rows("dof")
    labels = vtk_to_numpy(grid.GetPointData().GetArray("node label"))
    point = {label: p for p, label in enumerate(labels.tolist())}
    names = field_strings(grid, "mode names")
    assert len(names) == values.shape[1]
    rotations = grid.GetPointData().GetArray(names[0] + " rotation") is not None
    for c, name in enumerate(names):
        fields = [vtk_to_numpy(grid.GetPointData().GetArray(name))]
        if rotations:
            fields.append(vtk_to_numpy(grid.GetPointData().GetArray(name + " rotation")))
        expected = [np.zeros_like(f) for f in fields]
        for r, (node, dof) in enumerate(zip(row_nodes.tolist(), row_dofs.tolist())):
            if 1 <= dof <= 6:
                expected[(dof - 1) // 3][point[node], (dof - 1) % 3] = values[r, c]
        chosen = list(point.values()) if nodes is None else [point[n] for n in nodes]
        for got, want in zip(fields, expected):
            np.testing.assert_array_equal(bits(got[chosen]), bits(want[chosen]), err_msg=name)


def test_the_sample_holds_each_mode_bit_for_bit_with_its_name_and_frequency(tmp_path, sample):
    path = tmp_path / "beam.vtu"
    assert write_vtu(sample, path) == (
        "wrote %s: 21 points (16 internal), 21 vertices; 12 static and 8 dynamic modes, with "
        "rotations\n" % path)
    grid = read_vtu(path)
    assert grid.GetNumberOfPoints() == 21
    assert {grid.GetCellType(c) for c in range(grid.GetNumberOfCells())} == {VTK_VERTEX}
    with uma.System(sample) as s:
        check_modes_bit_for_bit(grid, s)
        modes = s.modes()
        names = field_strings(grid, "mode names")
        assert names[0] == "static 01 (node 1001 dof 1)" and names[11] == "static 12 (node 1021 dof 6)"
        assert names[12:] == ["dynamic %d (%.4g Hz)" % (k + 1, f)
                              for k, f in enumerate(modes.frequencies)]
        frequencies = vtk_to_numpy(grid.GetFieldData().GetArray("frequencies"))
        np.testing.assert_array_equal(frequencies, modes.frequencies)
        assert field_strings(grid, "unit.length") == [s.attributes()[uma.UNIT_LENGTH]]
    internal = vtk_to_numpy(grid.GetPointData().GetArray("internal node"))
    labels = vtk_to_numpy(grid.GetPointData().GetArray("node label"))
    assert sorted(labels[internal == 0]) == [1001, 1006, 1011, 1016, 1021]
    assert grid.GetPointData().GetVectors().GetName() == names[12]


def deck_elements(deck):
    """The deck's elements: label -> node labels, read from its *ELEMENT data lines."""
    elements, numbers, inside = {}, [], False
    for line in open(deck, encoding="ascii"):
        if line.startswith("*"):
            inside = line.upper().startswith("*ELEMENT")
            continue
        if inside:
            numbers += [int(v) for v in re.split(r"[,\s]+", line.strip()) if v]
            if len(numbers) == 21:  # C3D20: the label and twenty nodes
                elements[numbers[0]] = numbers[1:]
                numbers = []
    return elements


@pytest.fixture
def plate(tmp_path):
    """The CalculiX plate reduced to a rigid joint at its hole (uma-reduce runs ccx)."""
    if shutil.which("ccx") is None:
        pytest.skip("CalculiX (ccx) is not installed")
    deck = os.path.join(ROOT, "examples", "calculix", "plate.inp")
    model = tmp_path / "plate.uma"
    subprocess.run([os.environ["UMA_REDUCE"], "--calculix", deck, "--rigid",
                    "9001@60,30,4:HOLE", "--boundary", "9001", "--modes", "6", "--units",
                    "mm,t,s,N", "-o", str(model)], check=True, capture_output=True)
    path = tmp_path / "plate.vtu"
    write_vtu(model, path)
    return model, path, deck_elements(deck)


def test_a_calculix_parts_cells_are_its_deck_elements(plate):
    model, path, elements = plate
    grid = read_vtu(path)
    labels = vtk_to_numpy(grid.GetPointData().GetArray("node label"))
    element_labels = vtk_to_numpy(grid.GetCellData().GetArray("element label"))
    types = grid.GetCellData().GetAbstractArray("element type")
    assert len(elements) == 144 and grid.GetNumberOfCells() == 145  # and the joint's vertex
    for c in range(144):
        cell = grid.GetCell(c)
        assert cell.GetCellType() == VTK_QUADRATIC_HEXAHEDRON and types.GetValue(c) == "C3D20"
        ids = [cell.GetPointId(i) for i in range(cell.GetNumberOfPoints())]
        assert labels[ids].tolist() == elements[int(element_labels[c])]
    joint = grid.GetCell(144)
    assert joint.GetCellType() == VTK_VERTEX and labels[joint.GetPointId(0)] == 9001
    with uma.System(model) as s:
        check_modes_bit_for_bit(grid, s, nodes=[1, 20, 500, 968, 9001])
        assert field_strings(grid, "frequency unit") == ["Hz"]


def test_paraviews_reader_opens_the_file(plate, tmp_path):
    pvpython = shutil.which("pvpython") or shutil.which("pvbatch")
    if pvpython is None:
        pytest.skip("ParaView is not installed (no pvpython or pvbatch); the file was read with "
                    "VTK's reader")
    _, path, _ = plate
    script = tmp_path / "open.py"
    script.write_text(
        "import sys\n"
        "from paraview.simple import XMLUnstructuredGridReader\n"
        "reader = XMLUnstructuredGridReader(FileName=[sys.argv[1]])\n"
        "reader.UpdatePipeline()\n"
        "info = reader.GetDataInformation()\n"
        "print(info.GetNumberOfPoints(), info.GetNumberOfCells())\n"
        "print(sorted(reader.PointData.keys())[0])\n")
    # ParaView is not built with the sanitizers' runtime: none of it is preloaded.
    env = {k: v for k, v in os.environ.items() if k not in ("LD_PRELOAD", "ASAN_OPTIONS")}
    out = subprocess.run([pvpython, str(script), str(path)], capture_output=True, text=True,
                         env=env, timeout=300)
    if "No module named 'paraview'" in out.stderr:
        # Debian's paraview without python3-paraview (which cannot be installed beside
        # libvtk9-dev): its programs run no ParaView scripts.
        pytest.skip("ParaView's Python modules are not installed; the file was read with VTK's "
                    "reader")
    assert out.returncode == 0, out.stderr
    assert out.stdout.split("\n")[:2] == ["969 145", "dynamic 1 (2269 Hz)"], out.stdout
