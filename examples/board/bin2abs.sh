#!/bin/sh
# bin2abs.sh FILE.BIN FILE.ABS [ADDRESS]
# Wraps a binary image loaded at ADDRESS (default 0x1000) in a SYSROF absolute load module, the
# format the board's LO command and `h8sim exec` load: Object data records of up to 240 bytes
# (0x1C, record length, 0, address as 4 bytes big-endian, count, data), then the end record
# (0xFF, 0x02). POSIX tools only: od lists the bytes, awk groups them into records written as
# octal escapes, printf turns each record's escapes into bytes.
set -eu
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: bin2abs.sh FILE.BIN FILE.ABS [ADDRESS]" >&2
  exit 2
fi
address=$((${3:-0x1000}))
od -An -v -tu1 "$1" | awk -v address="$address" '
  function record(   i, line) {
    line = sprintf("\\034\\%03o\\000", count + 8)
    for (i = 24; i >= 0; i -= 8) line = line sprintf("\\%03o", int(address / 2 ^ i) % 256)
    line = line sprintf("\\%03o", count)
    for (i = 0; i < count; i++) line = line sprintf("\\%03o", data[i])
    print line
    address += count
    count = 0
  }
  { for (f = 1; f <= NF; f++) { data[count++] = $f; if (count == 240) record() } }
  END { if (count > 0) record(); print "\\377\\002" }
' | while IFS= read -r line; do printf "$line"; done >"$2"
