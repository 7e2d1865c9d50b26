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
# Installed system-wide, the program's folder cannot be written: the settings go to the user's
# configuration folder. Root writes anywhere, so there the folder is made read-only by a
# read-only mount in a private mount namespace; another user gets a read-only folder.
config=$(mktemp -d)
runtime=$(mktemp -d)
chmod 700 "$runtime"
# Its home and cache folders too, so the run touches none of the user's.
home=$(mktemp -d)
trap 'rm -rf "$prefix" "$config" "$runtime" "$home"' EXIT
run_installed='timeout 5 env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$1" XDG_RUNTIME_DIR="$2" HOME="$4" XDG_CACHE_HOME="$4/.cache" "$3/bin/querndal" >/dev/null 2>&1; true'
if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null \
    && unshare -m true 2>/dev/null; then
    unshare -m bash -c 'mount --bind "$3/bin" "$3/bin" && mount -o remount,ro,bind "$3/bin" && '"$run_installed" \
        _ "$config" "$runtime" "$prefix" "$home"
else
    chmod a-w "$prefix/bin"
    bash -c "$run_installed" _ "$config" "$runtime" "$prefix" "$home"
    chmod u+w "$prefix/bin"
fi
if [ ! -s "$config/querndal/QUERNDAL.INI" ] || [ -e "$prefix/bin/QUERNDAL.INI" ]; then
    echo "a read-only install did not keep its settings in \$XDG_CONFIG_HOME/querndal"
    status=1
fi

if ! command -v desktop-file-validate >/dev/null; then
    echo "desktop-file-validate is missing (Debian package desktop-file-utils; scripts/setup.sh installs it)"
    exit 77
fi
desktop-file-validate "$desktop" || status=1
# The prefix's MIME cache names the program for JPEG, so file managers offer it at once.
if command -v update-desktop-database >/dev/null; then
    grep -q '^image/jpeg=.*querndal.desktop' "$prefix/share/applications/mimeinfo.cache" 2>/dev/null \
        || { echo "the prefix's MIME cache does not offer querndal for image/jpeg"; status=1; }
fi
[ $status -eq 0 ] && echo "install layout complete in a temporary prefix"
exit $status
