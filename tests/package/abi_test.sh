#!/usr/bin/env bash
# The module's binary interface, read from the built files alone (nothing runs): the exports,
# the imports, and each class's vtable against the interface it implements. A host reaches the
# module only through these, so a wrong calling convention or a slot out of place shows here
# even where no program of this bitness can run.
#   abi_test.sh MODULE DEBUG_FILE HEADER TRIPLE 32|64 CLASS=INTERFACE...
#     HEADER: the C header that widl wrote from the IDL, whose vtable structures list each
#             interface's members in order with their parameters;
#     CLASS=INTERFACE: a class (namespace::Name) and the dual interface it implements.
set -uo pipefail
module=$1 debug=$2 header=$3 triple=$4 bits=$5
shift 5
failures=0
ok() { echo "ok - $1"; }
fail() { echo "not ok - $1"; failures=$((failures + 1)); }

headers=$("$triple-objdump" -p "$module") || exit 1
# Every symbol of the module as "address name": the address in hexadecimal without leading
# zeros, the i686 leading underscore removed from the name.
symbols=$("$triple-nm" "$debug" | awk -v bits="$bits" '$2 ~ /^[TtRrDd]$/ {
    address = $1; sub(/^0+/, "", address); name = $3; if (bits == 32) sub(/^_/, "", name)
    print address, name }')
image_base=$(awk '$1 == "ImageBase" { print $2 }' <<<"$headers")
hex() { printf '%x' "$((16#$1))"; }
address_of() { awk -v n="$1" '$2 == n { print $1; exit }' <<<"$symbols"; }
names_at() { awk -v a="$1" '$1 == a { print $2 }' <<<"$symbols"; }

# 1. Exactly the five exports, undecorated; on i686 each is the stdcall function of that name
#    with its arguments' byte count.
expected_exports="DllCanUnloadNow@0 DllGetClassObject@12 DllInstall@8 DllRegisterServer@0 DllUnregisterServer@0"
exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | awk '$1 == "[" { print $3 }' | sort -u)
if [ "$(tr '\n' ' ' <<<"$exports" | sed 's/ $//')" = "$(sed 's/@[0-9]*//g' <<<"$expected_exports")" ]; then
    ok "exports: exactly $(tr '\n' ' ' <<<"$exports")"
else
    fail "exports: $(tr '\n' ' ' <<<"$exports")"
fi
if [ "$bits" = 32 ]; then
    # "index rva" from the address table, "index name" from the name table.
    rvas=$(sed -n '/Export Address Table -- Ordinal Base/,/^$/p' <<<"$headers" |
        awk '/Export RVA/ { sub(/]/, "", $2); print $2, $5 }')
    names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
        awk '$1 == "[" { sub(/]/, "", $2); print $2, $3 }')
    for decorated in $expected_exports; do
        index=$(awk -v n="${decorated%@*}" '$2 == n { print $1; exit }' <<<"$names")
        rva=$(awk -v i="$index" '$1 == i { print $2; exit }' <<<"$rvas")
        want=$(address_of "$decorated")
        if [ -n "$want" ] && [ -n "$rva" ] && [ "$want" = "$(printf '%x' $((16#$image_base + 16#$rva)))" ]; then
            ok "export ${decorated%@*} is $decorated"
        else
            fail "export ${decorated%@*} is not the stdcall function $decorated"
        fi
    done
fi

# 2. Imports only from the system's own libraries: no MinGW runtime DLL beside the module.
allowed="advapi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll user32.dll wininet.dll"
imports=$(awk '/DLL Name:/ { print tolower($3) }' <<<"$headers")
unexpected=$(grep -v -x -F -f <(tr ' ' '\n' <<<"$allowed") <<<"$imports")
if [ -z "$unexpected" ]; then ok "imports: $(tr '\n' ' ' <<<"$imports")"; else fail "unexpected imports: $unexpected"; fi

# The members of an interface's vtable structure in the header, in order: "name parameters".
members() {
    awk -v vtbl="typedef struct $1Vtbl {" '
        index($0, vtbl) == 1 { inside = 1; next }
        inside && /END_INTERFACE/ { if (name != "") print name, params; exit }
        inside && /STDMETHODCALLTYPE \*/ {
            if (name != "") print name, params
            name = $0; sub(/.*\*/, "", name); sub(/\).*/, "", name); params = -1; next }
        inside && name != "" && /[,;)]$/ { params++ }' "$header"
}

# The mangled name of a class's vtable: _ZTVN <length><name>... E.
vtable_symbol() {
    local mangled=_ZTVN part
    IFS=: read -r -a parts <<<"${1//::/:}"
    for part in "${parts[@]}"; do mangled+="${#part}$part"; done
    echo "${mangled}E"
}

# The unqualified member name and the stdcall byte count of a mangled symbol.
member_of() {
    local name=${1%@*} bytes=
    [ "$1" != "$name" ] && bytes=${1##*@}
    echo "$("$triple-c++filt" -n "$name" | sed -E 's/\(.*//; s/.*:://') $bytes"
}

# 3. Each slot of a class's vtable holds the member of that name, after the offset to the top
#    and the type information; on i686 its stdcall byte count is 4 for the object and 4 for
#    each parameter.
pointer=$((bits / 8))
for pair in "$@"; do
    class=${pair%=*} interface=${pair#*=}
    vtable=$(address_of "$(vtable_symbol "$class")")
    [ -n "$vtable" ] || { fail "$class: no vtable symbol"; continue; }
    mapfile -t expected < <(members "$interface")
    [ ${#expected[@]} -gt 7 ] || { fail "$interface: no members in $header"; continue; }
    start=$((16#$vtable + 2 * pointer))
    words=$("$triple-objdump" -s --start-address=$start --stop-address=$((start + ${#expected[@]} * pointer)) "$module" |
        awk '/^ [0-9a-f]+ / { for (i = 2; i <= 5; i++) if (length($i) == 8 && $i ~ /^[0-9a-f]+$/) printf "%s", $i }')
    bad=0
    for i in "${!expected[@]}"; do
        read -r want params <<<"${expected[$i]}"
        word=${words:$((i * pointer * 2)):$((pointer * 2))}
        slot=$(sed -E 's/(..)/\1 /g' <<<"$word" | awk '{ for (i = NF; i > 0; i--) printf "%s", $i }')
        found=
        for name in $(names_at "$(hex "$slot")"); do
            read -r got bytes <<<"$(member_of "$name")"
            if [ "$got" = "$want" ] && { [ "$bits" = 64 ] || [ "$bytes" = $((4 * (1 + params))) ]; }; then
                found=$name
                break
            fi
            found="!$name"
        done
        if [ -z "$found" ] || [ "${found:0:1}" = "!" ]; then
            fail "$class slot $i: expected $want (${params} parameters), found ${found#!}"
            bad=1
        fi
    done
    [ $bad -eq 0 ] && ok "$class: ${#expected[@]} vtable slots hold the members of $interface"
done

echo "$failures failed"
[ $failures -eq 0 ]
