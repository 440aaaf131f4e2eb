#!/usr/bin/env bash
# Runs every test: the C++ core tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, a short fuzzing burst per decoder harness, then the
# Python tests against the installed wheel.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
export PATH="$PWD/.venv/bin:$PATH"

# The C++ sources stay formatted.
git ls-files '*.cpp' '*.hpp' | xargs clang-format --dry-run --Werror

cmake --preset asan >/dev/null
cmake --build --preset asan -j2
ctest --preset asan

# Decoders meet a short burst of fuzzing: a crash fails the run.
scripts/fuzz.sh 10

cd tests && python -m pytest -q -p no:cacheprovider .
