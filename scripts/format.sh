#!/usr/bin/env bash
# Formats every C++ source of the repository with the repository's
# .clang-format: scripts/format.sh formats in place; scripts/format.sh --check
# changes nothing, lists the files that are not formatted and exits non-zero
# when there is any.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages clang-format git

mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.h' '*.cpp' |
  grep -v '^render/fonts/')
if [ "${1:-}" = "--check" ]; then
  bad=()
  for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
  done
  if [ ${#bad[@]} -gt 0 ]; then
    printf 'not formatted: %s\n' "${bad[@]}"
    echo "format: ${#bad[@]} file(s) not formatted; run scripts/format.sh"
    exit 1
  fi
  echo "format: ${#files[@]} files formatted"
else
  clang-format -i "${files[@]}"
fi
