#!/usr/bin/env bash
# Only src/platform may include host headers. Elsewhere in the library an #include <...>
# must name a C++ standard header (no ".h", no directory) or one of the library's own <zo/...>.
set -euo pipefail
cd "$(dirname "$0")/.."
violations=$(grep -rnE '^\s*#\s*include\s*<[^>]*(\.h|/)[^>]*>' src include \
  --include='*.h' --include='*.cpp' --include='*.hpp' \
  | grep -v '^src/platform/' | grep -vE '#\s*include\s*<zo/' || true)
if [[ -n "$violations" ]]; then
  echo "host headers included outside src/platform:" >&2
  echo "$violations" >&2
  exit 1
fi
echo "host-header check: only src/platform includes host headers"
