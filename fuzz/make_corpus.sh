#!/usr/bin/env bash
# Writes the model-file fuzzer's seed corpus: the sample models, the damaged models of the tests
# and the documented Python example, each repacked into 512-byte pages.
# Usage: fuzz/make_corpus.sh [BUILD_DIR] [OUT_DIR]   (defaults: build, fuzz/corpus)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-fuzz/corpus}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"
python3 docs/examples/write_model.py "$tmp/python-example.uma"
"$build/fuzz/uma-write-seeds" "$out" "$tmp/python-example.uma"
