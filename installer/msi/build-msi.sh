#!/bin/sh
# Builds veltrane.msi with Debian's wixl (package wixl, of msitools):
#   installer/msi/build-msi.sh OUT.msi VERSION DIR64 DIR32 [PACKAGE_DIR [PACKAGE_SIGNED]]
# DIR64 and DIR32 hold veltrane.dll, veltrane.chm, pencil.avi and veltrane.exe of each
# bitness; PACKAGE_DIR veltrane.msix and Assets/. wixl wants sources relative to where it
# runs, so everything is staged first. Class identifiers come from cmake/ClassIds.cmake.
set -eu
out=$1 version=$2 dir64=$3 dir32=$4 package=${5:-} package_signed=${6:-0}
here=$(cd "$(dirname "$0")" && pwd)
case $out in /*) ;; *) out="$(pwd)/$out" ;; esac
command -v wixl >/dev/null || { echo "build-msi.sh: wixl is missing (apt-get install wixl)" >&2; exit 1; }
ids="$here/../../cmake/ClassIds.cmake"
clsid=$(sed -n 's/.*VELTRANE_CLSID_ShellExt[^{]*\({[0-9A-Fa-f-]*}\).*/\1/p' "$ids" | head -n 1)
command_clsid=$(sed -n 's/.*VELTRANE_CLSID_ExplorerCommand[^{]*\({[0-9A-Fa-f-]*}\).*/\1/p' "$ids" | head -n 1)
[ -n "$clsid" ] && [ -n "$command_clsid" ] || { echo "build-msi.sh: no class identifiers in $ids" >&2; exit 1; }

stage=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-msi.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/x64" "$stage/x86"
for name in veltrane.dll veltrane.chm pencil.avi veltrane.exe; do
    cp "$dir64/$name" "$stage/x64/"
    cp "$dir32/$name" "$stage/x86/"
done
package_arg=""
if [ -n "$package" ]; then
    mkdir -p "$stage/package/Assets"
    cp "$package/veltrane.msix" "$stage/package/"
    cp "$package"/Assets/*.png "$stage/package/Assets/"
    package_arg="--package-dir package"
    [ "$package_signed" = 1 ] && package_arg="$package_arg --package-signed"
fi
cd "$stage"
# shellcheck disable=SC2086
python3 "$here/make_wxs.py" veltrane.wxs --version "$version" --clsid "$clsid" \
    --command-clsid "$command_clsid" --dir64 x64 --dir32 x86 $package_arg
# wixl reports table errors on standard error and may still exit 0 without a file.
rm -f "$out"
wixl -a x64 -o "$out" veltrane.wxs 2>"$stage/wixl.log" || { cat "$stage/wixl.log" >&2; exit 1; }
[ -s "$out" ] || { cat "$stage/wixl.log" >&2; echo "build-msi.sh: wixl wrote no $out" >&2; exit 1; }
echo "built $out"
