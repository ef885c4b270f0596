#!/usr/bin/env bash
# Every C++ file of the tree as .clang-format has it; skipped (77) where
# clang-format or the git checkout is missing. Mend with:
#   git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -uo pipefail
cd "$(dirname "$0")/../.."
command -v clang-format >/dev/null || { echo "skipped: clang-format is not installed"; exit 77; }
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null) || { echo "skipped: not a git checkout"; exit 77; }
if ! clang-format --dry-run --Werror $files; then
    echo "these files differ from .clang-format: run clang-format -i on them"
    exit 1
fi
echo "$(echo "$files" | wc -l) files as .clang-format has them"
