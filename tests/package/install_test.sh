#!/usr/bin/env bash
# Installs the build tree into a temporary prefix, checks what lies there, then builds and runs
# the consumers against it twice: through find_package(senmod) and through pkg-config, for both
# builds of the library and for libsenmod_io, whose consumer's points and warp must match the
# installed command's to the bit.
# Usage: install_test.sh BUILD_DIR C_COMPILER [PYTHON SITE_DIR]
set -euo pipefail
build=$1 cc=$2 python=${3:-} site=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

missing=0
for file in include/senmod/senmod.h include/senmod/senmod_io.h include/senmod/version.h \
            include/hostcore.h \
            include/hostmodel.h bin/senmod share/man/man1/senmod.1 \
            lib/cmake/senmod/senmodConfig.cmake lib/cmake/senmod/senmodConfigVersion.cmake \
            lib/pkgconfig/senmod.pc lib/pkgconfig/senmod_demlayer.pc lib/pkgconfig/senmod_io.pc; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; missing=1; }
done
for lib in senmod senmod_demlayer senmod_io hostcore hostthread hostlog hostmodel hostphoto \
           hostphotogui; do
  [ -e "$prefix/lib/lib$lib.so" ] || { echo "not installed: lib$lib.so"; missing=1; }
done
if find "$prefix/include" -name '*.h' | xargs grep -l '#include "\(common\|poly\|xform\)/' ; then
  echo "an installed header includes library internals"
  missing=1
fi
[ $missing -eq 0 ]

# The installed command finds its libraries by itself.
senmod=$prefix/bin/senmod sample=$here/../../data/sample
"$senmod" info "$sample/sample_rsm.ntf" >/dev/null

# What the libsenmod_io consumer is compared with. An RPC raster over the sample's ground, of the
# sample image's size: a GeoTIFF with its RPCs beside it in a _rpc.txt (coefficients not listed
# are 0).
rpc_terms() {  # NAME COEFFICIENT...
  local name=$1 i
  shift
  for i in $(seq 20); do
    echo "${name}_COEFF_$i: ${1:-0}"
    [ $# -eq 0 ] || shift
  done
}
gdal_create -q -of GTiff -outsize 1500 1000 -bands 1 "$work/rpc.tif"
{
  printf '%s\n' 'LINE_OFF: 499.5' 'SAMP_OFF: 749.5' 'LAT_OFF: 46.951' 'LONG_OFF: 7.45' \
    'HEIGHT_OFF: 650' 'LINE_SCALE: 500' 'SAMP_SCALE: 750' 'LAT_SCALE: 0.0125' \
    'LONG_SCALE: 0.028' 'HEIGHT_SCALE: 400'
  rpc_terms LINE_NUM 0.001 0.004 -1.02 0.03 0.002 0 0.001 0.003 -0.002 0 0 0.0004 0 0 0.0003 -0.0005
  rpc_terms LINE_DEN 1 0.001 -0.002
  rpc_terms SAMP_NUM -0.002 0.98 0.01 0.05 -0.003 0.001 0 0.002 0.001 0 0 -0.0006 0.0002
  rpc_terms SAMP_DEN 1 -0.001 0.001
} >"$work/rpc_rpc.txt"
# Points with heights, and without them for the mean height and the DEM.
printf '%s\n' '6.5 37.5 420' '750 500 650' '1494 3.25 700' '308.5 802.75 1000' \
  '1196.5 937.5 580' >"$work/image.txt"
grep -v '^#' "$sample/sample_crosses.txt" >"$work/ground.txt"
for points in image ground; do cut -d' ' -f1,2 "$work/$points.txt" >"$work/$points.2.txt"; done
"$senmod" ortho "$sample/sample_rsm.ntf" -o "$work/ortho.tif" --co COMPRESS=NONE --quiet

# Runs a libsenmod_io consumer in a new folder DIR, where it writes the points it carried (it
# checks its warp against the ortho itself).
run_io() {  # PROGRAM DIR
  mkdir "$2"
  cp "$work/image.txt" "$work/ground.txt" "$2"
  "$1" "$2" "$sample/sample_rsm.ntf" "$work/rpc.tif" "$sample/sample_dem.tif" "$work/ortho.tif"
}

# Compares the points of a consumer's folder with the command's for each model, direction and
# source of heights, as parsed doubles, to the bit.
check_points() {  # DIR
  local -A path=([ntf]=$sample/sample_rsm.ntf [rpc]=$work/rpc.tif [smod]=$1/model.smod)
  local -A command=([g2i]=ground-to-image [i2g]=image-to-ground)
  local -A input=([g2i]=ground [i2g]=image)
  local model heights way
  for model in ntf rpc smod; do
    for heights in given mean dem; do
      for way in g2i i2g; do
        local in=$work/${input[$way]}.2.txt options=()
        [ $heights = given ] && in=$work/${input[$way]}.txt
        [ $heights = dem ] && options=(--dem "$sample/sample_dem.tif")
        "$senmod" "${command[$way]}" "${path[$model]}" "${options[@]}" -i "$in" \
          >"$1/${model}_${way}_$heights.command"
      done
    done
  done
  "${python:-python3}" - "$1"/*.command <<'EOF'
import sys
def numbers(path):
    return [[repr(float(v)) for v in line.split()] for line in open(path)]
status = 0
for command in sys.argv[1:]:
    ours = command[:-len(".command")] + ".txt"
    if numbers(ours) != numbers(command):
        print(ours, "differs from the command's:", open(ours).read(), open(command).read())
        status = 1
sys.exit(status)
EOF
}

echo "== find_package(senmod)"
cmake -S "$here/consumer" -B "$work/cmake" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
cmake --build "$work/cmake" >"$work/build.log" || { cat "$work/build.log"; exit 1; }
"$work/cmake/consumer"
"$work/cmake/consumer_demlayer"
run_io "$work/cmake/consumer_io" "$work/io_cmake"
check_points "$work/io_cmake"

echo "== pkg-config"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
for build in senmod senmod_demlayer; do
  [ "$(pkg-config --modversion $build)" = "$(pkg-config --modversion senmod)" ]
  # shellcheck disable=SC2046  # pkg-config prints several words on purpose
  "$cc" -Wall -Wextra -Werror -o "$work/pc_$build" "$here/consumer/consumer.c" \
    $(pkg-config --cflags --libs $build) -lm
  LD_LIBRARY_PATH=$prefix/lib "$work/pc_$build"
done
# shellcheck disable=SC2046
"$cc" -Wall -Wextra -Werror -o "$work/pc_io" "$here/consumer/consumer_io.c" \
  $(pkg-config --cflags --libs senmod_io gdal) -lm
LD_LIBRARY_PATH=$prefix/lib run_io "$work/pc_io" "$work/io_pc"
for points in "$work"/io_cmake/*_*_*.txt; do cmp "$points" "$work/io_pc/$(basename "$points")"; done

if [ -n "$python" ]; then
  echo "== python"
  PYTHONPATH=$prefix/$site "$python" -c \
    'import senmod, sys; sys.exit(0 if senmod.__file__.startswith(sys.argv[1]) else 1)' "$prefix"
fi
