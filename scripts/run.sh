#!/usr/bin/env bash
# Installs what is missing, builds Kelbrin and starts it as the desktop entry
# does: through the launcher, which works in the station's working directory
# (made once from the examples; later runs reuse it).
#
# The working directory is ~/kelbrin, or $KELBRIN_HOME when set. Arguments go
# to the station (for example --terminal).
#
# With KELBRIN_RUN_CHECK set (CI: nobody at the keyboard) the station is
# started the same way but in a pseudo-terminal, must show its first screen,
# and is left with F1 and N; the exit status says whether it came up.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)
echo "Kelbrin wird gebaut ..."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target programs >/dev/null
# Installed inside the build folder, so that the launcher finds the station
# and the examples exactly where an installed one does.
cmake --install build --prefix build/stage >/dev/null
if [ -n "${KELBRIN_RUN_CHECK:-}" ]; then
  # The campaigns' driver types into a pseudo-terminal and reads its screen.
  cmake --build build -j"$jobs" --target kelbrin-campaign >/dev/null
  printf '%s\n' 'wait F9Modus' 'keys \eOP' 'wait Daten löschen' 'keys n' 'exit' |
    build/tests/campaigns/kelbrin-campaign script --station build/stage/bin/kelbrin
  echo "Die Station kam hoch und endete mit F1."
  exit 0
fi
exec build/stage/bin/kelbrin "$@"
