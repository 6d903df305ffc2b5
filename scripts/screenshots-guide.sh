#!/usr/bin/env bash
# Takes the pictures of the operator's guide (docs/bedienung.md) and the README
# again, from the station as it is now: each scene starts the window on a
# virtual display (scripts/screenshot.sh) in a fresh copy of examples/, keys
# its way to the screen to be shown and saves it, cropped to the window and
# made small, into docs/images/.
#
# Usage:
#   scripts/screenshots-guide.sh [BUILD_DIR]     (default: build)
#
# Builds nothing: BUILD_DIR must hold a kelbrin4 built with the window
# (host/kelbrin4). Needs what scripts/screenshot.sh needs (xvfb, xdotool,
# imagemagick).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=$(realpath -m "${1:-build}")
station=$build/host/kelbrin4
[ -x "$station" ] || { echo "no station at $station; build the target kelbrin4 first" >&2; exit 1; }
images=$repo/docs/images
mkdir -p "$images"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The Start button at the default screen of 1280 x 800 (the window is not
# maximised without a window manager); after Start the window fills the screen.
start=(-x 'mousemove 263 151 click 1' -x 'sleep 1')
# The sample layout KUNDEN.DEF, picked in the browser by its first letter.
kunden=(-x 'key F3' -x 'key Return' -x 'type K' -x 'key Return')
# One customer record of KUNDEN: customer number 100013 has the right check
# digit. A field keyed full (the number, the postal code) is left by itself;
# the others need Enter. The empty town is filled in from the postal code.
record=(-x 'type 100013' -x 'type Herr' -x 'key Return'
        -x "type 'Sonnenschein'" -x 'key Return'
        -x "type 'Ahornallee 40'" -x 'key Return' -x 'type 10138'
        -x 'key Return' -x 'type Rechnung' -x 'key Return' -x 'type 3' -x 'key Return')

# scene NAME STEPS...: one picture, taken in a fresh working directory.
scene() {
  local name=$1
  shift
  local work=$scratch/$name
  cp -R examples "$work"
  (cd "$work" && "$repo/scripts/screenshot.sh" -o "$scratch/$name.png" -p 0.3 "$@" -- "$station") >/dev/null
  # The light grey around the window goes; 75 % and 64 colours keep the
  # text readable and the file small.
  convert "$scratch/$name.png" -fuzz 3% -trim +repage -resize 75% -colors 64 -strip \
    "$images/$name.png"
  echo "$images/$name.png"
}

# The layout screen with the sample layout and its program keys.
scene felddefinition "${start[@]}" "${kunden[@]}"

# The type overview (F7 on the layout screen).
scene typen "${start[@]}" "${kunden[@]}" -x 'key F7'

# Keying: a first record keyed, the second one on its way, the choice list of
# the salutation open after "F" (Tab/anrede holds Familie, Firma and Frau).
scene eingabe "${start[@]}" "${kunden[@]}" -x 'key F9' "${record[@]}" \
  -x 'type 100021' -x 'type F' -x 'key Return'

# Verifying: the first record keyed again, with a name that differs; the
# station beeps and holds the cursor in the field.
scene pruefen "${start[@]}" "${kunden[@]}" -x 'key F9' "${record[@]}" -x 'key F9' \
  -x 'key Home' -x 'type 100013' -x 'type Herr' -x 'key Return' \
  -x "type 'Sonnenschien'" -x 'key Return'

# Saving the records as a data file: the question for the form of the file.
scene datei-sichern "${start[@]}" "${kunden[@]}" -x 'key F9' "${record[@]}" \
  -x 'key F2' -x 'key Return' -x 'type kunden.txt' -x 'key Return'
