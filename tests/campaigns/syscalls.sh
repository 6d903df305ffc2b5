#!/usr/bin/env bash
# Runs a short working day again and again with exactly one system call on
# the station's files failing (EIO, then ENOSPC), for every such call of
# write, pwrite64, fsync, fdatasync, rename, openat, ftruncate and close, and
# for every read and pread64 of the record file (EIO only): after a failed
# read the operator must still be on his record, and keying goes on.
#   tests/campaigns/syscalls.sh [SAMPLE] [SEED] [BUILD_DIR]
# SAMPLE 0 (the default) fails every call in turn; N > 0 picks N calls of
# each kind at random. Extra arguments after BUILD_DIR go to the driver, for
# example `--calls fdatasync --errors EIO --only 7` to repeat one run.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
sample=${1:-0}
seed=${2:-1}
build=${3:-$root/build}
shift $(( $# < 3 ? $# : 3 ))
exec "$build/tests/campaigns/kelbrin-campaign" syscalls --station "$build/host/kelbrin4" \
  --sample "$sample" --seed "$seed" "$@"
