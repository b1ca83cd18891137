#!/bin/bash
# Builds the release target and packs what a site technician takes to a station:
# dist/QVNOptimizeDB-<version>-<preset>.zip with the operator's program, the Windows
# console program, the operator's guide (Russian), the install note (English) and
# SHA256SUMS, and beside the zip its own checksum (<zip>.sha256), which is what a
# technician checks the download against: a list inside the zip cannot vouch for
# the zip. The version comes from the build tree's version.txt (the project's
# version record). Nothing of the tests goes in: not the fbUtils.dll stand-in, not
# the fbclient bridge, not the client test double.
#
#   scripts/release.sh [PRESET [DIST_DIR]]    PRESET win32 (default) or win64
#   QVN_RELEASE_NO_BUILD=1                    pack what the build tree holds already
#   QVN_RELEASE_BUILD_DIR=DIR                 the build tree (default build/PRESET)
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-win32}
dist=${2:-$PWD/dist}
build=${QVN_RELEASE_BUILD_DIR:-$PWD/build/$preset}
case $preset in
    win32) prefix=i686-w64-mingw32 ;;
    win64) prefix=x86_64-w64-mingw32 ;;
    *) echo "release: no Windows preset $preset" >&2; exit 2 ;;
esac

if [ "${QVN_RELEASE_NO_BUILD:-0}" != 1 ]; then
    ./scripts/setup.sh
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target QVNOptimizeDB qvnoptimize
fi
version=$(tr -d '[:space:]' <"$build/version.txt")
[ -n "$version" ] || { echo "release: no version in $build/version.txt" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# The programs without their debugging information.
for program in QVNOptimizeDB.exe qvnoptimize.exe; do
    "$prefix-strip" -o "$stage/$program" "$build/bin/$program"
done
# Texts for Windows Notepad: UTF-8 with a byte order mark, CR LF line ends.
for text in OPERATOR-RU.txt INSTALL.txt; do
    { printf '\357\273\277'; sed 's/$/\r/' "docs/release/$text"; } >"$stage/$text"
done
(cd "$stage" && sha256sum QVNOptimizeDB.exe qvnoptimize.exe OPERATOR-RU.txt INSTALL.txt >SHA256SUMS)

mkdir -p "$dist"
zip_path=$dist/QVNOptimizeDB-$version-$preset.zip
rm -f "$zip_path"
(cd "$stage" && zip -q -X "$zip_path" QVNOptimizeDB.exe qvnoptimize.exe OPERATOR-RU.txt INSTALL.txt SHA256SUMS)
(cd "$dist" && sha256sum "$(basename "$zip_path")" >"$zip_path.sha256")
echo "$zip_path"
