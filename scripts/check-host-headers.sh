#!/usr/bin/env bash
# Only src/platform may include host headers. Elsewhere in the library an #include <...>
# must name a C++ standard header (no ".h", no directory), one of the library's own <zo/...>,
# or a compiler's vector-intrinsics header (part of the compiler, not of the host).
set -euo pipefail
cd "$(dirname "$0")/.."
violations=$(grep -rnE '^\s*#\s*include\s*<[^>]*(\.h|/)[^>]*>' src include \
  --include='*.h' --include='*.cpp' --include='*.hpp' \
  | grep -v '^src/platform/' | grep -vE '#\s*include\s*<(zo/|[a-z]*mmintrin\.h>|x86intrin\.h>)' || true)
if [[ -n "$violations" ]]; then
  echo "host headers included outside src/platform:" >&2
  echo "$violations" >&2
  exit 1
fi
echo "host-header check: only src/platform includes host headers"
