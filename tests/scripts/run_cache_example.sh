#!/usr/bin/env bash
# Runs examples/cache-sweep.vbs as a user would, over entries seeded under a host of its own,
# and checks what the sweeps left: the pages and the cookie entries, nothing else.
#   run_cache_example.sh BITS BUILD_DIR
set -euo pipefail
bits=$1 build=$2
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run() { "$root/cmake/wine-run.sh" "$bits" "$@"; }
host=zu-example-$bits.test
run "$build/bin/cache_seed.exe" clear $host >/dev/null
run "$build/bin/cache_seed.exe" seed 12 $host >/dev/null
run cscript //nologo "Z:${root//\//\\}\\examples\\cache-sweep.vbs" $host
left=$(run "$build/bin/cache_seed.exe" list $host)
run "$build/bin/cache_seed.exe" clear $host >/dev/null
echo "$left"
grep -q "^4 entries" <<<"$left" && ! grep -qiE "ads/|\.gif" <<<"$left" || { echo "unexpected entries left"; exit 1; }
