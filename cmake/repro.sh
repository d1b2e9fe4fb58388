#!/usr/bin/env bash
# Checks that the release is reproducible: repro.sh BUILD_DIR exports the tree (its tracked
# files as they are now, without .git) to two folders, builds the modules and the release in
# each, one after the other, and compares the results byte for byte.
set -euo pipefail
# The unsigned release is the one that reproduces: signing keys stay out of it.
unset SIGN_PFX SIGN_PASSWORD_FILE SIGN_TIMESTAMP_URL
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mkdir -p "$1"
work=$(cd "$1" && pwd)/repro
jobs=${JOBS:-$(nproc)}
if ! git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
  echo "repro.sh: skipped: the tree is not a git checkout to export from"
  exit 0
fi
# A commit of the working tree's tracked changes, made without touching the tree or the index.
rev=$(git -C "$root" stash create)
rev=${rev:-HEAD}

# build_release DIR: exports the tree to DIR and prints the path of the zip built there.
build_release() {
  local tree=$1
  mkdir -p "$tree"
  git -C "$root" archive "$rev" | tar -x -C "$tree"
  for arch in i686 x86_64; do
    cmake -S "$tree" -B "$tree/build/$arch" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$tree/cmake/toolchain-$arch.cmake" >/dev/null
    cmake --build "$tree/build/$arch" -j "$jobs" --target ZUVezEradez3 zu_registry_wxs >/dev/null
  done
  "$tree/cmake/dist.sh" "$tree/build"
}

rm -rf "$work"
first=$(build_release "$work/a")
second=$(build_release "$work/second-export")
status=0
for suffix in .zip -x86.msi -x64.msi; do
  one=${first%.zip}$suffix two=${second%.zip}$suffix
  if cmp -s "$one" "$two"; then
    echo "same: $(basename "$one") $(sha256sum <"$one" | cut -d' ' -f1)"
  else
    echo "DIFFERENT: $(basename "$one")"
    status=1
  fi
done
[ $status -eq 0 ] || diff <(unzip -p "$first" '*/SHA256SUMS') <(unzip -p "$second" '*/SHA256SUMS')
# The exports' Wine servers save their registries when they stop: let them, then clean up.
for prefix in "$work"/*/build/wineprefix*/; do WINEPREFIX=$prefix wineserver -w || true; done
[ $status -eq 0 ] && rm -rf "$work"
exit $status
