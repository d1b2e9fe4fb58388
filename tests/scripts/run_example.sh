#!/usr/bin/env bash
# Runs one script of examples/ the way a user would, in a fresh folder that holds a settings file
# and the settings and state of the RasDial.exe stand-in (installed in the prefix's system folder
# by the tests' rasdial fixture), and checks its exit code and what it printed.
#   run_example.sh BITS BUILD_DIR EXAMPLE EXPECTED_TEXT
set -euo pipefail
bits=$1 build=$2 example=$3 expected=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
run=$build/example-runs/$(basename "$example")
rm -rf "$run" && mkdir -p "$run"
printf 'entry=Broadband Connection\tuser01\tp@ss & word\n' > "$run/rasdial.cfg"
printf '[Adsl]\r\nadsl=Broadband Connection\r\nuid=user01\r\npassword=p@ss & word\r\n[Delay]\r\ndial=100\r\nhangup=100\r\n' > "$run/redial.ini"
script="Z:${root//\//\\}\\examples\\$example"
output=$(cd "$run" && "$root/cmake/wine-run.sh" "$bits" cscript //nologo "$script" 2>&1) || {
  echo "$output"; echo "$example exited with $?"; exit 1; }
echo "$output"
grep -qF -- "$expected" <<<"$output" || { echo "expected to see: $expected"; exit 1; }
