#!/usr/bin/env bash
# Times the companion tools against outside references in one run:
#   recsort  against  LC_ALL=C sort -s        (time; peak memory against input size)
#   dos2win  against  cat and iconv           (time on 256 MiB of random bytes)
#
# Usage: bench/tools.sh [build-dir]      (default: $KELBRIN_BUILD or build/)
# Builds nothing: the programs must already be built in <build-dir>/tools.
# Every figure comes from one timed run of each program, side by side; read
# them as a rough guide, not as a measurement to three digits.
set -euo pipefail

build=${1:-${KELBRIN_BUILD:-build}}
tools="$build/tools"
for program in recsort dos2win; do
    if [[ ! -x "$tools/$program" ]]; then
        echo "tools.sh: $tools/$program not found; build the tools first" >&2
        exit 2
    fi
done
for program in sort cat iconv python3; do
    command -v "$program" >/dev/null || { echo "tools.sh: $program is needed" >&2; exit 2; }
done
gnutime=/usr/bin/time
if [[ ! -x $gnutime ]]; then
    echo "tools.sh: $gnutime is missing (Debian package 'time'): peak memory is not measured"
    gnutime=
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kelbrin-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# run <stdin> <stdout> <written-file> <command...>
# Runs the command once untimed, removes the file it wrote, and runs it again
# timed; sets SECONDS_TAKEN and PEAK_KB (empty without GNU time) from that run.
# The untimed run gives every program the same start: its input cached, and
# as much freed memory to write into as it is about to need (on a virtual
# machine, the first touch of memory can cost more than the copy itself).
run() {
    local input=$1 output=$2 written=$3
    shift 3
    "$@" <"$input" >"$output"
    rm -f "$written"
    # Nothing left waiting to be written back, so no run pays for another's.
    sync
    local start end
    start=$(date +%s%N)
    if [[ -n $gnutime ]]; then
        "$gnutime" -f %M -o "$work/peak" "$@" <"$input" >"$output"
        PEAK_KB=$(tail -n 1 "$work/peak")
    else
        "$@" <"$input" >"$output"
        PEAK_KB=
    fi
    end=$(date +%s%N)
    SECONDS_TAKEN=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# --- recsort ---------------------------------------------------------------
# One million shuffled lines of German words in code page 850, fixed seed.
# No empty lines, no trailing blanks, no CR, nothing over 255 bytes: recsort
# then keeps every line as it is and its output must equal sort's.
python3 - "$work/lines.txt" <<'EOF'
import random, sys
rng = random.Random(4711)
words = ("Straße Gärten Müller Schäfer Öffnung Übergabe Bäckerei Größe Fußweg "
         "Köln München Düsseldorf Lübeck Nürnberg Würzburg Göttingen Zürich "
         "Hauptstraße Bahnhofstraße Kirchweg Am Markt Lindenallee Schloßplatz "
         "Wiesengrund Mühlenweg Fährstraße Brückenstraße Gänseblümchen "
         "Äpfel Ärger Österreich Überweisung äußerst ölig übrig ÄÖÜ äöüß "
         "Bauer Becker Fischer Hoffmann Koch Meyer Richter Schmidt Schulz "
         "Wagner Weber Wolf Zimmermann Ärztehaus Ölmühle Überlingen "
         "eins zwei drei vier fünf sechs sieben acht neun zehn").split()
out = bytearray()
for _ in range(1_000_000):
    n = rng.randint(1, 6)
    parts = [rng.choice(words) for _ in range(n)]
    if rng.random() < 0.3:
        parts.append(str(rng.randint(1, 99999)))
    if rng.random() < 0.2:
        parts.insert(0, "%05d" % rng.randint(1067, 99998))
    line = "\t".join(parts) if rng.random() < 0.1 else " ".join(parts)
    out += line.encode("cp850")[:255].rstrip(b" ") + b"\n"
with open(sys.argv[1], "wb") as f:
    f.write(out)
EOF
size=$(stat -c %s "$work/lines.txt")

run /dev/null /dev/null "$work/recsort.out" \
    "$tools/recsort" "$work/lines.txt" "$work/recsort.out"
recsort_s=$SECONDS_TAKEN
recsort_kb=$PEAK_KB
run "$work/lines.txt" "$work/sort.out" "$work/sort.out" env LC_ALL=C sort -s
sort_s=$SECONDS_TAKEN

if ! cmp -s "$work/recsort.out" "$work/sort.out"; then
    echo "recsort: output differs from LC_ALL=C sort -s" >&2
    cmp "$work/recsort.out" "$work/sort.out" >&2 || true
    exit 1
fi
rm -f "$work/recsort.out" "$work/sort.out"
echo "recsort: $(wc -l <"$work/lines.txt") lines, $size bytes; output equals LC_ALL=C sort -s"
echo "  time  recsort ${recsort_s}s  sort -s ${sort_s}s  ratio $(ratio "$recsort_s" "$sort_s")  (goal <= 1.0)"
if [[ -n $recsort_kb ]]; then
    echo "  peak memory ${recsort_kb} KiB  / input ${size} B  ratio" \
         "$(ratio "$((recsort_kb * 1024))" "$size")  (goal <= 3)"
fi

# --- dos2win ---------------------------------------------------------------
head -c $((256 * 1024 * 1024)) /dev/urandom >"$work/random.bin"
copy="$work/copy.out"

run /dev/null "$copy" "$copy" cat "$work/random.bin"
cat_s=$SECONDS_TAKEN
rm -f "$copy"
run /dev/null /dev/null "$copy" "$tools/dos2win" "$work/random.bin" "$copy"
dos2win_s=$SECONDS_TAKEN
if [[ $(stat -c %s "$copy") -ne $((256 * 1024 * 1024)) ]]; then
    echo "dos2win: output has the wrong size" >&2
    exit 1
fi
rm -f "$copy"
run "$work/random.bin" "$copy" "$copy" iconv -c -f CP850 -t CP1252
iconv_s=$SECONDS_TAKEN
rm -f "$copy"

echo "dos2win: 256 MiB of random bytes"
echo "  time  dos2win ${dos2win_s}s  cat ${cat_s}s  ratio $(ratio "$dos2win_s" "$cat_s")  (goal <= 2)"
echo "  time  dos2win ${dos2win_s}s  iconv ${iconv_s}s  ratio $(ratio "$dos2win_s" "$iconv_s")  (goal < 1)"
