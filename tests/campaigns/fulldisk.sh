#!/usr/bin/env bash
# A full disk under the real station, in a terminal: the station runs in a
# tmux session of its own (80 x 25) in a file system of 200 KB (tmpfs; needs
# the right to mount, e.g. root). A filler file leaves room for a few dozen
# records; records of 202 bytes are keyed until the disk refuses one. Then
# the space comes back, F2 exports (and the disk is filled again under the
# export), and the station is left with F1, N once the space is back.
#
# Checked: the operator is told in German; every record stored before the
# disk filled is intact in KELBRIN4.CR2; KELBRIN4.CR1 is whole (the layout
# as it was); no data file, whole or half, appears under the export's name,
# and no temporary file stays behind; and the record the disk refused, kept
# on the screen, is stored once there is room again.
#
# Usage: tests/campaigns/fulldisk.sh [build-dir]     (exit 0: all held)
set -uo pipefail

build=${1:-build}
station=$(cd "$build" && pwd)/host/kelbrin4
[[ -x $station ]] || { echo "fulldisk.sh: $station not built" >&2; exit 2; }
command -v tmux >/dev/null || { echo "fulldisk.sh: tmux is needed" >&2; exit 77; }

disk=$(mktemp -d "${TMPDIR:-/var/tmp}/kelbrin-fulldisk.XXXXXX")
if ! mount -t tmpfs -o size=200k tmpfs "$disk" 2>/dev/null; then
    echo "fulldisk.sh: cannot mount a small tmpfs (not root?); skipped" >&2
    rmdir "$disk"
    exit 77
fi
socket=kelbrin-fulldisk-$$
tmx() { tmux -L "$socket" "$@"; }
cleanup() {
    tmx kill-server 2>/dev/null
    umount "$disk" 2>/dev/null && rmdir "$disk"
}
trap cleanup EXIT

failures=0
check() {  # description, then a command that must succeed
    local what=$1
    shift
    if "$@"; then
        echo "ok    $what"
    else
        echo "FAIL  $what"
        failures=$((failures + 1))
    fi
}
screen() { tmx capture-pane -t station -p; }
wait_for() {  # text on the screen within 10 s
    for ((i = 0; i < 100; ++i)); do
        screen | grep -qF -- "$1" && return 0
        sleep 0.1
    done
    echo "      (waited in vain for: $1)" >&2
    screen | sed 's/^/      | /' >&2
    return 1
}
send() { tmx send-keys -t station -l -- "$1"; }
free_kb() { df -Pk "$disk" | awk 'NR == 2 { print $4 }'; }
fill_leaving() {  # KB to leave free
    rm -f "$disk/filler"
    dd if=/dev/zero of="$disk/filler" bs=1k count=$(($(free_kb) - $1)) status=none
}
record() { printf 'r%03d%s\r\n' "$1" "$(printf 'x%.0s' $(seq 1 196))"; }
size_of() { stat -c %s "$1" 2>/dev/null || echo 0; }

F1=$'\eOP' F2=$'\eOQ' F9=$'\e[20~'
readonly length=202 disk_full="kein Platz mehr auf dem Datenträger"

tmx new-session -d -s station -x 80 -y 25 \
    "cd '$disk' && ASAN_OPTIONS=detect_leaks=0 ESCDELAY=25 LANG=C.UTF-8 '$station' --terminal; echo \"exit \$?\" > '$disk.status'; sleep 60"
wait_for "F9Modus" || exit 1
send $'a200\r'
send $'e+2\r'
wait_for "Len $length" || exit 1
send "$F9"
wait_for "Eingabe" || exit 1
sleep 0.3
cp "$disk/KELBRIN4.CR1" "$disk.cr1"

# Keying onto a disk that fills up.
fill_leaving 8
stored=0
refused=0
for ((n = 1; n <= 80; ++n)); do
    send "$(record "$n" | head -c 200)"
    for ((i = 0; i < 100; ++i)); do
        (($(size_of "$disk/KELBRIN4.CR2") >= n * length)) && break
        screen | grep -qF "$disk_full" && break
        sleep 0.05
    done
    if screen | grep -qF "$disk_full"; then
        refused=$n
        break
    fi
    stored=$n
done
check "the disk filled while keying (after $stored records)" test "$refused" -gt 0
check "the operator is told in German: Ein-/Ausgabefehler 28: $disk_full" \
    wait_for "Ein-/Ausgabefehler 28: $disk_full"
records_upto() { for ((n = 1; n <= $1; ++n)); do record "$n"; done; }
check "all $stored stored records are intact" \
    cmp -s -n $((stored * length)) <(records_upto "$stored") "$disk/KELBRIN4.CR2"
check "KELBRIN4.CR1 is whole" cmp -s "$disk.cr1" "$disk/KELBRIN4.CR1"
send $'\r'  # closes the box; the refused record stays on the screen
check "the refused record stays on the screen" wait_for "$(printf 'r%03dxxxx' "$refused")"

# Room again, then an export on a disk that fills up under it.
rm -f "$disk/filler"
send "$F2"
wait_for "Verzeichnis" || exit 1
fill_leaving 4
send $'\r'
wait_for "Dateiname" || exit 1
send $'export.dat\r'
wait_for "Konvertierungs-Modus" || exit 1
send $'\e[20~'  # F9: ASCII-TAB
check "the failed export is told in German (Kann Datei nicht schreiben !!!)" \
    wait_for "Kann Datei nicht schreiben !!!"
send " "
wait_for "F9Modus" || exit 1
check "no data file under the export's name" test ! -e "$disk/export.dat"
check "no temporary file of the export left" \
    test -z "$(find "$disk" -name '*export.dat*' -print -quit)"

# Room again, and the station left.
rm -f "$disk/filler"
send "$F1"
wait_for "Daten löschen (Esc/N/Entf) ?" || exit 1
send "n"
for ((i = 0; i < 100; ++i)); do
    [[ -e $disk.status ]] && break
    sleep 0.1
done
check "the station ended normally" grep -qx "exit 0" "$disk.status"
check "all $stored stored records are still intact" \
    cmp -s -n $((stored * length)) <(records_upto "$stored") "$disk/KELBRIN4.CR2"
check "the refused record $refused is stored now that there is room" \
    cmp -s -i 0:$(((refused - 1) * length)) -n $length <(record "$refused") "$disk/KELBRIN4.CR2"
check "KELBRIN4.CR1 is still whole" cmp -s "$disk.cr1" "$disk/KELBRIN4.CR1"
rm -f "$disk.cr1" "$disk.status"
echo "$failures failed"
((failures == 0))
