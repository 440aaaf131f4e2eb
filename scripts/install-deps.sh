#!/usr/bin/env bash
# Installs what building and testing pyvelmora needs: Debian's libraries and
# compilers, and a virtual environment (.venv) with the Python tools. Idempotent.
set -euo pipefail
cd "$(dirname "$0")/.."

debian_packages=(g++ libsnappy-dev libsimdjson-dev libgtest-dev clang libclang-rt-14-dev clang-format)
missing=()
for pkg in "${debian_packages[@]}"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing Debian packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

python=${PYTHON:-python3}
if [ ! -x .venv/bin/python ]; then
  "$python" -m venv .venv
fi
.venv/bin/python -m pip install -q --disable-pip-version-check -r requirements-dev.txt
