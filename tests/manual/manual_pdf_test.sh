#!/usr/bin/env bash
# The manual's PDF tool: chapters in name order, each on its own page after the title page;
# a picture that cannot be read or a folder without chapters fails the run and leaves the
# earlier PDF as it was; a missing argument is a usage error.
set -u
tool=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

mkdir -p "$work/md" "$work/shots" "$work/empty"
# A 4x2 picture, written by the tool's own Qt through a PPM (no image tools needed).
printf 'P3\n4 2\n255\n' >"$work/shots/window.ppm"
for _ in 1 2 3 4 5 6 7 8; do printf '0 128 255\n' >>"$work/shots/window.ppm"; done
# QImage tells the format by content, so the name the chapter uses may say .png.
cp "$work/shots/window.ppm" "$work/shots/window.png"
cat >"$work/md/02-second.md" <<'MD'
# Second chapter

| Message | What to do |
|---|---|
| "Time out error!" | Check the cable. |
MD
cat >"$work/md/01-first.md" <<'MD'
# First chapter

Some text and a window:

![A window](shots/window.png)
MD

# The good run: a title page and one page per chapter.
"$tool" "$work/out.pdf" "$work/md" "$work/shots" --pages "$work/pages" >"$work/log" 2>&1 || fail "good run: $(cat "$work/log")"
head -c 5 "$work/out.pdf" | grep -q '%PDF-' || fail "not a PDF"
count=$(grep -a -o '/Type */Page[a-zA-Z]*' "$work/out.pdf" | grep -c -v 'Pages$')
[ "$count" -eq 3 ] || fail "3 pages expected, found $count"
[ -f "$work/pages/page-03.png" ] && [ ! -f "$work/pages/page-04.png" ] || fail "--pages drew $(ls "$work/pages")"
grep -q '3 pages, 2 chapters' "$work/log" || fail "report: $(cat "$work/log")"
cp "$work/out.pdf" "$work/before.pdf"

# A picture that is not there: named, exit 1, the earlier PDF untouched.
printf '\n![Gone](shots/missing.png)\n' >>"$work/md/02-second.md"
"$tool" "$work/out.pdf" "$work/md" "$work/shots" >"$work/log" 2>&1
rc=$?
[ $rc -eq 1 ] || fail "missing picture: exit $rc"
grep -q 'shots/missing.png' "$work/log" || fail "missing picture not named: $(cat "$work/log")"
cmp -s "$work/out.pdf" "$work/before.pdf" || fail "the earlier PDF was changed by a failed run"

# No chapters at all.
"$tool" "$work/out.pdf" "$work/empty" "$work/shots" >"$work/log" 2>&1
rc=$?
[ $rc -eq 1 ] || fail "no chapters: exit $rc"
cmp -s "$work/out.pdf" "$work/before.pdf" || fail "the earlier PDF was changed by a run without chapters"

# Usage errors: missing or empty arguments.
for args in "" "$work/out.pdf" "$work/out.pdf|$work/md" "|$work/md|$work/shots" "$work/out.pdf|$work/md|$work/shots|--pages"; do
  IFS='|' read -r -a list <<<"$args"
  [ -z "$args" ] && list=()
  "$tool" "${list[@]}" >"$work/log" 2>&1
  rc=$?
  [ $rc -eq 2 ] || fail "usage ($args): exit $rc"
done

[ $failures -eq 0 ] && echo "manual PDF tool: all cases pass"
exit $((failures > 0))
