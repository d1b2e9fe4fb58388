#!/usr/bin/env bash
# The release zip as a user meets it: unpacked into the Wine prefix, installed with install.cmd
# per machine and per user, used from 32-bit and 64-bit cscript, and uninstalled; and on 64-bit
# Windows without WoW64, installed and uninstalled with the uninstaller it leaves.
#   install_test.sh BUILD_DIR (the folder that holds both builds)
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# Packaging the same builds again, at another path and a later second, gives the same bytes.
other=$(mktemp -d)
for arch in i686 x86_64; do
  mkdir -p "$other/$arch/bin" "$other/$arch/package"
  cp "$build/$arch/bin/ZUVezEradez3.dll" "$other/$arch/bin/"
  cp "$build/$arch/package/"*.wxi "$other/$arch/package/"
done
sleep 1
again=$("$root/cmake/dist.sh" "$other")
check "the zip and both packages come out the same when packaged again elsewhere" \
  'cmp "$zip" "$again" && cmp "${zip%.zip}-x86.msi" "${again%.zip}-x86.msi" && cmp "${zip%.zip}-x64.msi" "${again%.zip}-x64.msi" ||
   { diff <(unzip -p "$zip" "*/SHA256SUMS") <(unzip -p "$again" "*/SHA256SUMS"); false; }'
rm -rf "$other"

# The zip is unpacked into a folder of its own, which is deleted once installed.
unpacked=$target/unpacked
mkdir -p "$unpacked" && unzip -q "$zip" -d "$unpacked"
top=$unpacked/$(basename "$zip" .zip)
pkg='C:\zu-package\unpacked\'$(basename "$zip" .zip)
check "the zip holds both builds, the scripts, the doctor, README and LICENSE" \
  '[ -f "$top/x86/ZUVezEradez3.dll" ] && [ -f "$top/x64/ZUVezEradez3.dll" ] && [ -f "$top/install.cmd" ] && [ -f "$top/doctor.js" ] && [ -f "$top/README.md" ] && [ -f "$top/LICENSE.txt" ]'
check "SHA256SUMS lists every other file of the zip, with the right sums" \
  '(cd "$top" && [ "$(find . -type f ! -name SHA256SUMS | wc -l)" -eq "$(wc -l <SHA256SUMS)" ] && sha256sum --quiet -c SHA256SUMS)'
keep() { cp -r "$top" "$target/kept"; }
restore() { rm -rf "$unpacked" && mkdir -p "$unpacked" && cp -r "$target/kept" "$top"; }
keep

# 64-bit Windows without WoW64 has no SysWOW64\regsvr32.exe: install.cmd installs the 64-bit
# build alone, with the doctor and the uninstaller beside it, which then removes it all.
wow64_regsvr32=$ZU_WINEPREFIX/drive_c/windows/syswow64/regsvr32.exe
wow64_back() { [ ! -e "$wow64_regsvr32.away" ] || mv "$wow64_regsvr32.away" "$wow64_regsvr32"; }
[ ! -e "$wow64_regsvr32" ] || mv "$wow64_regsvr32" "$wow64_regsvr32.away"
trap wow64_back EXIT
out=$(run 64 cmd /c "$pkg\\install.cmd" 2>&1); rc=$?
echo "$out"
check "without WoW64, install.cmd installs the 64-bit build alone and says why" \
  '[ $rc -eq 0 ] && grep -q "no WoW64.*64-bit build is installed alone" <<<"$out" && ! grep -q "32-bit build" <<<"$out" &&
   cmp "$pf64/ZUVezEradez3.dll" "$top/x64/ZUVezEradez3.dll" && [ ! -e "$pf32" ] &&
   [ "$(inproc_server 64 $dialer)" = "C:\\Program Files\\ZUVezEradez3\\ZUVezEradez3.dll" ] && creatable 64'
check "install.cmd copies the doctor, the README and the uninstaller beside the build and says where" \
  'cmp "$pf64/doctor.js" "$top/doctor.js" && cmp "$pf64/README.md" "$top/README.md" && cmp "$pf64/uninstall.cmd" "$top/uninstall.cmd" &&
   grep -qF "C:\\Program Files\\ZUVezEradez3\\doctor.js" <<<"$out" && grep -qF "C:\\Program Files\\ZUVezEradez3\\uninstall.cmd" <<<"$out"'
rm -rf "$unpacked"
out=$(run 64 cmd /c 'C:\Program Files\ZUVezEradez3\uninstall.cmd' 2>&1); rc=$?
echo "$out"
# Wine's cmd keeps a running script's file open until the script ends, so the folder that held
# it stays, empty (Windows' cmd reads a script a line at a time, and the folder goes too).
check "the uninstaller left beside the build removes it and every file beside it, itself included" \
  '[ $rc -eq 0 ] && grep -q "uninstalled for this machine" <<<"$out" && [ -z "$(ls -A "$pf64" 2>/dev/null)" ] && nothing_registered'
rmdir "$pf64" 2>/dev/null
wow64_back
restore

if [ -z "$runs_32bit" ]; then
  # install.cmd registers the 32-bit build with the 32-bit regsvr32, which cannot run here.
  zu_no_32bit_notice "install.cmd and uninstall.cmd with both builds"
  finish
  exit
fi

out=$(run 64 cmd /c "$pkg\\install.cmd" 2>&1); rc=$?
echo "$out"
check "install.cmd succeeds and says where it installed each build" \
  '[ $rc -eq 0 ] && grep -q "installed for this machine" <<<"$out" && grep -q "64-bit build .*C:\\\\Program Files\\\\ZUVezEradez3" <<<"$out" && grep -q "32-bit build .*C:\\\\Program Files (x86)\\\\ZUVezEradez3" <<<"$out"'
check "install.cmd copies each build to the packages' folder and registers it there" \
  'cmp "$pf64/ZUVezEradez3.dll" "$top/x64/ZUVezEradez3.dll" && cmp "$pf32/ZUVezEradez3.dll" "$top/x86/ZUVezEradez3.dll" &&
   [ "$(inproc_server 64 $dialer)" = "C:\\Program Files\\ZUVezEradez3\\ZUVezEradez3.dll" ] &&
   [ "$(inproc_server 32 $dialer)" = "C:\\Program Files (x86)\\ZUVezEradez3\\ZUVezEradez3.dll" ]'
rm -rf "$unpacked"
check "with the unpacked files deleted, a 64-bit script creates both classes" 'creatable 64'
check "with the unpacked files deleted, a 32-bit script creates both classes" 'creatable 32'
restore
out=$(run 32 cmd /c "$pkg\\uninstall.cmd" 2>&1); rc=$?
echo "$out"
check "uninstall.cmd from a 32-bit prompt succeeds and removes the copies" \
  '[ $rc -eq 0 ] && grep -q "uninstalled for this machine" <<<"$out" && [ ! -e "$pf64" ] && [ ! -e "$pf32" ]'
check "nothing is registered or creatable after uninstalling" 'nothing_registered && ! creatable 64 && ! creatable 32'

# Per user. Wine's COM does not read HKCU\Software\Classes, so the registry is checked rather
# than objects created; and Wine keeps one HKCU\Software\Classes for both bitnesses, where the
# build registered last, the 64-bit one, names its path.
apps=$(run 64 cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')'\Programs\ZUVezEradez3'
apps_unix=$(run 64 winepath -u "$apps" 2>/dev/null)
user_server() {
  run 64 reg query 'HKCU\Software\Classes\CLSID\'$dialer'\InprocServer32' /ve 2>/dev/null |
    tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p'
}
out=$(run 32 cmd /c "$pkg\\install.cmd" /user 2>&1); rc=$?
echo "$out"
rm -rf "$unpacked"
check "install.cmd /user succeeds" '[ $rc -eq 0 ] && grep -q "installed for this user" <<<"$out"'
check "per user, each build is copied below LOCALAPPDATA\\Programs and registered there, under HKCU" \
  '[ -f "$apps_unix/x64/ZUVezEradez3.dll" ] && [ -f "$apps_unix/x86/ZUVezEradez3.dll" ] &&
   [ "$(user_server)" = "$apps\\x64\\ZUVezEradez3.dll" ] &&
   run 64 reg query "HKCU\Software\Classes\ZUVezEradez3.QKDialer\CLSID" >/dev/null 2>&1'
restore
out=$(run 64 cmd /c "$pkg\\uninstall.cmd" /user 2>&1); rc=$?
check "uninstall.cmd /user unregisters and removes the copies" \
  '[ $rc -eq 0 ] && ! run 64 reg query "HKCU\Software\Classes\ZUVezEradez3.QKDialer" >/dev/null 2>&1 && [ ! -e "$apps_unix" ]'

out=$(run 64 cmd /c "$pkg\\install.cmd" /bogus 2>&1); rc=$?
check "an unknown switch is refused with its usage" '[ $rc -eq 2 ] && grep -q Usage <<<"$out"'
mv "$top/x86/ZUVezEradez3.dll" "$target/hidden.dll"
out=$(run 64 cmd /c "$pkg\\install.cmd" 2>&1); rc=$?
echo "$out"
check "a missing build is reported and fails the install" '[ $rc -ne 0 ] && grep -q "missing" <<<"$out"'
run 64 cmd /c "$pkg\\uninstall.cmd" >/dev/null 2>&1
check "uninstall.cmd leaves nothing after a partial install" '[ ! -e "$pf64" ] && nothing_registered'

finish
