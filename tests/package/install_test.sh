#!/usr/bin/env bash
# The release package as a user meets it: unpacked into the Wine prefix, installed with
# install.cmd per machine and per user, used from 32-bit and 64-bit cscript, and uninstalled.
#   install_test.sh BUILD_DIR (the folder that holds both builds)
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export ZU_WINEPREFIX=${ZU_WINEPREFIX:-$build/wineprefix}
run() { "$root/cmake/wine-run.sh" "$@"; }
failures=0
check() { if eval "$2"; then echo "ok - $1"; else echo "not ok - $1"; failures=$((failures + 1)); fi; }

zip=$("$root/cmake/dist.sh" "$build") || exit 1
target=$ZU_WINEPREFIX/drive_c/zu-package
rm -rf "$target" && mkdir -p "$target"
unzip -q "$zip" -d "$target"
pkg='C:\zu-package\'$(basename "$zip" .zip)
check "the package holds both builds, the scripts, README and LICENSE" \
  '[ -f "$target"/*/x86/ZUVezEradez3.dll ] && [ -f "$target"/*/x64/ZUVezEradez3.dll ] && [ -f "$target"/*/install.cmd ] && [ -f "$target"/*/README.md ] && [ -f "$target"/*/LICENSE.txt ]'

probe="$target/probe.vbs"
printf 'On Error Resume Next\r\nSet d = CreateObject("ZUVezEradez3.QKDialer")\r\nSet c = CreateObject("ZUVezEradez3.QKCache")\r\nWScript.Quit Err.Number\r\n' > "$probe"
creatable() { run "$1" cscript //nologo 'C:\zu-package\probe.vbs' >/dev/null 2>&1; }

out=$(run 64 cmd /c "$pkg\\install.cmd" 2>&1); rc=$?
echo "$out"
check "install.cmd succeeds and says so" '[ $rc -eq 0 ] && grep -q "installed for this machine" <<<"$out"'
check "a 64-bit script creates both classes" 'creatable 64'
check "a 32-bit script creates both classes" 'creatable 32'
out=$(run 32 cmd /c "$pkg\\uninstall.cmd" 2>&1); rc=$?
echo "$out"
check "uninstall.cmd from a 32-bit prompt succeeds" '[ $rc -eq 0 ] && grep -q "uninstalled for this machine" <<<"$out"'
check "nothing is creatable after uninstalling" '! creatable 64 && ! creatable 32'

out=$(run 32 cmd /c "$pkg\\install.cmd" /user 2>&1); rc=$?
echo "$out"
check "install.cmd /user succeeds" '[ $rc -eq 0 ] && grep -q "installed for this user" <<<"$out"'
check "per-user registration lands under HKCU" 'run 64 reg query "HKCU\Software\Classes\ZUVezEradez3.QKDialer\CLSID" >/dev/null 2>&1'
out=$(run 64 cmd /c "$pkg\\uninstall.cmd" /user 2>&1); rc=$?
check "uninstall.cmd /user removes it" '[ $rc -eq 0 ] && ! run 64 reg query "HKCU\Software\Classes\ZUVezEradez3.QKDialer" >/dev/null 2>&1'

out=$(run 64 cmd /c "$pkg\\install.cmd" /bogus 2>&1); rc=$?
check "an unknown switch is refused with its usage" '[ $rc -eq 2 ] && grep -q Usage <<<"$out"'
mv "$target"/*/x86/ZUVezEradez3.dll "$target/hidden.dll"
out=$(run 64 cmd /c "$pkg\\install.cmd" 2>&1); rc=$?
echo "$out"
check "a missing build is reported and fails the install" '[ $rc -ne 0 ] && grep -q "missing" <<<"$out"'
run 64 cmd /c "$pkg\\uninstall.cmd" >/dev/null 2>&1

# Leave the 64-bit build registered, as the tests that run after this one expect.
run 64 regsvr32 /s "Z:${build//\//\\}\\x86_64\\bin\\ZUVezEradez3.dll"
rm -rf "$target"
echo "$failures failed"
[ $failures -eq 0 ]
