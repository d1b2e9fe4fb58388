# What the package tests share: sourced by install_test.sh, msi_test.sh and sign_test.sh with
# BUILD_DIR (the folder that holds both builds) as their first argument. Each works in
# C:\zu-package of the Wine prefix, one at a time (they hold the registration lock).
set -uo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export ZU_WINEPREFIX=${ZU_WINEPREFIX:-$build/wineprefix}
run() { "$root/cmake/wine-run.sh" "$@"; }
failures=0
check() { if eval "$2"; then echo "ok - $1"; else echo "not ok - $1"; failures=$((failures + 1)); fi; }

target=$ZU_WINEPREFIX/drive_c/zu-package
rm -rf "$target" && mkdir -p "$target"
pf64="$ZU_WINEPREFIX/drive_c/Program Files/ZUVezEradez3"
pf32="$ZU_WINEPREFIX/drive_c/Program Files (x86)/ZUVezEradez3"
build_dll() { echo "Z:${build//\//\\}\\$1\\bin\\ZUVezEradez3.dll"; }

probe="$target/probe.vbs"
printf 'On Error Resume Next\r\nSet d = CreateObject("ZUVezEradez3.QKDialer")\r\nSet c = CreateObject("ZUVezEradez3.QKCache")\r\nWScript.Quit Err.Number\r\n' > "$probe"
# Where the kernel cannot run 32-bit programs, no 32-bit host or regsvr32 runs: the checks
# that need one read what such a host would find in the registry instead, or are left out.
. "$root/cmake/wine-layout.sh"
runs_32bit=yes
zu_runs_32bit || { runs_32bit=; zu_no_32bit_notice "$(basename "$0"): 32-bit hosts"; }
# creatable 32|64: a script host of that bitness creates both classes by their ProgIDs.
creatable() {
  if [ "$1" = 32 ] && [ -z "$runs_32bit" ]; then
    # Wine shows a 32-bit host a key of the 32-bit view (below Wow6432Node) where there is one,
    # and the shared key otherwise.
    local progid
    for progid in 'Wow6432Node\ZUVezEradez3.QKCache' 'ZUVezEradez3.QKCache'; do
      run 64 reg query 'HKLM\Software\Classes\'"$progid"'\CLSID' >/dev/null 2>&1 &&
        [ -n "$(inproc_server 32 $dialer)" ] && return 0
    done
    return 1
  fi
  run "$1" cscript //nologo 'C:\zu-package\probe.vbs' >/dev/null 2>&1
}

# The component's entries below HKLM\Software\Classes, both registry views, one line per value
# with its key, in a form that compares: lower case, and folders without a final backslash (an
# installer's folder names end with one, the help folder of a type library does not).
ids='b3dad98e-2918-4c7e-8e69-7a73767afcdd|59d9c9ea-2ea9-4a73-a472-3260d175afd9|9e021486-6ecf-403c-a4bd-77bfe6cb31f2|c7b975a9-ff59-4da6-91b4-d4cd09d220ef|3e7ab777-664f-4362-9eeb-aca12ca8ffe9|zuvezeradez3\.q'
# exported KEY: the values below KEY (the 64-bit view, which holds Wow6432Node), as above.
exported() {
  run 64 reg export "$1" 'C:\zu-package\export.reg' /y >/dev/null 2>&1 || return 0
  iconv -f UTF-16 -t UTF-8 "$target/export.reg" | tr -d '\r' | tr 'A-Z' 'a-z' |
    awk -v ids="$2" 'BEGIN { RS = "" } {
      n = split($0, line, "\n"); if (line[1] !~ ids) next
      if (n == 1) print line[1]; for (i = 2; i <= n; i++) print line[1] " " line[i] }' |
    sed 's/\\\\"$/"/'
}
classes() { exported 'HKLM\Software\Classes' "$ids"; }
# What a 32-bit host sees: on Wine the 32-bit view of a key is under Wow6432Node wherever it
# is written, and a 32-bit registration also enters its interfaces in the 64-bit view.
classes_32() { classes | sed 's/\\wow6432node\\/\\/' | sort -u; }
# The folders that the packages remember, in both registry views.
remembered() {
  local key
  for key in 'HKLM\Software\ZUVezEradez3' 'HKLM\Software\Wow6432Node\ZUVezEradez3'; do
    run 64 reg query "$key" 2>/dev/null | tr -d '\r' |
      while read -r line; do [[ $line != *REG_* ]] || echo "$key: $line"; done
  done
}
nothing_registered() { [ -z "$(classes)" ] && [ -z "$(remembered)" ]; }
# inproc_server 32|64 CLSID: the module path that a host of that bitness would load.
inproc_server() {
  local key='HKLM\Software\Classes\CLSID\'$2'\InprocServer32'
  [ "$1" = 32 ] && key='HKLM\Software\Classes\Wow6432Node\CLSID\'$2'\InprocServer32'
  run 64 reg query "$key" /ve 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ[[:space:]]*//p'
}
dialer='{59D9C9EA-2EA9-4A73-A472-3260D175AFD9}'

msi() { run 64 msiexec "$1" "Z:${2//\//\\}" "${@:3}" /qn >/dev/null 2>&1; }
# The uninstall list's entry of the ARCH package (a 32-bit package's is in the 32-bit view).
listed() {
  local key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
  [ "$1" = x86 ] && key='HKLM\Software\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall'
  run 64 reg query "$key" /s 2>/dev/null | tr -d '\r' |
    awk -v name="ZUVezEradez3 $version ($1)" 'BEGIN { RS = "" } index($0, name)'
}

# The release, built from both builds (or from RELEASE_BUILD, which a test may prepare),
# unsigned unless the test sets the signing variables itself.
unset SIGN_PFX SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL
zip=$(env ${release_signing:+"${release_signing[@]}"} "$root/cmake/dist.sh" "${release_build:-$build}") || exit 1
version=${zip##*-}; version=${version%.zip}
package() { echo "${zip%.zip}-$1.msi"; }

# The tests that run after these expect the 64-bit build registered from its build folder:
# each script takes that registration away first and puts it back when done.
run 64 regsvr32 /s /u "$(build_dll x86_64)"
finish() {
  run 64 regsvr32 /s "$(build_dll x86_64)"
  rm -rf "$target"
  echo "$failures failed"
  [ $failures -eq 0 ]
}
