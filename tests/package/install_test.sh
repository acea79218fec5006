#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, checks what lies there, then builds and runs
# the consumer against it twice: through find_package(senmod) and through pkg-config, for both
# builds of the library.
# Usage: install_test.sh BUILD_DIR C_COMPILER [PYTHON SITE_DIR]
set -euo pipefail
build=$1 cc=$2 python=${3:-} site=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

missing=0
for file in include/senmod/senmod.h include/senmod/version.h include/hostcore.h \
            include/hostmodel.h bin/senmod share/man/man1/senmod.1 \
            lib/cmake/senmod/senmodConfig.cmake lib/cmake/senmod/senmodConfigVersion.cmake \
            lib/pkgconfig/senmod.pc lib/pkgconfig/senmod_demlayer.pc; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; missing=1; }
done
for lib in senmod senmod_demlayer hostcore hostthread hostlog hostmodel hostphoto hostphotogui; do
  [ -e "$prefix/lib/lib$lib.so" ] || { echo "not installed: lib$lib.so"; missing=1; }
done
if find "$prefix/include" -name '*.h' | xargs grep -l '#include "\(common\|poly\|xform\)/' ; then
  echo "an installed header includes library internals"
  missing=1
fi
[ $missing -eq 0 ]

# The installed command finds its libraries by itself.
"$prefix/bin/senmod" info "$here/../../data/sample/sample_rsm.ntf" >/dev/null

echo "== find_package(senmod)"
cmake -S "$here/consumer" -B "$work/cmake" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/cmake" >"$work/build.log" || { cat "$work/build.log"; exit 1; }
"$work/cmake/consumer"
"$work/cmake/consumer_demlayer"

echo "== pkg-config"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
for build in senmod senmod_demlayer; do
  [ "$(pkg-config --modversion $build)" = "$(pkg-config --modversion senmod)" ]
  # shellcheck disable=SC2046  # pkg-config prints several words on purpose
  "$cc" -o "$work/pc_$build" "$here/consumer/consumer.c" $(pkg-config --cflags --libs $build) -lm
  LD_LIBRARY_PATH=$prefix/lib "$work/pc_$build"
done

if [ -n "$python" ]; then
  echo "== python"
  PYTHONPATH=$prefix/$site "$python" -c \
    'import senmod, sys; sys.exit(0 if senmod.__file__.startswith(sys.argv[1]) else 1)' "$prefix"
fi
