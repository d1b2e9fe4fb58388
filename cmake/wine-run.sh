#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix.
#   wine-run.sh 32|64 program [arguments...]
# The prefix comes from ZU_WINEPREFIX (default: build/wineprefix of this checkout); it is
# created on first use.
set -euo pipefail
bits=$1; shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${ZU_WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
"$here/wine-prefix.sh" "$WINEPREFIX"
# One Wine session (wine server, services, desktop) serves every program of a run, of both
# bitnesses. A server that Wine starts on demand ends the session the moment its last program
# ends (Debian's wineserver runs with -p0): the next program, a test that CTest starts a moment
# later, then joins a session that is shutting down, whose system processes are leaving and
# which starts no new process. So a server that outlives its programs by a minute is started
# first; when one is running already, this returns at once.
wineserver -p60 >/dev/null 2>&1 || true
case $bits in
  32) loader=wine ;;
  64) loader=/usr/lib/wine/wine64 ;;
  *) echo "wine-run.sh: bitness must be 32 or 64, not '$bits'" >&2; exit 2 ;;
esac
exec "$loader" "$@"
