#!/usr/bin/env bash
# Test lines against code lines: non-blank lines that are not // comments, of the C, C++
# and Python files in tests/, against those of the C and C++ files everywhere else but
# tests/, bench/ and fuzz/. Tracked files only.
set -euo pipefail
cd "$(dirname "$0")/.."
count() { [ $# -eq 0 ] && { echo 0; return; }; grep -hv -e '^[[:space:]]*$' -e '^[[:space:]]*//' "$@" | wc -l; }
mapfile -t tests < <(git ls-files 'tests/*.c' 'tests/*.cc' 'tests/*.cpp' 'tests/*.h' 'tests/*.hh' 'tests/*.py')
mapfile -t code < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hh' | grep -v -e '^tests/' -e '^bench/' -e '^fuzz/')
t=$(count "${tests[@]}")
c=$(count "${code[@]}")
awk -v t="$t" -v c="$c" 'BEGIN { printf "tests %d, code %d, ratio %.2f\n", t, c, t / c }'
