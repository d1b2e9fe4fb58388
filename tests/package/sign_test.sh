#!/usr/bin/env bash
# A signed release: a throwaway self-signed certificate signs both DLLs and both packages; each
# signature verifies and covers its file, and the signed DLLs and packages still work under Wine.
#   sign_test.sh BUILD_DIR (the folder that holds both builds)
set -uo pipefail
keys=$(mktemp -d)
trap 'rm -rf "$keys"' EXIT
release_build=$keys/build
for arch in i686 x86_64; do
  mkdir -p "$release_build/$arch/bin" "$release_build/$arch/package"
  cp "$1/$arch/bin/ZUVezEradez3.dll" "$release_build/$arch/bin/"
  cp "$1/$arch/package/"*.wxi "$release_build/$arch/package/"
done
printf 'test password\n' >"$keys/password"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/key.pem" -out "$keys/cert.pem" -days 2 \
  -subj "/CN=ZUVezEradez3 test signer" 2>/dev/null &&
  openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/signer.pfx" \
    -passout "file:$keys/password" || exit 1
release_signing=(SIGN_PFX="$keys/signer.pfx" SIGN_PASSWORD_FILE="$keys/password")
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

out=$(SIGN_PFX="$keys/signer.pfx" "$root/cmake/dist.sh" "$release_build" 2>&1); rc=$?
check "a key without its password file is refused" '[ $rc -ne 0 ] && grep -q SIGN_PASSWORD_FILE <<<"$out"'

unzip -q "$zip" -d "$target"
top=$target/$(basename "$zip" .zip)
for file in x86/ZUVezEradez3.dll x64/ZUVezEradez3.dll "$(basename "$zip" .zip)-x86.msi" "$(basename "$zip" .zip)-x64.msi"; do
  # Against the throwaway certificate as the trusted root, a signature that is present and
  # whose digest is the file's verifies; without it the root is untrusted.
  out=$(osslsigncode verify -CAfile "$keys/cert.pem" -in "$top/$file" 2>&1); rc=$?
  check "$file: signed by the test certificate, the signature covers the file" \
    '[ $rc -eq 0 ] && grep -q "Signature verification: ok" <<<"$out" && grep -q "CN=ZUVezEradez3 test signer" <<<"$out"'
done
out=$(osslsigncode verify -in "$top/x64/ZUVezEradez3.dll" 2>&1)
check "without the test certificate as a root, only the root is untrusted" \
  'grep -q "self-signed certificate" <<<"$out" && grep -q "Number of verified signatures: 1" <<<"$out" &&
   [ "$(sed -n "s/^Current message digest *: *//p" <<<"$out")" = "$(sed -n "s/^Calculated message digest *: *//p" <<<"$out")" ]'
check "the signed release lists the signed files' sums" '(cd "$top" && sha256sum --quiet -c SHA256SUMS)'

# The 32-bit DLL registers only where a 32-bit regsvr32 can run.
regsvr32_32() { [ -z "$runs_32bit" ] || run 32 regsvr32 "$@"; }
run 64 regsvr32 /s 'C:\zu-package\'"$(basename "$top")"'\x64\ZUVezEradez3.dll' &&
  regsvr32_32 /s 'C:\zu-package\'"$(basename "$top")"'\x86\ZUVezEradez3.dll'; rc=$?
check "the signed DLLs register" '[ $rc -eq 0 ]'
check "with the signed DLLs, both hosts create both classes" \
  'creatable 64 && { [ -z "$runs_32bit" ] || creatable 32; }'
regsvr32_32 /s /u 'C:\zu-package\'"$(basename "$top")"'\x86\ZUVezEradez3.dll'
run 64 regsvr32 /s /u 'C:\zu-package\'"$(basename "$top")"'\x64\ZUVezEradez3.dll'
check "nothing is left once they are unregistered" nothing_registered

msi /i "$(package x64)"; rc=$?
check "the signed x64 package installs, and both hosts create both classes" \
  '[ $rc -eq 0 ] && creatable 64 && creatable 32'
msi /x "$(package x64)"; rc=$?
check "the signed x64 package is removed without a trace" \
  '[ $rc -eq 0 ] && [ ! -e "$pf64" ] && [ ! -e "$pf32" ] && nothing_registered'

finish
