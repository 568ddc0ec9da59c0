#!/bin/sh
# Fails when a C++ file of the project differs from .clang-format (clang-format 14, as
# Debian 12 has it). Fix with: clang-format -i $(git ls-files '*.cpp' '*.h')
cd "$(dirname "$0")/.."
bad=0
for f in $(git ls-files '*.cpp' '*.h'); do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
        echo "format: $f differs from .clang-format"
        bad=1
    fi
done
exit "$bad"
