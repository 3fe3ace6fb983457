#!/usr/bin/env bash
# Builds h8dbg and the simulated board, then starts a debugging session on the simulated board.
# The board starts with examples/hello in its flash and h8dbg with its symbols (the program of
# docs/tutorial.md). Arguments go to h8dbg (for example: -m program.map, which wins over hello's
# map: h8dbg takes the last -m given). Options for the board itself can be given in
# H8SIM_OPTIONS (for example: H8SIM_OPTIONS="--flash board.flash"); when they name a flash file
# or a program of their own (--flash, --load), hello is neither loaded nor its map given.
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
example=(--load examples/hello/hello.abs)
example_map=(-m examples/hello/hello.map)
case " ${H8SIM_OPTIONS:-} " in
  *" --flash"* | *" --load"*) example=() example_map=() ;;
esac
# shellcheck disable=SC2086
exec build/h8sim run "${example[@]}" ${H8SIM_OPTIONS:-} -- "${example_map[@]}" "$@"
