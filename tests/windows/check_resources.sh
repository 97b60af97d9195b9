#!/usr/bin/env bash
# The DLL's compiled resources match the shared definitions: every string of
# the table with its exact text, and dialog 102 with its caption, font, size
# and controls.
set -euo pipefail
windres=$1 cpp=$2 dll=$3 defs=$4
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT

"$windres" -i "$dll" -J coff -O rc > "$work/decompiled.rc"

# Strings as "id<TAB>text", quotes written as a plain quotation mark, \n kept as written.
"$cpp" -P -I"$defs" -include "$defs/resource_ids.h" -D'OSTINEL_STRING(id,text)=@@id@@text' \
  "$defs/strings.def" | sed -n 's/^@@\([0-9]*\)@@"\(.*\)"$/\1\t\2/p' | sed 's/\\042/"/g' | sort -n > "$work/expected"
awk '/^STRINGTABLE/{on=1; next} on && /^END/{on=0} on && /^  [0-9]+, "/' "$work/decompiled.rc" |
  sed 's/^  \([0-9]*\), "\(.*\)"$/\1\t\2/' | sed 's/""/"/g' | sort -n > "$work/actual"
if ! diff -u "$work/expected" "$work/actual"; then echo "string table differs"; exit 1; fi
echo "strings: $(wc -l < "$work/expected") entries match"

dialog=$(awk '/^102 DIALOGEX/{on=1} on{print} on && /^END/{on=0}' "$work/decompiled.rc")
grep -q '^102 DIALOGEX 0, 0, 330, 291$' <<<"$dialog" || { echo "dialog 102 missing or wrong size"; exit 1; }
grep -q '^CAPTION "Ostinel"$' <<<"$dialog" || { echo "dialog 102 caption"; exit 1; }
grep -q '^FONT 8, "MS Sans Serif"' <<<"$dialog" || { echo "dialog 102 font"; exit 1; }
controls=$(grep -c '^  CONTROL ' <<<"$dialog")
[[ $controls -eq 43 ]] || { echo "dialog 102 has $controls controls, expected 43"; exit 1; }
"$cpp" -P -I"$defs" -include "$defs/resource_ids.h" -D'OSTINEL_DIALOG(...)=' \
  -D'OSTINEL_CONTROL(id,cls,text,...)=@@id@@text' -DIDC_STATIC=-1 "$defs/dialog102.def" |
  sed -n 's/^@@\(-\{0,1\}[0-9]*\)@@\(".*"\)$/\2, \1/p' > "$work/controls-expected"
grep '^  CONTROL ' <<<"$dialog" | sed 's/^  CONTROL \(".*"\), \(-\{0,1\}[0-9]*\), .*/\1, \2/' > "$work/controls-actual"
if ! diff -u "$work/controls-expected" "$work/controls-actual"; then echo "dialog 102 controls differ"; exit 1; fi
echo "dialog 102: 330 x 291, \"MS Sans Serif\" 8, $controls controls match"
