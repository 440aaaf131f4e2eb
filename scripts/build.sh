#!/usr/bin/env bash
# Builds the cp311-abi3 wheel and installs it into .venv.
set -euo pipefail
cd "$(dirname "$0")/.."
rm -rf build/wheel
.venv/bin/python -m pip wheel -q --no-deps --no-build-isolation -w build/wheel .
wheel=$(ls build/wheel/pyvelmora-*.whl)
echo "built $(basename "$wheel")"
.venv/bin/python -m pip install -q --disable-pip-version-check --force-reinstall --no-deps "$wheel"
