#!/usr/bin/env bash
# The DLL's export table names exactly the six entry points, undecorated.
set -euo pipefail
objdump=$1 dll=$2
actual=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && NF==0{on=0} on{print $NF}' | sort)
expected=$(printf '%s\n' QuivraExtensionEnumerate QuivraExtensionGetMenuStatus QuivraExtensionInit \
  QuivraExtensionInvoke QuivraExtensionTerminate QuivraExtensionVersion | sort)
if [[ "$actual" != "$expected" ]]; then
  echo "export table differs:"; diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "exports: $(echo "$actual" | tr '\n' ' ')"
