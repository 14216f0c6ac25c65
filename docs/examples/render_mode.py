"""Renders one mode shape of a file that `uma-inspect --vtu` wrote to a PNG picture, with VTK.

    xvfb-run -a python3 docs/examples/render_mode.py MODEL.vtu PICTURE.png [MODE]

MODE is the name of a displacement field ("dynamic 01 (1523 Hz)"), or a number counted from 1
over the mode names (the file's "mode names" field data: static modes, then dynamic modes);
the default is the first dynamic mode (the active vectors). The body is drawn deformed, its
largest displacement scaled to a tenth of its size, over its undeformed outline, and coloured
by the displacement's magnitude. VTK draws with OpenGL on an X display: where there is none,
run it under xvfb-run (Debian's xvfb).
"""
import sys

import vtk


def mode_name(grid, choice):
    if choice is None:
        return grid.GetPointData().GetVectors().GetName()
    if choice.isdigit():
        names = grid.GetFieldData().GetAbstractArray("mode names")
        return names.GetValue(int(choice) - 1)
    return choice


def render(vtu, png, choice=None):
    reader = vtk.vtkXMLUnstructuredGridReader()
    reader.SetFileName(vtu)
    reader.Update()
    grid = reader.GetOutput()
    name = mode_name(grid, choice)
    if grid.GetPointData().GetArray(name) is None:
        sys.exit("%s has no displacement field %r" % (vtu, name))
    grid.GetPointData().SetActiveVectors(name)

    # The deformed body: its largest displacement a tenth of its size.
    largest = grid.GetPointData().GetArray(name).GetRange(-1)[1]
    scale = 0.1 * grid.GetLength() / largest if largest > 0 else 0.0
    warp = vtk.vtkWarpVector()
    warp.SetInputData(grid)
    warp.SetScaleFactor(scale)
    magnitude = vtk.vtkArrayCalculator()
    magnitude.SetInputConnection(warp.GetOutputPort())
    magnitude.SetAttributeTypeToPointData()
    magnitude.SetResultArrayName("magnitude")
    magnitude.ReplaceInvalidValuesOn()
    # The field's name has blanks: the calculator knows it by an alias.
    magnitude.AddVectorVariable("u", name, 0, 1, 2)
    magnitude.SetFunction("mag(u)")
    surface = vtk.vtkDataSetSurfaceFilter()
    surface.SetInputConnection(magnitude.GetOutputPort())
    surface.SetNonlinearSubdivisionLevel(2)

    lut = vtk.vtkLookupTable()
    lut.SetHueRange(0.667, 0.0)
    lut.Build()
    mapper = vtk.vtkDataSetMapper()
    mapper.SetInputConnection(surface.GetOutputPort())
    mapper.SetScalarModeToUsePointFieldData()
    mapper.SelectColorArray("magnitude")
    mapper.SetScalarRange(0.0, largest if largest > 0 else 1.0)
    mapper.SetLookupTable(lut)
    body = vtk.vtkActor()
    body.SetMapper(mapper)
    body.GetProperty().SetPointSize(6)
    body.GetProperty().RenderPointsAsSpheresOn()

    # The undeformed body as a faint outline of its edges.
    edges = vtk.vtkDataSetSurfaceFilter()
    edges.SetInputData(grid)
    outline = vtk.vtkFeatureEdges()
    outline.SetInputConnection(edges.GetOutputPort())
    outline_mapper = vtk.vtkPolyDataMapper()
    outline_mapper.SetInputConnection(outline.GetOutputPort())
    outline_mapper.ScalarVisibilityOff()
    undeformed = vtk.vtkActor()
    undeformed.SetMapper(outline_mapper)
    undeformed.GetProperty().SetColor(0.45, 0.45, 0.45)

    bar = vtk.vtkScalarBarActor()
    bar.SetLookupTable(lut)
    unit = grid.GetFieldData().GetAbstractArray("unit.length")
    bar.SetTitle("|u|" if unit is None else "|u| (%s)" % unit.GetValue(0))
    bar.SetNumberOfLabels(3)
    bar.SetWidth(0.07)
    bar.SetHeight(0.45)
    bar.SetPosition(0.9, 0.3)
    bar.UnconstrainedFontSizeOn()
    bar.GetTitleTextProperty().SetFontSize(14)
    bar.GetLabelTextProperty().SetFontSize(12)
    title = vtk.vtkTextActor()
    title.SetInput("%s, shown %.3g times" % (name, scale))
    title.GetTextProperty().SetFontSize(18)
    title.GetTextProperty().SetColor(0.1, 0.1, 0.1)
    title.SetPosition(12, 12)

    renderer = vtk.vtkRenderer()
    renderer.SetBackground(1.0, 1.0, 1.0)
    for actor in (body, undeformed, bar, title):
        renderer.AddActor(actor)
    bar.GetLabelTextProperty().SetColor(0.1, 0.1, 0.1)
    bar.GetTitleTextProperty().SetColor(0.1, 0.1, 0.1)
    camera = renderer.GetActiveCamera()
    camera.SetPosition(1.0, -1.8, 1.6)
    camera.SetFocalPoint(0.0, 0.0, 0.0)
    camera.SetViewUp(0.0, 0.0, 1.0)
    renderer.ResetCamera()
    camera.Zoom(1.25)

    window = vtk.vtkRenderWindow()
    window.SetOffScreenRendering(1)
    window.AddRenderer(renderer)
    window.SetSize(900, 560)
    window.SetMultiSamples(8)
    window.Render()
    shot = vtk.vtkWindowToImageFilter()
    shot.SetInput(window)
    shot.Update()
    writer = vtk.vtkPNGWriter()
    writer.SetFileName(png)
    writer.SetInputConnection(shot.GetOutputPort())
    writer.Write()


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    render(sys.argv[1], sys.argv[2], sys.argv[3] if len(sys.argv) == 4 else None)
