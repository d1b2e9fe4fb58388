#!/usr/bin/env bash
# Installs the RasDial.exe stand-in where Windows keeps the real tool, in the project's Wine
# prefix: a 64-bit build into windows\system32, a 32-bit build into windows\syswow64 (which a
# 32-bit process reaches as its system32). Both builds share the prefix, each its own folder.
#   install-rasdial.sh PREFIX 32|64 RasDial.exe
set -euo pipefail
prefix=$1 bits=$2 program=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
case $bits in
  32) folder=syswow64 ;;
  64) folder=system32 ;;
  *) echo "install-rasdial.sh: bitness must be 32 or 64, not '$bits'" >&2; exit 2 ;;
esac
"$here/wine-prefix.sh" "$prefix"
target=$prefix/drive_c/windows/$folder/RasDial.exe
cmp -s "$program" "$target" && exit 0
# A rename replaces the file in one step, so a run that has the old one open keeps it whole.
staged=$(mktemp "$target.XXXXXX")
cp "$program" "$staged"
chmod 755 "$staged"
mv -f "$staged" "$target"
echo "installed $target"
