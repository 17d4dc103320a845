#!/usr/bin/env bash
# Prints how much of the project's C++ is test code: non-blank, non-comment lines of
# the .cpp and .h files under tests/ against those under src/, bench/ and tests/.
set -euo pipefail
cd "$(dirname "$0")/.."

code_lines() {
    find "$@" \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 cat |
        sed -e 's://.*$::' | awk '
            { line = $0 }
            in_comment { if (sub(/.*\*\//, "", line)) in_comment = 0; else next }
            { while (match(line, /\/\*/)) {
                  rest = substr(line, RSTART + 2)
                  if (match(rest, /\*\//)) line = substr(line, 1, RSTART - 1) substr(rest, RSTART + 2)
                  else { line = substr(line, 1, RSTART - 1); in_comment = 1; break } } }
            line ~ /[^[:space:]]/ { count++ }
            END { print count + 0 }'
}

tests=$(code_lines tests)
code=$(code_lines src bench)
total=$((tests + code))
echo "Test share: $tests test lines of $total C++ lines ($((100 * tests / total)) %)"
