#!/usr/bin/env bash
# The main job, end to end: registers the 32-bit and the 64-bit module in the project's Wine
# prefix and runs the example scripts with the matching cscript.
#   demo.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
export ZU_WINEPREFIX=$build/wineprefix
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
demo_dir=$build/demo
mkdir -p "$demo_dir"

. "$here/wine-layout.sh"
for arch in i686 x86_64; do
  bits=32; [ "$arch" = x86_64 ] && bits=64
  if [ $bits = 32 ] && ! zu_runs_32bit; then zu_no_32bit_notice "demo.sh: the 32-bit demo"; continue; fi
  run() { "$here/wine-run.sh" $bits "$@"; }
  dll=$(winpath "$build/$arch/bin/ZUVezEradez3.dll")
  echo "================ $bits-bit: regsvr32 $dll"
  run regsvr32 /s "$dll"
  # The dialer's main job against the RasDial.exe stand-in, installed where the dialer looks
  # for the tool (the prefix's system folder of this bitness); it keeps its connection state
  # and a log of the arguments it received in the current directory. The stand-in's phone book
  # holds the entry, and the demo writes the same values to the settings file that redial.vbs
  # reads, as a user would with their own.
  "$here/install-rasdial.sh" "$ZU_WINEPREFIX" $bits "$build/$arch/rasdial/RasDial.exe"
  sim=$demo_dir/redial-$bits
  rm -rf "$sim" && mkdir -p "$sim"
  printf 'entry=Broadband Connection\tuser01\tp@ss & word\ndialms=800\n' > "$sim/rasdial.cfg"
  echo "---------------- $bits-bit cscript: examples/dialer-settings.vbs (the demo's values)"
  (cd "$sim" && run cscript //nologo "$(winpath "$root/examples/dialer-settings.vbs")" \
     "$(winpath "$sim/redial.ini")" "Broadband Connection" user01 "p@ss & word" 1000 1500)
  echo "---------------- $bits-bit cscript: examples/redial.vbs (RasDial.exe stand-in, its state in $sim)"
  (cd "$sim" && run cscript //nologo "$(winpath "$root/examples/redial.vbs")")
  echo "RasDial.exe received (one run a line: start time, argument count, arguments):"
  sed 's/^/  /' "$sim/calls.log"

  # The cache sweep over entries seeded under a host of the demo's own.
  seed() { run "$build/$arch/bin/cache_seed.exe" "$@"; }
  echo "---------------- $bits-bit: URL cache seeded under zu-demo.test"
  seed clear zu-demo.test >/dev/null
  seed seed 12 zu-demo.test >/dev/null
  seed list zu-demo.test
  echo "---------------- $bits-bit cscript: examples/cache-sweep.vbs zu-demo.test"
  run cscript //nologo "$(winpath "$root/examples/cache-sweep.vbs")" zu-demo.test
  echo "---------------- $bits-bit: what the sweeps left of zu-demo.test"
  seed list zu-demo.test
  seed clear zu-demo.test >/dev/null
done
