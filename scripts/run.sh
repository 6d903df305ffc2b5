#!/usr/bin/env bash
# Installs what is missing, builds Kelbrin and starts it as the desktop entry
# does: through the launcher, which works in the station's working directory
# (made once from the examples; later runs reuse it).
#
# The working directory is ~/kelbrin, or $KELBRIN_HOME when set. Arguments go
# to the station (for example --terminal).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
echo "Kelbrin wird gebaut ..."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target kelbrin4 recsort dos2win win2dos >/dev/null
# Installed inside the build folder, so that the launcher finds the station
# and the examples exactly where an installed one does.
cmake --install build --prefix build/stage >/dev/null
exec build/stage/bin/kelbrin "$@"
