#!/usr/bin/env bash
# Writes a framed-family "UPDATE" container of the carried image's size (174614 bytes) for a build that
# carries it (ORVEXA_FIRMWARE_IMAGE): a directory of one loader, one firmware and one application record,
# then text that differs from block to block. The same bytes on every run.
set -euo pipefail
out="$1"
size=174614
mkdir -p "$(dirname "$out")"
{
    printf 'UPDATE\0\0\0\0\003\0'                      # marker, 3 bytes, entry count 3 (big-endian), 1 byte
    printf '\0\0\0\0\010\0\0\0\020\0\0\0'              # entry offsets 0, 8, 16 (little-endian)
    head -c $((1034 - 24)) /dev/zero                   # up to the record base
    printf 'L.010203F.xx0405A.yy0607'                  # the three records
    # head stops reading early on purpose: the broken pipe upstream is no failure.
    (seq 1 100000 | tr '\n' ' ' | head -c $((size - 1034 - 24))) || true
} >"$out.tmp"
mv "$out.tmp" "$out"
