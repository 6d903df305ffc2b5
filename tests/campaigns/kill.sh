#!/usr/bin/env bash
# Kills the station at random moments of a long working day and checks after
# every kill that nothing it had stored is lost.
#   tests/campaigns/kill.sh [KILLS] [SEED] [BUILD_DIR]   (default 500 1 build)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
kills=${1:-500}
seed=${2:-1}
build=${3:-$root/build}
exec "$build/tests/campaigns/kelbrin-campaign" kill --station "$build/host/kelbrin4" \
  --size "$kills" --seed "$seed"
