#!/usr/bin/env bash
# Builds the release package: dist.sh BUILD_DIR -> BUILD_DIR/dist/ZUVezEradez3-<version>.zip
# holding both builds, the README, the LICENSE, the examples and the install scripts.
set -euo pipefail
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
version=3.01.0110
name=ZUVezEradez3-$version
stage=$build/dist/$name
rm -rf "$stage" "$build/dist/$name.zip"
mkdir -p "$stage/x86" "$stage/x64" "$stage/examples"
cp "$build/i686/bin/ZUVezEradez3.dll" "$stage/x86/"
cp "$build/x86_64/bin/ZUVezEradez3.dll" "$stage/x64/"
cp "$root/examples/"* "$stage/examples/"
cp "$root/package/"*.cmd "$stage/"
# Windows readers expect CRLF in plain text files.
sed 's/$/\r/' "$root/README.md" > "$stage/README.md"
sed 's/$/\r/' "$root/LICENSE" > "$stage/LICENSE.txt"
(cd "$build/dist" && zip -qr "$name.zip" "$name")
echo "$build/dist/$name.zip"
