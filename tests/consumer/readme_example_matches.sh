#!/bin/sh
# The README's usage example must be the consumer's source, byte for byte, so that the code a
# reader copies is code that compiles and runs. Arguments: README, consumer source.
set -eu
readme=$1 source=$2
example=$(mktemp)
trap 'rm -f "$example"' EXIT
# The first C++ block of the "Using the module" section.
awk '/^## /     { in_section = ($0 == "## Using the module") }
     in_section && /^```cpp$/ && !done { in_code = 1; next }
     in_code && /^```$/ { in_code = 0; done = 1 }
     in_code' "$readme" >"$example"
if [ ! -s "$example" ]; then
    echo "$readme has no \`\`\`cpp block under \"## Using the module\"" >&2
    exit 1
fi
diff -u "$source" "$example"
