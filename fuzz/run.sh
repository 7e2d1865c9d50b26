#!/usr/bin/env bash
# Builds the fuzz targets with clang into <build folder> and runs each for <seconds> (default
# 60) over seeds from the picture corpus. Exit 0: no finding; 1: a crash, leak or hang (the input
# is kept under <build folder>/artifacts); 77: clang or libFuzzer is not available.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh <build folder> [seconds]}
seconds=${2:-60}
corpus=${VIEWER_CORPUS_DIR:-$here/../../shared/corpus}

compiler=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$compiler" ]; then
    echo "clang++ not found: fuzz targets skipped"
    exit 77
fi
# libFuzzer ships in a separate package on Debian; without it the link fails, which is a
# missing tool and not a finding.
probe=$(mktemp -d)
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' \
    > "$probe/probe.cpp"
if ! "$compiler" -fsanitize=fuzzer,address,undefined "$probe/probe.cpp" -o "$probe/probe" 2>/dev/null; then
    rm -rf "$probe"
    echo "libFuzzer not available for $compiler: fuzz targets skipped"
    exit 77
fi
rm -rf "$probe"

# The targets run with a home, configuration, cache and runtime folder of their own, so nothing
# Qt writes reaches the user's. The build keeps the real home and cache folders (the compiler
# cache may live there) but not the runtime folder, where the compiler cache puts its
# temporary files.
private=$(mktemp -d)
trap 'rm -rf "$private"' EXIT
mkdir -m 700 "$private/home" "$private/config" "$private/cache" "$private/runtime"
export XDG_RUNTIME_DIR=$private/runtime

generator=()
if command -v ninja > /dev/null; then
    generator=(-G Ninja)
fi
# The targets are rebuilt for every fresh build folder; the compiler cache makes that quick.
launcher=()
if command -v ccache > /dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$here" -B "$build" "${generator[@]}" "${launcher[@]}" -DCMAKE_CXX_COMPILER="$compiler" \
    -DVIEWER_CORPUS_DIR="$corpus" > "$build.configure.log" 2>&1 \
    || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" || exit 1

mkdir -p "$build/artifacts" "$build/seeds/picture" "$build/seeds/settings"
# Seeds: every small picture of the corpus (big ones only slow the fuzzer down) and two records.
find "$corpus" -type f \( -iname '*.bmp' -o -iname '*.gif' -o -iname '*.jpg' -o -iname '*.jpeg' \
    -o -iname '*.wmf' -o -iname '*.png' -o -iname '*.webp' -o -iname '*.tif' -o -iname '*.tiff' \) \
    -size -64k -exec cp -n {} "$build/seeds/picture/" \;
# The corpus holds no WebP or TIFF of its own: small ones are made, a few kinds of each.
if command -v convert > /dev/null; then
    for variant in webp:-quality:80 webp:-define:webp:lossless=true tiff:-compress:lzw \
        tiff:-compress:none tiff:-compress:zip; do
        IFS=: read -r format option value <<< "$variant"
        convert -size 23x17 gradient:red-blue "$option" "$value" \
            "$build/seeds/picture/made-${value//[^a-z0-9]/}.$format" 2>/dev/null || true
    done
fi
# Every input a fuzzer once found is run again first, under the sanitizers.
cp -n "$here"/../tests/pictures/data/* "$build/seeds/picture/" 2>/dev/null || true
printf '3,3,1,"/home/user/pictures",0\r\n' > "$build/seeds/settings/plain"
printf '2.5,7,0,"a, ""b""\nc",1\r\n' > "$build/seeds/settings/quoted"

export LSAN_OPTIONS=suppressions=$here/lsan.supp
status=0
for target in picture settings; do
    echo "== fuzz_$target for ${seconds}s"
    # FUZZ_SEED makes a run repeat the same inputs (CTest sets it, so a check is reproducible).
    HOME=$private/home XDG_CONFIG_HOME=$private/config XDG_CACHE_HOME=$private/cache \
        XDG_RUNTIME_DIR=$private/runtime \
        "$build/fuzz_$target" ${FUZZ_SEED:+-seed=$FUZZ_SEED} -max_total_time="$seconds" -max_len=32768 -timeout=25 \
        -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$build/seeds/$target" 2>&1 | grep -vE '^(QStandardPaths|#[0-9]+.*(NEW|REDUCE|pulse))'
    if [ "${PIPESTATUS[0]}" -ne 0 ]; then
        echo "fuzz_$target found a problem; input kept in $build/artifacts"
        status=1
    fi
done
exit $status
