#!/bin/sh
# The Gantt page of a real run of the bundled sample, rendered by headless
# Chromium: the DOM holds a row per crew member with tasks and one bar per
# task line of the dump, bars carry vehicle labels, and a screenshot of the
# page is not blank. Members with an empty schedule, added to the dump, share
# one line, or get their rows with --all.
# Usage: gantt_browser_test.sh <escala> <escala-gantt> <sample task file>
# Exit status 77 (skipped) only when Chromium is not installed.
set -eu
escala=$1 gantt=$2 sample=$3

browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
    echo "SKIP: chromium is not installed"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$sample" "$work/Lintra.tsk"
cd "$work"
faketime -f '2026-12-07 10:00:00' "$escala" < /dev/null > console.txt
"$gantt" --out escala.html

# Headless, offline, with a fresh profile per call.
browse() {
    profile=$(mktemp -d "$work/profile.XXXXXX")
    timeout 300 "$browser" --headless --no-sandbox --disable-gpu --disable-background-networking \
        --disable-component-update --disable-sync --no-first-run --user-data-dir="$profile" \
        "$@" "file://$work/escala.html" 2>> browser.log
}

fail() {
    echo "FAIL: $*"
    exit 1
}

browse --dump-dom > dom.html || fail "chromium could not load the page (see browser.log)"
rows=$(grep -o '<g class="row"' dom.html | wc -l)
bars=$(grep -o '<rect class="bar' dom.html | wc -l)
virtual_bars=$(grep -o '<rect class="bar virtual' dom.html | wc -l)
labels=$(grep -o '<text class="vl' dom.html | wc -l)
task_lines=$(grep -vc '##' dumpfile.txt)
virtual_lines=$(grep -c ',\*$' dumpfile.txt)
members=$(grep -c '##' dumpfile.txt)
# Markers followed by at least one task line.
with_tasks=$(awk '/##/ { if (n) rows++; n = 0; next } { n = 1 } END { if (n) rows++; print rows + 0 }' dumpfile.txt)
echo "rendered rows $rows, bars $bars ($virtual_bars virtual), $labels labels;" \
     "dump members $members ($with_tasks with tasks), task lines $task_lines ($virtual_lines virtual)"
[ "$rows" -eq "$with_tasks" ] || fail "expected $with_tasks crew rows, found $rows"
[ "$bars" -eq "$task_lines" ] || fail "expected $task_lines bars, found $bars"
[ "$virtual_bars" -eq "$virtual_lines" ] || fail "expected $virtual_lines virtual bars, found $virtual_bars"
[ "$labels" -gt $((task_lines / 4)) ] || fail "only $labels vehicle labels for $task_lines bars"
grep -q '<polyline class="best"' dom.html || fail "no convergence chart"

# Two more members, both without tasks.
sed "1s/^[0-9]*##/$((members + 2))##/" dumpfile.txt > more.txt
printf '##%d\n##%d\n' "$members" "$((members + 1))" >> more.txt
"$gantt" --dump more.txt --out more.html > /dev/null
"$gantt" --dump more.txt --out all.html --all > /dev/null
[ "$(grep -o '<g class="row"' more.html | wc -l)" -eq "$with_tasks" ] || fail "members without tasks got rows"
grep -q "members without tasks (no row): .*$members, $((members + 1))</p>" more.html ||
    fail "members without tasks not listed"
[ "$(grep -o '<g class="row"' all.html | wc -l)" -eq "$((members + 2))" ] || fail "--all did not draw every member"

browse --hide-scrollbars --window-size=1400,3000 --screenshot="$work/shot.png" > /dev/null ||
    fail "chromium could not take the screenshot (see browser.log)"
[ -s shot.png ] || fail "no screenshot"
size=$(wc -c < shot.png)
echo "screenshot: $size bytes"
[ "$size" -gt 50000 ] || fail "screenshot of $size bytes looks blank"

# Distinct colours of the screenshot, decoded with the standard library only.
if command -v python3 > /dev/null; then
    colours=$(python3 - shot.png <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
assert data[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG'
pos, idat = 8, b''
while pos < len(data):
    length, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    if kind == b'IHDR':
        width, height, depth, ctype = struct.unpack('>IIBB', body[:10])
    elif kind == b'IDAT':
        idat += body
    pos += 12 + length
assert depth == 8 and ctype in (2, 6), 'unexpected PNG format'
bpp = 3 if ctype == 2 else 4
raw, stride = zlib.decompress(idat), width * bpp
prev, seen = bytearray(stride), set()
for y in range(height):
    kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for i in range(stride):
        a = line[i - bpp] if i >= bpp else 0
        b = prev[i]
        c = prev[i - bpp] if i >= bpp else 0
        if kind == 1: line[i] = (line[i] + a) & 255
        elif kind == 2: line[i] = (line[i] + b) & 255
        elif kind == 3: line[i] = (line[i] + (a + b) // 2) & 255
        elif kind == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    seen.update(bytes(line[x:x + 3]) for x in range(0, stride, bpp))
    prev = line
print(width, height, len(seen))
PY
)
    set -- $colours
    echo "screenshot: ${1}x${2}, $3 distinct colours"
    [ "$1" -eq 1400 ] && [ "$2" -eq 3000 ] || fail "unexpected screenshot size ${1}x${2}"
    [ "$3" -ge 100 ] || fail "only $3 distinct colours: the page did not render"
fi
echo "PASS"
