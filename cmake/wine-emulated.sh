#!/usr/bin/env bash
# Runs a 32-bit Windows program where the kernel runs no 32-bit code: Wine's 32-bit loader under
# qemu's user-mode emulation, in a prefix of its own (ZU_WINEPREFIX_EMULATED). Each process
# costs about a minute of processor time, so only a few tests run this way. A 32-bit process
# started so can start 64-bit programs, which run natively, but no 32-bit ones.
#   wine-emulated.sh program [arguments...]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-layout.sh"
export WINEPREFIX=${ZU_WINEPREFIX_EMULATED:?names the prefix of the emulated tier}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
"$here/wine-prefix.sh" "$WINEPREFIX"
# The 32-bit half of the prefix needs Wine's 32-bit system files, which a prefix that only the
# 64-bit loader set up may lack.
wow64=$WINEPREFIX/drive_c/windows/syswow64
if [ ! -e "$wow64/kernel32.dll" ]; then
    (flock 9; [ -e "$wow64/kernel32.dll" ] || cp -rn /usr/lib/i386-linux-gnu/wine/i386-windows/. "$wow64/") 9>"$WINEPREFIX.lock"
fi
export WINELOADERNOEXEC=1
exec "${fixed_layout[@]}" qemu-i386-static /usr/lib/wine/wine "$@"
