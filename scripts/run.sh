#!/usr/bin/env bash
# Installs what is missing, builds Kelbrin, prepares a working directory from
# the examples (once; later runs reuse it) and starts the station there.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" >/dev/null

if [ ! -x build/kelbrin4 ]; then
  echo "The station itself is not built yet: so far only the tools and the test suite exist." >&2
  exit 1
fi

workdir=${KELBRIN_HOME:-$HOME/kelbrin}
if [ ! -d "$workdir" ]; then
  mkdir -p "$workdir"
  cp -R examples/. "$workdir/"
  echo "Working directory prepared: $workdir"
fi
cd "$workdir"
exec "$OLDPWD/build/kelbrin4" "$@"
