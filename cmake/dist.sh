#!/usr/bin/env bash
# Builds the release from both builds: dist.sh BUILD_DIR, into BUILD_DIR/dist/
#   ZUVezEradez3-<version>-x86.msi  Windows Installer package: the 32-bit build, for 32-bit Windows
#   ZUVezEradez3-<version>-x64.msi  Windows Installer package: both builds, for 64-bit Windows
#   ZUVezEradez3-<version>.zip      both builds, the two packages, the README, the LICENSE, the
#                                   examples, the install scripts and SHA256SUMS for all of them
# Prints the zip's path. The same source gives the same bytes at any path and any time: every
# time stamp is SOURCE_DATE_EPOCH (the commit's time unless the environment sets it), files are
# stored in sorted order, and the packages' codes are derived from their content.
#
# Signing (Authenticode, with osslsigncode): when SIGN_PFX names a PKCS#12 file and
# SIGN_PASSWORD_FILE a file that holds its password, both DLLs are signed before they are
# packaged, and both packages once built. SIGN_TIMESTAMP_URL, when set, names an RFC 3161
# time-stamping server; no server is contacted otherwise. Without them nothing is signed.
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
version=$(head -n 1 "$root/VERSION")
name=ZUVezEradez3-$version
out=$build/dist
stage=$out/$name
export TZ=UTC LC_ALL=C

# The commit's time: `git archive` writes it into source-date-epoch; a checkout asks git.
source_date_epoch() {
  local stamped
  stamped=$(cat "$root/cmake/source-date-epoch")
  if [[ $stamped =~ ^[0-9]+$ ]]; then
    echo "$stamped"
  elif [ -e "$root/.git" ]; then
    git -C "$root" log -1 --format=%ct
  else
    echo "dist.sh: set SOURCE_DATE_EPOCH: this tree is neither a checkout nor an export" >&2
    return 1
  fi
}
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(source_date_epoch)}
export SOURCE_DATE_EPOCH
# wixl and msibuild write the current time: they run with the clock stopped at this time.
# Files' own times are left as they are (they are SOURCE_DATE_EPOCH already).
stamp=$(date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')
at_stamp() { NO_FAKE_STAT=1 faketime -f "$stamp" "$@"; }

signing=false
if [ -n "${SIGN_PFX:-}${SIGN_PASSWORD_FILE:-}" ]; then
  if [ ! -r "${SIGN_PFX:-}" ] || [ ! -r "${SIGN_PASSWORD_FILE:-}" ]; then
    echo "dist.sh: signing needs both SIGN_PFX (a PKCS#12 file) and SIGN_PASSWORD_FILE (its password), readable" >&2
    exit 1
  fi
  signing=true
fi

# sign FILE: signs FILE in place, with SHA-256, time-stamped when SIGN_TIMESTAMP_URL is set.
sign() {
  local file=$1 args=(sign -pkcs12 "$SIGN_PFX" -readpass "$SIGN_PASSWORD_FILE" -h sha256
    -n "ZUVezEradez3 $version")
  [ -n "${SIGN_TIMESTAMP_URL:-}" ] && args+=(-ts "$SIGN_TIMESTAMP_URL")
  osslsigncode "${args[@]}" -in "$file" -out "$file.signed" >/dev/null ||
    { echo "dist.sh: signing $file failed" >&2; rm -f "$file.signed"; return 1; }
  mv "$file.signed" "$file"
}

# file_version DLL: the DLL's version record as the File table wants it, "3.1.0.110 2052": the
# fixed part's file version, and the record's language as a decimal language id.
file_version() {
  local fields
  fields=$(x86_64-w64-mingw32-windres -J coff -O rc -i "$1" | tr ',' ' ' |
    awk '$1 == "LANGUAGE" { language = $2 " " $3 }
         $2 == "VERSIONINFO" { record = language }
         record != "" && $1 == "FILEVERSION" { print record, $2, $3, $4, $5; exit }') || return 1
  set -- $fields
  [ $# -eq 6 ] || return 1
  printf '%d.%d.%d.%d %d\n' "$3" "$4" "$5" "$6" $(($1 | ($2 << 10)))
}

# A GUID from a SHA-256 of TEXT, with the version and variant bits of a name-based UUID.
guid_from() {
  local h
  h=$(printf '%s' "$1" | sha256sum | tr a-f A-F)
  printf '{%s-%s-5%s-%X%s-%s}\n' "${h:0:8}" "${h:8:4}" "${h:13:3}" \
    $(((16#${h:16:1} & 3) | 8)) "${h:17:3}" "${h:20:12}"
}

# Files and folders get fixed times and modes, so neither the checkout nor the clock shows.
settle() {
  chmod -R u=rwX,go=rX "$@"
  find "$@" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# build_msi ARCH: wixl needs relative sources, so the package is built in a staging folder.
build_msi() {
  local arch=$1 dir=$out/msi-$arch msi=$out/$name-$1.msi template record
  local builds=(x86) wixl=(wixl -a "$arch" -D "Arch=$arch" -D "Version=$version")
  [ "$arch" = x64 ] && builds+=(x64)
  mkdir -p "$dir"
  cp "$root/package/ZUVezEradez3.wxs" "$dir/"
  for b in "${builds[@]}"; do
    mkdir -p "$dir/$b"
    cp "$stage/$b/ZUVezEradez3.dll" "$dir/$b/"
    for part in own shared; do
      cp "$build/$([ "$b" = x86 ] && echo i686 || echo x86_64)/package/registry-$part.wxi" \
        "$dir/registry-$b-$part.wxi"
    done
  done
  cp "$stage/README.md" "$stage/doctor.js" "$dir/"
  settle "$dir"
  # An installer's product version is three plain numbers, major.minor.build (the installer
  # ignores a fourth): 3.01.0110 is 3.1.110.
  wixl+=(-D "MsiVersion=$(echo "$version" | sed -E 's/(^|\.)0+([0-9])/\1\2/g')")
  wixl+=(-D "ProductCode=$(guid_from "ZUVezEradez3 $arch $version")")
  (cd "$dir" && at_stamp "${wixl[@]}" -o "$msi" ZUVezEradez3.wxs)
  # wixl writes no file version: each DLL gets its version record's, so that a repair or an
  # upgrade compares versions; a versioned file has no hash.
  for b in "${builds[@]}"; do
    record=$(file_version "$stage/$b/ZUVezEradez3.dll")
    [[ $record =~ ^[0-9.]+\ [0-9]+$ ]] ||
      { echo "dist.sh: no version record in $b/ZUVezEradez3.dll" >&2; return 1; }
    at_stamp msibuild "$msi" -q "UPDATE \`File\` SET \`Version\` = '${record% *}', \`Language\` = '${record#* }' WHERE \`File\` = 'ZUVezEradez3_$b'"
    at_stamp msibuild "$msi" -q "DELETE FROM \`MsiFileHash\` WHERE \`File_\` = 'ZUVezEradez3_$b'"
  done
  # wixl writes a random package code: first a fixed one, then one from the content.
  template=$([ "$arch" = x64 ] && echo "x64;1033" || echo "Intel;1033")
  local summary=("ZUVezEradez3 $version ($arch)" "The ZUVezEradez3 developers" "$template")
  at_stamp msibuild "$msi" -s "${summary[@]}" "{00000000-0000-0000-0000-000000000000}"
  at_stamp msibuild "$msi" -s "${summary[@]}" "$(guid_from "$(sha256sum <"$msi")")"
  if $signing; then sign "$msi"; fi
  rm -rf "$dir"
}

# Windows readers expect CRLF in plain text files.
crlf() { sed 's/\r*$/\r/' "$1" >"$2"; }

rm -rf "$out"
mkdir -p "$stage/x86" "$stage/x64" "$stage/examples"
cp "$build/i686/bin/ZUVezEradez3.dll" "$stage/x86/"
cp "$build/x86_64/bin/ZUVezEradez3.dll" "$stage/x64/"
if $signing; then
  sign "$stage/x86/ZUVezEradez3.dll"
  sign "$stage/x64/ZUVezEradez3.dll"
fi
cp "$root/examples/"* "$stage/examples/"
cp "$root/package/"*.cmd "$stage/"
crlf "$root/README.md" "$stage/README.md"
crlf "$root/LICENSE" "$stage/LICENSE.txt"
crlf "$root/package/doctor.js" "$stage/doctor.js"
for arch in x86 x64; do
  build_msi "$arch"
  cp "$out/$name-$arch.msi" "$stage/"
done
(cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | sort | xargs sha256sum >SHA256SUMS)
settle "$out"
(cd "$out" && find "$name" -type f | sort | zip -q -X -D "$name.zip" -@)
touch -d "@$SOURCE_DATE_EPOCH" "$out/$name.zip"
echo "$out/$name.zip"
