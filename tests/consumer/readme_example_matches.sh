#!/bin/sh
# A README usage example must be a consumer's source, byte for byte, so that the code a reader
# copies is code that compiles and runs. Arguments: README, consumer source, the section's title.
set -eu
readme=$1 source=$2 section=$3
example=$(mktemp)
trap 'rm -f "$example"' EXIT
# The first C++ block of the section.
awk -v title="## $section" '/^## / { in_section = ($0 == title) }
     in_section && /^```cpp$/ && !done { in_code = 1; next }
     in_code && /^```$/ { in_code = 0; done = 1 }
     in_code' "$readme" >"$example"
if [ ! -s "$example" ]; then
    echo "$readme has no \`\`\`cpp block under \"## $section\"" >&2
    exit 1
fi
diff -u "$source" "$example"
