#!/usr/bin/env bash
# The Windows Installer packages under Wine, with the 64-bit msiexec: the x86 package refused on
# this 64-bit Windows; each package installed, installed again and removed, its registry entries compared with what the builds' own
# registration writes; both packages on one machine, in both orders; an install to folders of
# the user's choosing, which the package remembers.
#   msi_test.sh BUILD_DIR (the folder that holds both builds)
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

# The DLLs' File rows: "FILE VERSION LANGUAGE", one a line.
dll_rows() {
  msiinfo export "$(package $1)" File | tr -d '\r' |
    awk -F '\t' '$1 ~ /^ZUVezEradez3_/ { print $1, $5, $6 }' | sort
}
binary_version=$(sed -E 's/^0*([0-9]+)\.0*([0-9]+)\.0*([0-9]+)$/\1.\2.0.\3/' "$root/VERSION")
check "x86 package: the DLL's File row carries version $binary_version and language 2052" \
  '[ "$(dll_rows x86)" = "ZUVezEradez3_x86 $binary_version 2052" ]'
check "x64 package: both DLLs' File rows carry version $binary_version and language 2052" \
  '[ "$(dll_rows x64 | tr "\n" ";")" = "ZUVezEradez3_x64 $binary_version 2052;ZUVezEradez3_x86 $binary_version 2052;" ]'

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
nothing_left() { [ ! -e "$pf32" ] && [ ! -e "$pf64" ] && nothing_registered && [ -z "$(listed x86)$(listed x64)" ]; }

msi /i "$(package x86)"; rc=$?
check "x86 package: refused on 64-bit Windows by a launch condition that points to the x64 package; nothing installed" \
  '[ $rc -ne 0 ] && nothing_left &&
   msiinfo export "$(package x86)" LaunchCondition | grep -q "NOT VersionNT64.*On 64-bit Windows install ZUVezEradez3-$version-x64.msi"'
# Elsewhere the x86 package stands for itself on 32-bit Windows, which this prefix is not: a copy
# without the condition on the bitness (its other launch condition stays).
cp "$(package x86)" "$target/x86-anywhere.msi"
msibuild "$target/x86-anywhere.msi" -q "DELETE FROM \`LaunchCondition\` WHERE \`Condition\` = 'Installed OR NOT VersionNT64'"
package() { if [ "$1" = x86 ]; then echo "$target/x86-anywhere.msi"; else echo "${zip%.zip}-$1.msi"; fi; }
# docs_beside FOLDER...: the README and the doctor of the release lie in each folder.
docs_beside() {
  local folder
  for folder in "$@"; do
    cmp "$folder/README.md" <(unzip -p "$zip" "*/README.md") && cmp "$folder/doctor.js" <(unzip -p "$zip" "*/doctor.js") || return 1
  done
}

for arch in x64 x86; do
  view=$([ $arch = x64 ] && echo classes || echo classes_32)
  main=$([ $arch = x64 ] && echo "$pf64" || echo "$pf32")
  check "$arch package: nothing of the component is registered before" nothing_registered
  [ -n "$runs_32bit" ] && registered_by_regsvr32 "$arch" >"$target/expected.txt"
  check "$arch package: nothing is left by the builds' own registration" nothing_registered
  msi /i "$(package $arch)"; rc=$?
  check "$arch package: msiexec /i /qn succeeds" '[ $rc -eq 0 ]'
  $view >"$target/installed.txt"
  [ -n "$runs_32bit" ] && check "$arch package: writes what DllRegisterServer writes" \
    'diff "$target/expected.txt" "$target/installed.txt"'
  check "$arch package: a 32-bit script creates both classes" 'creatable 32'
  [ "$arch" = x64 ] && check "$arch package: a 64-bit script creates both classes" 'creatable 64'
  check "$arch package: listed with its publisher and its folder as InstallLocation" \
    'listed $arch | grep -q "Publisher.*The ZUVezEradez3 developers" &&
     [ "$(listed $arch | sed -n "s/.*InstallLocation[[:space:]]*REG_SZ[[:space:]]*//p")" = "$(run 64 winepath -w "$main")\\" ]'
  check "$arch package: the README and the doctor lie beside each DLL" \
    'docs_beside "$main" && { [ $arch = x86 ] || docs_beside "$pf32"; }'
  msi /i "$(package $arch)"; rc=$?
  check "$arch package: installing it again succeeds and keeps it working" \
    '[ $rc -eq 0 ] && creatable 32 && diff "$target/installed.txt" <($view)'
  msi /x "$(package $arch)"; rc=$?
  check "$arch package: msiexec /x /qn succeeds" '[ $rc -eq 0 ]'
  check "$arch package: removal leaves no file, no key and no entry in the list" nothing_left
  check "$arch package: nothing is creatable after removal" '! creatable 64 && ! creatable 32'
done

# Both packages on one machine share the 32-bit build's component; removing either leaves the
# other working, in both orders, and removing both leaves nothing in either registry view.
works() {
  case $1 in
    both) creatable 32 && creatable 64 ;;
    32) creatable 32 ;;
  esac
}
for order in "x86 x64" "x64 x86"; do
  read -r first second <<<"$order"
  hosts() { [ "$1" = x64 ] && echo both || echo 32; }
  msi /i "$(package $first)"
  check "$first then $second: after installing $first, its classes work" 'works $(hosts $first)'
  msi /i "$(package $second)"
  check "$first then $second: after installing $second too, both hosts create both classes" 'works both'
  msi /x "$(package $first)"
  check "$first then $second: after removing $first, the classes of $second still work" \
    'works $(hosts $second)'
  msi /x "$(package $second)"
  check "$first then $second: after removing $second, nothing is left in either view or on disk" \
    'nothing_left && ! creatable 32 && ! creatable 64'
done

# Folders of the user's choosing: the registry points there, and a repair and the removal,
# told nothing, find them again.
custom=$ZU_WINEPREFIX/drive_c
msi /i "$(package x64)" 'INSTALLDIR=C:\zu-custom64' 'INSTALLDIR32=C:\zu-custom32'; rc=$?
check "custom folders: msiexec /i with INSTALLDIR and INSTALLDIR32 succeeds" '[ $rc -eq 0 ]'
check "custom folders: each build lies in its folder and is registered there, nothing in Program Files" \
  '[ -f "$custom/zu-custom64/ZUVezEradez3.dll" ] && [ -f "$custom/zu-custom32/ZUVezEradez3.dll" ] &&
   [ -f "$custom/zu-custom64/doctor.js" ] && [ ! -e "$pf64" ] && [ ! -e "$pf32" ] &&
   [ "$(inproc_server 64 $dialer)" = "C:\\zu-custom64\\ZUVezEradez3.dll" ] &&
   [ "$(inproc_server 32 $dialer)" = "C:\\zu-custom32\\ZUVezEradez3.dll" ]'
check "custom folders: both hosts create both classes" 'creatable 32 && creatable 64'
check "custom folders: the uninstall list's InstallLocation is the 64-bit folder" \
  'listed x64 | grep -q "InstallLocation.*C:\\\\zu-custom64\\\\"'
rm "$custom/zu-custom32/ZUVezEradez3.dll"
msi /i "$(package x64)" REINSTALL=ALL REINSTALLMODE=vomus; rc=$?
check "custom folders: a repair, told nothing, restores the file in its folder" \
  '[ $rc -eq 0 ] && [ -f "$custom/zu-custom32/ZUVezEradez3.dll" ] && [ ! -e "$pf64" ] && [ ! -e "$pf32" ] &&
   [ "$(inproc_server 64 $dialer)" = "C:\\zu-custom64\\ZUVezEradez3.dll" ]'
msi /x "$(package x64)"; rc=$?
check "custom folders: the removal, told nothing, leaves nothing" \
  '[ $rc -eq 0 ] && [ ! -e "$custom/zu-custom64" ] && [ ! -e "$custom/zu-custom32" ] && nothing_left'
rm -rf "$custom/zu-custom64" "$custom/zu-custom32"

finish
