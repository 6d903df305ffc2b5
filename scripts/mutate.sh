#!/usr/bin/env bash
# Plants single-line faults in model/, files/ and screens/ one at a time and reports how
# many the tests catch (see scripts/mutate.py for the kinds of fault).
#   scripts/mutate.sh [--sample N] [--seed S] [--build DIR] [--files model/X.cpp ...]
# Each run draws other places unless --seed repeats one. The build dir must be
# configured already (scripts/test.sh or cmake -S . -B build); files are
# changed in place and always put back.
set -euo pipefail
exec python3 "$(dirname "$0")/mutate.py" "$@"
