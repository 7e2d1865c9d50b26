#!/usr/bin/env bash
# Installs the build in $1 into a temporary prefix and checks the layout: the program and its
# help viewer, the help file where the program looks for it, a valid desktop entry and the icon.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
for file in bin/querndal bin/querndal-help share/querndal/QUERNDAL.hlp \
    share/applications/querndal.desktop share/icons/hicolor/scalable/apps/querndal.svg \
    share/icons/hicolor/48x48/apps/querndal.png share/icons/hicolor/256x256/apps/querndal.png; do
    if [ ! -s "$prefix/$file" ]; then
        echo "missing: $file"
        status=1
    fi
done
for program in bin/querndal bin/querndal-help; do
    [ -x "$prefix/$program" ] || { echo "not executable: $program"; status=1; }
done
desktop=$prefix/share/applications/querndal.desktop
grep -qx 'Exec=querndal %f' "$desktop" || { echo "Exec is not 'querndal %f'"; status=1; }
for type in image/bmp image/gif image/jpeg image/wmf image/x-wmf application/x-msmetafile; do
    grep -q "^MimeType=.*$type;" "$desktop" || { echo "MimeType lacks $type"; status=1; }
done
if ! command -v desktop-file-validate >/dev/null; then
    echo "desktop-file-validate is missing (Debian package desktop-file-utils; scripts/setup.sh installs it)"
    exit 77
fi
desktop-file-validate "$desktop" || status=1
[ $status -eq 0 ] && echo "install layout complete in a temporary prefix"
exit $status
