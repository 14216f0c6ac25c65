"""Plots the first bending modes of a reduced beam with matplotlib, from System.modes().

    PYTHONPATH=build/python python3 docs/examples/plot_modes.py build/sample/beam.uma modes.png

Each dynamic mode that moves the beam sideways (its largest translation in y or z) is drawn as
that lateral displacement along the beam's axis (x), scaled to 1 at its largest, and labelled
with its frequency; the interface nodes (the static modes' nodes) are marked.
"""
import sys

import matplotlib

matplotlib.use("Agg")  # files only: no display needed
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import uma  # noqa: E402


def plot(model, png, count=4):
    with uma.System(model) as s:
        modes = s.modes()
        coordinates = s.matrix(uma.NODE_COORDINATES)
        x_of = dict(zip(coordinates.rows("node").tolist(), coordinates[:, 0]))
        units = s.attributes()
    length = units.get(uma.UNIT_LENGTH, "")
    time = units.get(uma.UNIT_TIME)
    hertz = "Hz" if time == "s" else "cycles/" + time if time else ""

    figure, axes = plt.subplots(figsize=(9, 3.8))
    drawn = 0
    for k, frequency in enumerate(modes.frequencies):
        shape = modes.shapes[:, k]
        largest = [np.abs(shape[modes.dofs == d]).max(initial=0.0) for d in (1, 2, 3)]
        direction = int(np.argmax(largest)) + 1
        if largest[direction - 1] == 0 or direction == 1:
            continue  # torsion or an axial mode
        rows = np.flatnonzero(modes.dofs == direction)
        x = np.array([x_of[n] for n in modes.nodes[rows]])
        u = shape[rows][np.argsort(x)]
        u = u / u[np.argmax(np.abs(u))]
        axes.plot(np.sort(x), u, marker="o" if direction == 3 else "s", markersize=3,
                  linestyle="-" if direction == 3 else "--",
                  label="mode %d, %.1f %s, in %s" % (k + 1, frequency, hertz, "xyz"[direction - 1]))
        drawn += 1
        if drawn == count:
            break
    for node in sorted(set(modes.static_nodes.tolist())):
        axes.axvline(x_of[node], color="0.6", linewidth=0.8, linestyle="--")
    axes.axhline(0.0, color="0.3", linewidth=0.6)
    axes.set_xlabel("x (%s)" % length if length else "x")
    axes.set_ylabel("lateral displacement (scaled)")
    axes.set_title("Bending modes of %s, the interface held (grey lines: interface nodes)"
                   % model.split("/")[-1], fontsize=10)
    axes.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.01, 1.0))
    figure.tight_layout()
    figure.savefig(png, dpi=110)
    plt.close(figure)
    return drawn


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    plot(sys.argv[1], sys.argv[2])
