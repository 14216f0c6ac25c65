#!/usr/bin/env python3
"""The reference the reduction benchmark compares with: the same fixed-interface reduction's
numerics with scipy (SuperLU factor of the interior stiffness, constraint-mode solves, ARPACK
shift-invert eigsh on that factor, the reduced stiffness and mass).

Usage: reduce_scipy_reference.py DIR MODES
DIR holds the full stiffness and mass as raw CSC arrays (K.indptr, K.indices as int32,
K.data as float64, likewise M) and boundary.int32 (the boundary rows). Prints one JSON line:
wall and CPU seconds, peak memory, factor size, and writes the eigenvalues to DIR/scipy-eigenvalues.float64.
"""
import json
import resource
import sys
import time

import numpy as np
import scipy.sparse as sp
import scipy.sparse.linalg as sla


def load(directory, name):
    indptr = np.fromfile(f"{directory}/{name}.indptr", dtype=np.int32)
    indices = np.fromfile(f"{directory}/{name}.indices", dtype=np.int32)
    data = np.fromfile(f"{directory}/{name}.data", dtype=np.float64)
    n = len(indptr) - 1
    return sp.csc_matrix((data, indices, indptr), shape=(n, n))


def main():
    directory, modes = sys.argv[1], int(sys.argv[2])
    k, m = load(directory, "K"), load(directory, "M")
    boundary = np.fromfile(f"{directory}/boundary.int32", dtype=np.int32)
    interior = np.setdiff1d(np.arange(k.shape[0]), boundary)

    start, cpu = time.perf_counter(), time.process_time()
    kii = k[interior][:, interior].tocsc()
    kib = k[interior][:, boundary].toarray()
    mii = m[interior][:, interior].tocsc()
    lu = sla.splu(kii, permc_spec="MMD_AT_PLUS_A", diag_pivot_thresh=0.0,
                  options=dict(SymmetricMode=True))
    psi = -lu.solve(kib)
    inverse = sla.LinearOperator(kii.shape, matvec=lu.solve, dtype=np.float64)
    values, vectors = sla.eigsh(kii, k=modes, M=mii, sigma=0.0, OPinv=inverse, tol=1e-10)
    # The reduced matrices over the constraint and fixed-interface modes, as the reduction
    # makes them.
    t = np.zeros((k.shape[0], len(boundary) + modes))
    t[boundary, np.arange(len(boundary))] = 1.0
    t[interior, :len(boundary)] = psi
    t[interior, len(boundary):] = vectors / np.sqrt(np.einsum("ij,ij->j", vectors, mii @ vectors))
    k_reduced = t.T @ (k @ t)
    m_reduced = t.T @ (m @ t)
    seconds, cpu = time.perf_counter() - start, time.process_time() - cpu

    # Accuracy, outside the timing: each mode's relative residual.
    mv = mii @ vectors * values
    residual = np.linalg.norm(kii @ vectors - mv, axis=0) / np.linalg.norm(mv, axis=0)

    np.sort(values).astype(np.float64).tofile(f"{directory}/scipy-eigenvalues.float64")
    print(json.dumps({
        "seconds": seconds,
        "cpu_seconds": cpu,
        "maxrss_mb": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0,
        "factor_nonzeros": int(lu.L.nnz + lu.U.nnz),
        "max_residual": float(residual.max()),
        "reduced_size": int(k_reduced.shape[0] + 0 * m_reduced.shape[0]),
    }))


if __name__ == "__main__":
    main()
