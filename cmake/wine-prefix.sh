#!/usr/bin/env bash
# Creates a headless Wine prefix once: wine-prefix.sh DIR. Safe to call concurrently.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/wine-layout.sh"
prefix=$1
[ -f "$prefix/.zu-ready" ] && exit 0
mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock 9
[ -f "$prefix/.zu-ready" ] && exit 0
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
# The 32-bit loader sets up both halves of the prefix where it can run; elsewhere the 64-bit
# loader sets up the 64-bit half alone.
loader=wine
zu_runs_32bit || loader=/usr/lib/wine/wine64
"${fixed_layout[@]}" "$loader" wineboot --init >/dev/null 2>&1
# No display here: the null driver still gives windows, timers and message queues.
"${fixed_layout[@]}" "$loader" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.zu-ready"
