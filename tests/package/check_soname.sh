#!/usr/bin/env bash
# Checks that each shared library is versioned, carries SONAME lib<name>.so.<major> and that the
# program linked against them records that name.
# Usage: check_soname.sh MAJOR PROGRAM LIB...
set -u
major=$1 program=$2
shift 2
status=0
for lib in "$@"; do
  name=$(basename "$lib")
  name=${name%%.so*}
  soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  if [ "$soname" != "$name.so.$major" ]; then
    echo "$(basename "$lib"): SONAME '$soname', expected $name.so.$major"
    status=1
  fi
done
needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(libsenmod.*\)\]/\1/p')
if [ "$needed" != "libsenmod.so.$major" ]; then
  echo "$(basename "$program") needs '$needed', expected libsenmod.so.$major"
  status=1
fi
[ $status -eq 0 ] && echo "$# libraries with SONAME *.so.$major"
exit $status
