#!/usr/bin/env bash
# Installs what a fresh machine lacks to build and test the project (Debian packages).
set -euo pipefail
packages=(g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev libopenblas-dev libsqlite3-dev nlohmann-json3-dev python3
          libsuitesparse-dev liblapacke-dev libeigen3-dev libspectra-dev python3-scipy calculix-ccx
          pybind11-dev python3-dev python3-numpy python3-pytest
          libcli11-dev libvtk9-dev python3-vtk9 python3-matplotlib xvfb)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
