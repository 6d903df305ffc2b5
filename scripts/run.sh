#!/usr/bin/env bash
# Installs what is missing, builds Kelbrin, prepares a working directory from
# the examples (once; later runs reuse it) and starts the station there.
#
# The working directory is ~/kelbrin, or $KELBRIN_HOME when set. Arguments go
# to the station (for example --terminal).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
echo "Kelbrin wird gebaut ..."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target kelbrin4 recsort dos2win win2dos >/dev/null

workdir=${KELBRIN_HOME:-$HOME/kelbrin}
if [ ! -d "$workdir" ]; then
  mkdir -p "$workdir"
  cp -R examples/. "$workdir/"
  echo "Arbeitsverzeichnis angelegt: $workdir"
fi
cd "$workdir"
exec "$root/build/host/kelbrin4" "$@"
