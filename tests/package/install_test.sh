#!/usr/bin/env bash
# The release as a user meets it: the zip unpacked into the Wine prefix, installed with
# install.cmd per machine and per user, used from 32-bit and 64-bit cscript, and uninstalled;
# then each Windows Installer package installed, installed again and removed with the 64-bit
# msiexec, its registry entries compared with what the builds' own registration writes.
#   install_test.sh BUILD_DIR (the folder that holds both builds)
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export ZU_WINEPREFIX=${ZU_WINEPREFIX:-$build/wineprefix}
run() { "$root/cmake/wine-run.sh" "$@"; }
failures=0
check() { if eval "$2"; then echo "ok - $1"; else echo "not ok - $1"; failures=$((failures + 1)); fi; }

zip=$("$root/cmake/dist.sh" "$build") || exit 1
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
target=$ZU_WINEPREFIX/drive_c/zu-package
rm -rf "$target" && mkdir -p "$target"
unzip -q "$zip" -d "$target"
pkg='C:\zu-package\'$(basename "$zip" .zip)
check "the package holds both builds, the scripts, README and LICENSE" \
  '[ -f "$target"/*/x86/ZUVezEradez3.dll ] && [ -f "$target"/*/x64/ZUVezEradez3.dll ] && [ -f "$target"/*/install.cmd ] && [ -f "$target"/*/README.md ] && [ -f "$target"/*/LICENSE.txt ]'
check "SHA256SUMS lists every other file of the zip, with the right sums" \
  '(cd "$target"/*/ && [ "$(find . -type f ! -name SHA256SUMS | wc -l)" -eq "$(wc -l <SHA256SUMS)" ] && sha256sum --quiet -c SHA256SUMS)'

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

# The component's entries below HKLM\Software\Classes, both registry views, one line per value
# with its key, in a form that compares: lower case, and folders without a final backslash (an
# installer's folder names end with one, the help folder of a type library does not).
ids='b3dad98e-2918-4c7e-8e69-7a73767afcdd|59d9c9ea-2ea9-4a73-a472-3260d175afd9|9e021486-6ecf-403c-a4bd-77bfe6cb31f2|c7b975a9-ff59-4da6-91b4-d4cd09d220ef|3e7ab777-664f-4362-9eeb-aca12ca8ffe9|zuvezeradez3\.q'
classes() {
  run 64 reg export 'HKLM\Software\Classes' 'C:\zu-package\classes.reg' /y >/dev/null 2>&1 || return 1
  iconv -f UTF-16 -t UTF-8 "$target/classes.reg" | tr -d '\r' | tr 'A-Z' 'a-z' |
    awk -v ids="$ids" 'BEGIN { RS = "" } {
      n = split($0, line, "\n"); if (line[1] !~ ids) next
      if (n == 1) print line[1]; for (i = 2; i <= n; i++) print line[1] " " line[i] }' |
    sed 's/\\\\"$/"/'
}
# What a 32-bit host sees: on Wine the 32-bit view of a key is under Wow6432Node wherever it
# is written, and a 32-bit registration also enters its interfaces in the 64-bit view.
classes_32() { classes | sed 's/\\wow6432node\\/\\/' | sort -u; }
nothing_registered() { [ -z "$(classes)" ]; }
msi() { run 64 msiexec "$1" "Z:${2//\//\\}" /qn >/dev/null 2>&1; }
pf64="$ZU_WINEPREFIX/drive_c/Program Files/ZUVezEradez3"
pf32="$ZU_WINEPREFIX/drive_c/Program Files (x86)/ZUVezEradez3"
version=${zip##*-}; version=${version%.zip}
# The uninstall list's entry of the ARCH package (a 32-bit package's is in the 32-bit view).
listed() {
  local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  [ "$1" = x86 ] && key='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'
  run 64 reg query "$key" /s 2>/dev/null | tr -d '\r' |
    awk -v name="ZUVezEradez3 $version ($1)" 'BEGIN { RS = "" } index($0, name)'
}

# registered_by_regsvr32 ARCH: what the builds' own registration writes from the folders that
# the package installs to. Wine keeps the help folder of the build registered first, so the
# 64-bit build goes first: the shared entries are then the 64-bit build's, as in the package.
registered_by_regsvr32() {
  if [ "$1" = x64 ]; then
    mkdir -p "$pf64" && cp "$build/x86_64/bin/ZUVezEradez3.dll" "$pf64/"
    run 64 regsvr32 /s 'C:\Program Files\ZUVezEradez3\ZUVezEradez3.dll'
  fi
  mkdir -p "$pf32" && cp "$build/i686/bin/ZUVezEradez3.dll" "$pf32/"
  run 32 regsvr32 /s 'C:\Program Files (x86)\ZUVezEradez3\ZUVezEradez3.dll'
  if [ "$1" = x64 ]; then classes; else classes_32; fi
  run 32 regsvr32 /s /u 'C:\Program Files (x86)\ZUVezEradez3\ZUVezEradez3.dll'
  [ "$1" = x64 ] && run 64 regsvr32 /s /u 'C:\Program Files\ZUVezEradez3\ZUVezEradez3.dll'
  rm -rf "$pf32" "$pf64"
}

for arch in x64 x86; do
  package=$(dirname "$zip")/$(basename "$zip" .zip)-$arch.msi
  view=$([ $arch = x64 ] && echo classes || echo classes_32)
  check "$arch package: nothing of the component is registered before" nothing_registered
  registered_by_regsvr32 "$arch" >"$target/expected.txt"
  check "$arch package: nothing is left by the builds' own registration" nothing_registered
  msi /i "$package"; rc=$?
  check "$arch package: msiexec /i /qn succeeds" '[ $rc -eq 0 ]'
  $view >"$target/installed.txt"
  check "$arch package: writes what DllRegisterServer writes" \
    'diff "$target/expected.txt" "$target/installed.txt"'
  check "$arch package: a 32-bit script creates both classes" 'creatable 32'
  [ "$arch" = x64 ] && check "$arch package: a 64-bit script creates both classes" 'creatable 64'
  check "$arch package: listed with its version and publisher" \
    'listed $arch | grep -q "Publisher.*The ZUVezEradez3 developers"'
  msi /i "$package"; rc=$?
  check "$arch package: installing it again succeeds and keeps it working" \
    '[ $rc -eq 0 ] && creatable 32 && diff "$target/installed.txt" <($view)'
  msi /x "$package"; rc=$?
  check "$arch package: msiexec /x /qn succeeds" '[ $rc -eq 0 ]'
  check "$arch package: removal leaves no file, no key and no entry in the list" \
    '[ ! -e "$pf32" ] && [ ! -e "$pf64" ] && nothing_registered && [ -z "$(listed $arch)" ]'
  check "$arch package: nothing is creatable after removal" '! creatable 64 && ! creatable 32'
done

# Leave the 64-bit build registered, as the tests that run after this one expect.
run 64 regsvr32 /s "Z:${build//\//\\}\\x86_64\\bin\\ZUVezEradez3.dll"
rm -rf "$target"
echo "$failures failed"
[ $failures -eq 0 ]
