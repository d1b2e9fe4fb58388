#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's private prefix.
#   wine-run.sh 32|64 program [arguments...]
# The prefix comes from ZU_WINEPREFIX (default: build/wineprefix of this checkout); it is
# created on first use.
set -euo pipefail
bits=$1; shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-layout.sh"
export WINEPREFIX=${ZU_WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
"$here/wine-prefix.sh" "$WINEPREFIX"
case $bits in
  32) loader=wine
      zu_runs_32bit || { zu_no_32bit_notice "wine-run.sh $1"; exit 77; } ;;
  64) loader=/usr/lib/wine/wine64 ;;
  *) echo "wine-run.sh: bitness must be 32 or 64, not '$bits'" >&2; exit 2 ;;
esac
exec "${fixed_layout[@]}" "$loader" "$@"
