#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang and runs each for SECONDS (default 10).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
export PATH="$PWD/.venv/bin:$PATH"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2
shopt -s nullglob
for harness in fuzz/*_fuzz.cpp; do
  name=$(basename "$harness" .cpp)
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  echo "fuzzing $name for ${seconds}s"
  build/fuzz/fuzz/"$name" -max_total_time="$seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
done
