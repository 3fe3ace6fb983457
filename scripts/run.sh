#!/usr/bin/env bash
# Builds h8dbg and the simulated board, then starts a debugging session on the simulated board.
# Arguments go to h8dbg (for example: -m program.map). Options for the board itself can be given
# in H8SIM_OPTIONS (for example: H8SIM_OPTIONS="--flash board.flash").
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh build
# A fresh build tree leaves the tests out (they need GoogleTest); an existing one keeps its choice.
if [ -f build/CMakeCache.txt ]; then
  cmake -S . -B build >/dev/null
else
  cmake -S . -B build -DH8_TESTS=OFF >/dev/null
fi
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target h8dbg h8sim h8abs >/dev/null
# shellcheck disable=SC2086
exec build/h8sim run ${H8SIM_OPTIONS:-} -- "$@"
