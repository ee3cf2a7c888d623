#!/usr/bin/env bash
# Fails, listing the files, when a tracked C or C++ file differs from .clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -d .git ] && ! git rev-parse --git-dir >/dev/null 2>&1; then
  echo "not a git checkout: nothing to check"; exit 0
fi
mapfile -t files < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hh')
bad=()
for f in "${files[@]}"; do
  [ -f "$f" ] || continue
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "differ from .clang-format (run: clang-format -i FILE):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "${#files[@]} files match .clang-format"
