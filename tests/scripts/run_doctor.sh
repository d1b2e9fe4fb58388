#!/usr/bin/env bash
# Runs package/doctor.js with the cscript of one bitness: for its usage; on a fresh install that
# has stored no setting yet and on a healthy set-up (it must find no problem in either); with the
# capture file held open by another program (it must say so and go on); then on a set-up broken
# in every way that Wine can make at once: the tool missing, the other bitness unregistered, the
# type library's name, FLAGS and HELPDIR gone, the settings folder missing, the current folder
# read-only and a capture file left by a failed dial. Each problem must be named, and the exit
# code must count them.
#
# It works in a private copy of the tests' Wine prefix (hard links: it costs little), so that
# removing the tool or a registration disturbs no other test; the copy is made under the
# registration lock, after the rasdial fixture put the RasDial.exe stand-in in place.
#   run_doctor.sh BITS BUILD_DIR DLL OTHER_DLL    (Windows paths; OTHER_DLL "none" when the other
#                                                   bitness cannot run here)
set -euo pipefail
bits=$1 build=$2 dll=$3 other=$4
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$root/cmake/wine-layout.sh"
if [ "$bits" = 32 ] && ! zu_runs_32bit; then zu_no_32bit_notice run_doctor.sh; exit 77; fi
shared=${ZU_WINEPREFIX:?the tests\' Wine prefix}
base=$build/doctor-run
prefix=$base/prefix work=$base/work
doctor="Z:${root//\//\\}\\package\\doctor.js"
[ "$bits" = 64 ] && otherBits=32 || otherBits=64
[ "$bits" = 64 ] && toolDir=system32 || toolDir=syswow64

holder=
cleanup() {
    [ -z "$holder" ] || kill "$holder" 2>/dev/null || true
    chattr -i "$work" 2>/dev/null || true
    [ -d "$prefix" ] && WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
    rm -rf "$base"
}
trap cleanup EXIT
cleanup
mkdir -p "$base" "$work"

flock --close "$shared.registration" cp -al "$shared" "$prefix"
# What Wine rewrites in place must not be shared with the original through a hard link.
for file in "$prefix"/*.reg "$prefix"/drive_c/windows/*.ini; do
    [ -f "$file" ] && cp --remove-destination "${file/#$prefix/$shared}" "$file"
done
export ZU_WINEPREFIX=$prefix
run() { "$root/cmake/wine-run.sh" "$bits" "$@"; }
run64() { "$root/cmake/wine-run.sh" 64 "$@"; }

run64 regsvr32 /s "$dll"
[ "$other" != none ] && run64 regsvr32 /s "$other"
rm -f "$prefix/drive_c/windows/REZarArerur.ini"
printf 'entry=Broadband Connection\tuser01\tp@ss & word\n' > "$work/rasdial.cfg"

failures=0
# doctor NAME EXPECTED_EXIT_CODE [arguments...]: runs the doctor in the work folder.
doctor() {
    local name=$1 expected=$2 rc=0
    shift 2
    output=$(cd "$work" && run cscript //nologo "$doctor" "$@" 2>&1) || rc=$?
    echo "== $name (exit code $rc)"
    echo "$output"
    [ "$rc" = "$expected" ] || { echo "not ok - $name: exit code $rc, expected $expected"; failures=$((failures + 1)); }
}
expect() {
    if grep -qF -- "$1" <<<"$output"; then echo "ok - $1"; else echo "not ok - missing: $1"; failures=$((failures + 1)); fi
}
refuse() {
    if grep -qF -- "$1" <<<"$output"; then echo "not ok - must not print: $1"; failures=$((failures + 1)); fi
}

doctor usage 0 /?
expect "usage: cscript //nologo doctor.js [/ini:PATH] [/probe]"

# Fresh: registered and the tool in place, but no setting assigned yet, so no settings file.
[ "$other" = none ] && unhealthy=2 || unhealthy=0
doctor fresh $unhealthy
expect "note     the settings file C:\\windows\\REZarArerur.ini (a name without a folder means the Windows folder) does not exist yet"
expect "ok       the type library ZUVezEradez3's registration"
refuse "PROBLEM  the settings file"

printf '[Adsl]\r\nadsl=Broadband Connection\r\nuid=user01\r\npassword=p@ss & word\r\n[Delay]\r\ndial=2000\r\nhangup=3000\r\n' \
    > "$prefix/drive_c/windows/REZarArerur.ini"

# Healthy: both bitnesses registered, the tool in place, the default settings file complete.
doctor healthy $unhealthy /probe
for cls in QKDialer QKCache; do
    expect "ok       $cls, $bits-bit: registered for the machine, $dll, file version 3.1.0.110"
    [ "$other" = none ] || expect "ok       $cls, $otherBits-bit: registered for the machine, "
    expect "ok       CreateObject(\"ZUVezEradez3.$cls\") works in this $bits-bit host"
done
expect "ok       the dial-up tool is there"
expect "C:\\windows\\REZarArerur.ini (a name without a folder means the Windows folder) exists"
expect "entry \"Broadband Connection\", user \"user01\", password set, DelayDial 2000 ms, DelayHangup 3000 ms"
expect "IsConnected(\"Broadband Connection\") answers False"
refuse "p@ss"
[ "$other" = none ] || expect "No problems found."

# A capture file that another program holds open, as a dial still running does: the doctor says
# so, and the remaining checks and the probe (which then fails) still run.
failed_dial='Connecting to Broadband Connection...\r\nVerifying username and password...\r\n\r\nRemote Access error 691 - Access was denied because the username and/or password was invalid on the domain.\r\n'
printf "$failed_dial" > "$work/QKDialer.tmp"
(cd "$work" && exec "$root/cmake/wine-run.sh" "$bits" "Z:${build//\//\\}\\bin\\zu_child.exe" \
    hold QKDialer.tmp print held sleep 600000 > "$base/holder.out") &
holder=$!
for _ in $(seq 600); do grep -q held "$base/holder.out" 2>/dev/null && break; sleep 0.2; done
doctor held $((unhealthy + 2)) /probe
kill "$holder" 2>/dev/null || true; wait "$holder" 2>/dev/null || true; holder=
expect "PROBLEM  QKDialer.tmp in Z:${work//\//\\} cannot be read"
expect "another program holds it open"
expect "ok       code pages: "
expect "PROBLEM  IsConnected(\"Broadband Connection\") fails"
refuse "the doctor itself failed"

# Broken in every way at once.
# The other bitness loses its class registrations, deleted by the 64-bit reg.exe (which runs
# natively where the 32-bit regsvr32 may be emulated); it sees the 32-bit view's class keys
# under Wow6432Node.
[ "$otherBits" = 32 ] && classes='HKLM\Software\Classes\Wow6432Node\CLSID' || classes='HKLM\Software\Classes\CLSID'
for clsid in '{59D9C9EA-2EA9-4A73-A472-3260D175AFD9}' '{9E021486-6ECF-403C-A4BD-77BFE6CB31F2}'; do
    [ "$other" = none ] || run64 reg delete "$classes\\$clsid" /f >/dev/null
done
# The type library loses what removing an x86 package beside the x64 one used to take away.
library='HKLM\Software\Classes\TypeLib\{B3DAD98E-2918-4C7E-8E69-7A73767AFCDD}\1.0'
run64 reg delete "$library" /ve /f >/dev/null
run64 reg delete "$library\FLAGS" /f >/dev/null
run64 reg delete "$library\HELPDIR" /f >/dev/null
rm -f "$prefix/drive_c/windows/$toolDir/RasDial.exe"
printf "$failed_dial" > "$work/QKDialer.tmp"
chattr +i "$work"
doctor broken 7 "/ini:Z:${work//\//\\}\\missing\\dialer.ini"
chattr -i "$work"
for cls in QKDialer QKCache; do
    expect "PROBLEM  $cls, $otherBits-bit: not registered"
done
expect "PROBLEM  the dial-up tool is missing"
expect "PROBLEM  the type library ZUVezEradez3's registration (HKEY_CLASSES_ROOT\\TypeLib\\{B3DAD98E-2918-4C7E-8E69-7A73767AFCDD}\\1.0) lacks its name, FLAGS, HELPDIR"
expect "does not exist, and the settings functions do not create folders"
expect "PROBLEM  the current folder Z:${work//\//\\} cannot hold the capture file QKDialer.tmp"
expect "the tool said: \"Remote Access error 691 - Access was denied"
expect "(691: the user name or password was not accepted"
expect "7 problems found."

exit $failures
