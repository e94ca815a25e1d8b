#!/usr/bin/env bash
# The sources conform to .clang-format: lists every file that clang-format would change.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
unformatted=()
while IFS= read -r file; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || unformatted+=("$file")
done < <(git ls-files '*.cpp' '*.h')
if [[ ${#unformatted[@]} -gt 0 ]]; then
  echo "not formatted as .clang-format says (run clang-format -i on them):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "format check: every source conforms to .clang-format"
