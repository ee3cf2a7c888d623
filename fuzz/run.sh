#!/bin/sh
# Runs every fuzz target of a fuzz build for a bounded time and fails on any crash,
# leak or timeout.
#
#   fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
#
# Each target works on a fresh copy of its committed corpus and regression inputs in
# fuzz/corpus-work/<target>/ (not tracked), so the committed corpus never grows;
# a failing input is left there under artifacts/. The font target also starts from
# small subsets of installed fonts when fontTools is at hand.
set -u

if [ $# -lt 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS [TARGET...]" >&2
    exit 2
fi
build=$1
seconds=$2
shift 2
targets=${*:-fuzz_font fuzz_outline fuzz_tesselator fuzz_strings fuzz_readers fuzz_shape fuzz_layout fuzz_solid}
here=$(cd "$(dirname "$0")" && pwd)
work=$here/corpus-work

# A few glyphs of real TrueType and CFF fonts: realistic tables at a size the
# fuzzer can mutate quickly.
add_font_subsets() {
    dest=$1
    command -v /usr/bin/python3 >/dev/null 2>&1 || return 0
    /usr/bin/python3 -c 'import fontTools.subset' 2>/dev/null || return 0
    for font in /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf \
                /usr/share/fonts/opentype/freefont/FreeSans.otf \
                /usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf; do
        [ -f "$font" ] || continue
        /usr/bin/python3 -m fontTools.subset "$font" --text='AVTaeo@&%8Q' \
            --layout-features='kern' --no-hinting --drop-tables+=DSIG \
            --output-file="$dest/subset-$(basename "$font")" 2>/dev/null || true
    done
}

status=0
summary=""
for target in $targets; do
    binary=$build/fuzz/$target
    if [ ! -x "$binary" ]; then
        status=1
        summary="$summary
$target: FAILED, not built in $build"
        continue
    fi
    dir=$work/$target
    rm -rf "$dir"
    mkdir -p "$dir/corpus" "$dir/artifacts"
    for seeds in "$here/corpus/$target" "$here/regressions/$target"; do
        [ -d "$seeds" ] && cp "$seeds"/* "$dir/corpus/" 2>/dev/null
    done
    [ "$target" = fuzz_font ] && add_font_subsets "$dir/corpus"
    dict=""
    [ -f "$here/${target#fuzz_}.dict" ] && dict="-dict=$here/${target#fuzz_}.dict"

    # Glyphs and polygons large enough to be slow: an input slower than this is a finding.
    # Glyphs and polygons large enough to be slow: an input over the time limit fails
    # the run, and one over a second is reported as a slow unit in the summary. The
    # polygon target reads up to 600 vertices, 13 bytes each in their raw form.
    timeout=60
    limits=""
    case $target in
    fuzz_font) limits="-max_len=8192" ;; # the hostile regression fonts start cut to it
    fuzz_outline) limits="-report_slow_units=1" ;;
    fuzz_tesselator) timeout=20 limits="-report_slow_units=1 -max_len=8192" ;;
    esac

    echo "== $target: $seconds s"
    # The library's arrays grow by exact-fit steps, one reallocation per element; with
    # ASan's default 256 MB quarantine of freed blocks that dominates the run time, so
    # a smaller one is kept (a use after free is still caught while the block is held).
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:halt_on_error=1:quarantine_size_mb=16} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1} \
        "$binary" -max_total_time="$seconds" -timeout=$timeout $limits -rss_limit_mb=2560 \
        -print_final_stats=1 -artifact_prefix="$dir/artifacts/" $dict "$dir/corpus" \
        >"$dir/log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log" | tail -n 1)
    if [ $rc -ne 0 ]; then
        status=1
        tail -n 60 "$dir/log"
        summary="$summary
$target: FAILED (exit $rc) after ${runs:-?} executions; input in $dir/artifacts/"
    else
        slow=$(grep -c '^Slowest unit' "$dir/log")
        summary="$summary
$target: ${runs:-?} executions, corpus $(ls "$dir/corpus" | wc -l) inputs, $slow slow units"
    fi
done

echo "== fuzzing for $seconds s per target:$summary"
exit $status
