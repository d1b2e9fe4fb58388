#!/usr/bin/env bash
# Runs every benchmark program of both builds under Wine: bench.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export ZU_WINEPREFIX=$(cd "$build" && pwd)/wineprefix
. "$here/wine-layout.sh"
for arch in i686 x86_64; do
  bits=32; [ "$arch" = x86_64 ] && bits=64
  if [ $bits = 32 ] && ! zu_runs_32bit; then zu_no_32bit_notice "bench.sh: the 32-bit benchmarks"; continue; fi
  # The dialer benchmark runs the RasDial.exe stand-in from the system folder.
  "$here/install-rasdial.sh" "$ZU_WINEPREFIX" $bits "$build/$arch/rasdial/RasDial.exe" >/dev/null
  list=$build/$arch/benchmarks.txt
  [ -s "$list" ] || continue
  while read -r program; do
    [ -n "$program" ] || continue
    echo "== $arch: $(basename "$program")"
    (cd "$(dirname "$program")" && "$here/wine-run.sh" $bits "$program")
  done < "$list"
done
