#!/bin/sh
# bench/cpu_programs.sh [BUILD_DIR]
# How fast h8sim runs compiled C: builds crc32, sieve and sort of tests/sim/programs with
# -mh -mn -O2 -DBENCH (the work repeated to about 300 million instructions each) by the board's
# Makefile into BUILD_DIR/bench-programs, runs each with `h8sim exec --stats`, and prints the
# instructions, the seconds they take on the chip at 16 MHz (from the states the simulator
# counts), the chip's MIPS that gives (the real H8/3664 runs about 5 at 16 MHz), and the
# simulator's MIPS on this host. Needs h8300-hms-gcc (scripts/deps.sh test) and a built h8sim
# (BUILD_DIR defaults to build). Not part of ctest.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=$build/bench-programs
if ! command -v h8300-hms-gcc >/dev/null; then
  echo "cpu_programs.sh: h8300-hms-gcc not found (scripts/deps.sh test installs it)" >&2
  exit 1
fi
if [ ! -x "$build/h8sim" ]; then
  echo "cpu_programs.sh: no $build/h8sim (cmake --build $build --target h8sim)" >&2
  exit 1
fi

printf '%-8s %14s %12s %10s %14s %9s\n' \
  program instructions "chip s" "chip MIPS" "h8sim MIPS" speed-up
for name in crc32 sieve sort; do
  make -s -f "$root/examples/board/Makefile" NAME=$name SRC="$root/tests/sim/programs" \
    OUT="$out" OPT=-O2 DEFS=-DBENCH
  status=0
  "$build/h8sim" exec --stats "$out/$name.abs" >"$out/$name.out" 2>"$out/$name.stats" || status=$?
  if [ $status -ne 0 ] || [ "$(cat "$out/$name.out")" != "$name ok" ]; then
    echo "cpu_programs.sh: $name ended with status $status:" >&2
    cat "$out/$name.out" "$out/$name.stats" >&2
    exit 1
  fi
  # h8sim exec: N instructions, S states: T s on the chip at F MHz; simulated at M million ...
  awk -v name=$name '{
    printf "%-8s %14d %12.3f %10.2f %14.1f %8.1fx\n", name, $3, $7, $3 / $7 / 1e6, $(NF - 2),
      $(NF - 2) / ($3 / $7 / 1e6)
  }' "$out/$name.stats"
done
