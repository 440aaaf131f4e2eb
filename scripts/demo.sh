#!/usr/bin/env bash
# The main job: builds and installs the module, then tours it on embedded defaults.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
.venv/bin/python examples/tour.py
