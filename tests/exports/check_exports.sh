#!/usr/bin/env bash
# Compares each library's exported functions (its dynamic symbol table) with the expected list.
# Usage: check_exports.sh LIB LIST [LIB LIST ...]
set -u
status=0
while [ $# -ge 2 ]; do
  lib=$1 list=$2
  shift 2
  actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TtWwiV]$/ {print $3}' | sed 's/@.*//' | sort -u)
  if ! diff <(sort -u "$list") <(echo "$actual") >/tmp/exports.$$; then
    echo "exports of $(basename "$lib") differ from $(basename "$list") (< expected, > actual):"
    cat /tmp/exports.$$
    status=1
  else
    echo "$(basename "$lib"): $(echo "$actual" | wc -l) exported functions, as expected"
  fi
  rm -f /tmp/exports.$$
done
exit $status
