#!/usr/bin/env bash
# Runs every benchmark of BUILD_DIR (built with -DGLYVA_BUILD_BENCH=ON, Release) and
# prints a summary of the ratios. Absolute times on a shared machine are noise; the
# ratios compare cases measured in the same run, repetitions interleaved in random
# order. Results land in BUILD_DIR/bench-results (console text and JSON per program).
#
#   BENCH_REPETITIONS=N   repetitions of every case (default 5)
#   BENCH_CALLGRIND=1     also count instructions under callgrind (about 10 more minutes)
set -euo pipefail

build=${1:?usage: bench/run.sh BUILD_DIR}
bin="$build/bench"
out="$build/bench-results"
mkdir -p "$out"
reps=${BENCH_REPETITIONS:-5}

machine() {
  local cpu
  cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
  echo "$(uname -m), ${cpu:-unknown CPU}, $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
}

run() { # program repetitions
  local name=$1 r=$2
  if [ ! -x "$bin/$name" ]; then
    echo "bench: $bin/$name not built, skipped" >&2
    return
  fi
  echo "=== $name (repetitions $r) ==="
  "$bin/$name" --benchmark_repetitions="$r" --benchmark_enable_random_interleaving=true \
    --benchmark_color=false --benchmark_out="$out/$name.json" --benchmark_out_format=json \
    | tee "$out/$name.txt"
}

start=$(date +%s)
rm -f "$out/callgrind.txt"
echo "machine: $(machine)"
run glyva-bench-font "$reps"
run glyva-bench-growth "$reps"
run glyva-bench-ftgl "$reps"
run glyva-bench-solid "$reps"
if [ -x "$bin/glyva-bench-tool" ]; then
  echo "=== glyva-bench-tool (repetitions $reps) ==="
  "$bin/glyva-bench-tool" --repetitions="$reps" | tee "$out/glyva-bench-tool.txt"
fi

if [ "${BENCH_CALLGRIND:-0}" = 1 ] && command -v valgrind >/dev/null; then
  echo "=== instruction counts (callgrind, one warm pass each) ==="
  : > "$out/callgrind.txt"
  count() { # program case
    local n
    n=$(valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file=/dev/null \
          "$bin/$1" --single="$2" 2>&1 | sed -n 's/.*Collected : //p')
    echo "RESULT callgrind/$2 instructions=$n" | tee -a "$out/callgrind.txt"
  }
  for font in DejaVuSans FreeSans; do
    count glyva-bench-font "mesh/$font/q50/library"
    count glyva-bench-font "mesh/$font/q50/plain"
    count glyva-bench-font "mesh/$font/q50/glu"
    [ -x "$bin/glyva-bench-ftgl" ] && count glyva-bench-ftgl "peer/$font/glyva-q8"
    [ -x "$bin/glyva-bench-ftgl" ] && count glyva-bench-ftgl "peer/$font/ftgl"
  done
  for n in 1000 100000; do
    count glyva-bench-growth "contour/fillContour/$n"
    count glyva-bench-growth "polygon-saw/Tesselator/$n"
    count glyva-bench-growth "polygon-saw/GLU-alone/$n"
  done
fi

# ---- summary: the RESULT lines of this run, ratios only ----
results=$(cat "$out"/glyva-bench-*.txt "$out"/callgrind.txt 2>/dev/null | grep '^RESULT ' || true)
field() { # line key
  sed -n "s/.* $2=\([^ ]*\).*/\1/p" <<<"$1"
}
echo
echo "==================== summary ===================="
echo "machine: $(machine); $(( $(date +%s) - start )) s"
echo "ratios of the fastest of the repetitions (CPU time), medians' ratio in brackets"
echo "whole-font meshing, library / plain load+flatten+GLU (target <= 1.15; <= 0.75 at q8, q50, q100):"
while read -r line; do
  [ -z "$line" ] && continue
  name=$(cut -d' ' -f2 <<<"$line")
  printf '  %-22s lib/plain %s (%s)  lib/load %s  plain/load %s  glyphs/s %s  verts/glyph %s  tris/glyph %s  allocs/glyph %s  arrays identical %s\n' \
    "${name#mesh/}" "$(field "$line" library_over_plain)" "$(field "$line" library_over_plain_median)" \
    "$(field "$line" library_over_load)" \
    "$(field "$line" plain_over_load)" "$(field "$line" glyphs_per_s)" \
    "$(field "$line" vertices_per_glyph)" "$(field "$line" triangles_per_glyph)" \
    "$(field "$line" allocs_per_glyph)" "$(field "$line" identical_to_plain)"
done < <(grep '^RESULT mesh/' <<<"$results" || true)
echo "whole-font meshing, library / GLU alone on the same flattened contours (target <= 1.10):"
while read -r line; do
  [ -z "$line" ] && continue
  printf '  %-22s lib/glu %s (%s)  corners the same %s\n' "$(cut -d' ' -f2 <<<"$line" | sed 's|glu/||')" \
    "$(field "$line" library_over_glu)" "$(field "$line" library_over_glu_median)" \
    "$(field "$line" same_corners)"
done < <(grep '^RESULT glu/' <<<"$results" || true)
echo "the same in step, slice by slice: median of the rounds' ratios (lowest, highest), meshed"
echo "again and meshed first on a handle (target <= 1.10):"
while read -r line; do
  [ -z "$line" ] && continue
  printf '  %-22s again %s (%s, %s)  first %s (%s, %s)  rounds %s\n' \
    "$(cut -d' ' -f2 <<<"$line" | sed 's|paired/||')" \
    "$(field "$line" library_over_glu_median)" "$(field "$line" lowest)" \
    "$(field "$line" highest)" "$(field "$line" first_median)" "$(field "$line" first_lowest)" \
    "$(field "$line" first_highest)" "$(field "$line" rounds)"
done < <(grep '^RESULT paired/' <<<"$results" || true)
echo "contour queries, GetGlyphContour per contour / one flattening per contour:"
while read -r line; do
  [ -z "$line" ] && continue
  printf '  %-22s %s  (%s ns per contour)\n' "$(cut -d' ' -f2 <<<"$line" | sed 's|contours/||')" \
    "$(field "$line" query_over_floor)" "$(field "$line" query_ns_per_contour)"
done < <(grep '^RESULT contours/' <<<"$results" || true)
echo "cost growth, time per element largest / smallest case (target <= 2):"
while read -r line; do
  [ -z "$line" ] && continue
  printf '  %-22s %s  %s\n' "$(cut -d' ' -f2 <<<"$line" | sed 's|growth/||')" \
    "$(field "$line" largest_over_smallest)" "$(field "$line" flat_within_2)"
done < <(grep '^RESULT growth/' <<<"$results" || true)
echo "memory, peak heap of an open font meshed glyph by glyph / (file + 64 B per glyph + largest mesh):"
while read -r line; do
  [ -z "$line" ] && continue
  printf '  %-22s peak/target %s  open/target %s  peak/file %s  largest glyph transient %s B (%s)\n' \
    "$(cut -d' ' -f2 <<<"$line" | sed 's|memory/||')" "$(field "$line" peak_over_target)" \
    "$(field "$line" open_over_target)" "$(field "$line" peak_over_file)" \
    "$(field "$line" largest_glyph_transient_bytes)" "$(field "$line" its_char)"
done < <(grep '^RESULT memory/' <<<"$results" || true)
echo "FTGL peer at equal density, our throughput / FTGL's (target >= 1.3):"
while read -r line; do
  [ -z "$line" ] && continue
  printf '  %-22s %s (%s)  vertices ours/FTGL %s  triangles ours/FTGL %s  FTGL area off by >1%%: %s glyphs, ours nearer FreeType raster for %s\n' \
    "$(cut -d' ' -f2 <<<"$line" | sed 's|peer/||')" "$(field "$line" ours_over_ftgl_throughput)" \
    "$(field "$line" ours_over_ftgl_throughput_median)" \
    "$(field "$line" distinct_vertices_ours_over_ftgl)" "$(field "$line" triangles_ours_over_ftgl)" \
    "$(field "$line" area_differs_glyphs)" "$(field "$line" ours_nearer_raster)"
done < <(grep '^RESULT peer/' <<<"$results" || true)
echo "glyva-mesh on bench/texts/long-latin.txt (10,000 characters), per output; 10k/100 is the"
echo "median time over the median time for its first 100 characters (target <= 5), and the"
echo "same for processor time (user + system):"
while read -r line; do
  [ -z "$line" ] && continue
  printf '  %-10s %s s (spread %s s)  peak %s MB  file %s MB  10k/100 %s  cpu %s\n' \
    "$(cut -d' ' -f2 <<<"$line" | sed 's|tool/||')" "$(field "$line" seconds)" \
    "$(field "$line" spread)" "$(field "$line" peak_mb)" "$(field "$line" file_mb)" \
    "$(field "$line" long_over_short)" "$(field "$line" cpu_long_over_short)"
done < <(grep '^RESULT tool/' <<<"$results" || true)
if grep -q '^RESULT callgrind/' <<<"$results"; then
  echo "instruction counts (callgrind):"
  grep '^RESULT callgrind/' <<<"$results" | sed 's/^RESULT callgrind\//  /'
  ir() { grep "^RESULT callgrind/$1 " <<<"$results" | sed -n 's/.*instructions=\([0-9,]*\).*/\1/p' | tr -d ,; }
  ratio() { [ -n "$1" ] && [ -n "$2" ] && awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
  for font in DejaVuSans FreeSans; do
    echo "  $font: q50 library/plain $(ratio "$(ir "mesh/$font/q50/library")" "$(ir "mesh/$font/q50/plain")")," \
         "library/glu $(ratio "$(ir "mesh/$font/q50/library")" "$(ir "mesh/$font/q50/glu")")," \
         "FTGL/ours (q8) $(ratio "$(ir "peer/$font/ftgl")" "$(ir "peer/$font/glyva-q8")")"
  done
fi
