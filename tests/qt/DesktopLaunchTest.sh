#!/bin/sh
# The station as the desktop menu starts it: installed, its entry's command
# run from another directory, with a home of its own. The installed station is
# replaced by a stand-in that notes where and with what it was started.
#
#   DesktopLaunchTest.sh CMAKE HOST_BUILD_DIR
set -eu
cmake=$1
build=$2

tmp=$(cd "$(mktemp -d)" && pwd -P)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$prefix/share/applications/kelbrin.desktop")
[ -x "$prefix/bin/$command" ] || fail "the desktop entry runs '$command', which is not installed"

cat >"$prefix/bin/kelbrin4" <<'STATION'
#!/bin/sh
echo "$(pwd -P) $*" >>"$LAUNCH_LOG"
STATION
chmod +x "$prefix/bin/kelbrin4"

launch() {
  (cd / && env LAUNCH_LOG="$tmp/log" "$@" "$prefix/bin/$command" --terminal) >/dev/null
}
expect_log() {
  [ "$(cat "$tmp/log")" = "$1" ] || fail "started as: $(cat "$tmp/log"), expected: $1"
}

# The first start makes ~/kelbrin from the installed examples and starts there.
mkdir "$tmp/home"
launch env -u KELBRIN_HOME HOME="$tmp/home"
expect_log "$tmp/home/kelbrin --terminal"
if [ ! -f "$tmp/home/kelbrin/KUNDEN.DEF" ] || [ ! -d "$tmp/home/kelbrin/Tab" ]; then
  fail "the working directory was not made from the examples"
fi

# Later starts take it as the operator left it.
rm "$tmp/home/kelbrin/KUNDEN.DEF"
launch env -u KELBRIN_HOME HOME="$tmp/home"
[ ! -e "$tmp/home/kelbrin/KUNDEN.DEF" ] || fail "the working directory was made again"

# KELBRIN_HOME names another place, made with the folders above it.
launch env KELBRIN_HOME="$tmp/elsewhere/station/" HOME="$tmp/home"
[ -f "$tmp/elsewhere/station/BESTELL.DEF" ] || fail "KELBRIN_HOME was not made"
expect_log "$tmp/home/kelbrin --terminal
$tmp/home/kelbrin --terminal
$tmp/elsewhere/station --terminal"
echo "passed"
