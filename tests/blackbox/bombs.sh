#!/usr/bin/env bash
# A folder holding a decompression bomb of each format (GIF, PNG and JPEG
# declaring 60,000 × 60,000 pixels) beside ordinary photos: the real Pivra
# indexes it, makes the photos' thumbnails and marks the bombs' failed, stays
# under 500 MB all the while, and starts again cleanly, trying none of the
# bombs again. Then twenty GIFs of a few bytes declaring 15,800 × 15,800
# (just under the pixel limit, a gigabyte of canvas each) and twenty
# progressive JPEGs of as many pixels (whose decoder keeps every coefficient,
# three quarters of a gigabyte each) join fifty more photos: they are failed
# for good within the same memory and not tried at the next start, which also
# removes a preview clip's temporary file that a killed run left.
#
#   bombs.sh PIVRA ADD_SOURCE WRITE_BOMBS
#
# PIVRA is the program, ADD_SOURCE the helper that gives a not yet started
# Pivra its folder source (add_source.cpp), WRITE_BOMBS the one that writes
# the bombs (write_bombs.cpp). Exits 77 (skipped) without sqlite3 or ffmpeg.
set -euo pipefail

if (($# != 3)); then
  echo "usage: $0 PIVRA ADD_SOURCE WRITE_BOMBS" >&2
  exit 2
fi
pivra=$(realpath "$1")
add_source=$(realpath "$2")
write_bombs=$(realpath "$3")
for tool in sqlite3 ffmpeg; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is missing"
    exit 77
  fi
done

source "$(dirname "$0")/harness.sh"

readonly memory_limit_mib=${PIVRA_BLACKBOX_MEMORY_LIMIT_MIB:-500}
photos=$tmp/Photos
source_id=

describe_failure() {
  if [[ -n $source_id && -f $db ]]; then
    echo "----- the catalog now -----"
    sql "SELECT name || ' ' || width || 'x' || height || ' key=' || ifnull(thumbnail_key, '-')
           || ' failed=' || thumbnail_failed FROM media ORDER BY name;"
  fi
}

# Checks, while the program runs, that its peak memory stayed under the limit.
expect_small_peak() {
  local peak
  peak=$(peak_memory_mib)
  note "$1: peak memory ${peak} MiB"
  ((peak < memory_limit_mib)) || fail "$1: Pivra took ${peak} MiB, not under ${memory_limit_mib} MiB"
}

# Waits until every photo has its thumbnail and every bomb its failure mark.
expect_thumbnails() {
  wait_for_catalog "SELECT count(*) FROM media WHERE name LIKE 'photo-%' AND thumbnail_key IS NOT NULL;" 3
  wait_for_catalog "SELECT count(*) FROM media WHERE name LIKE 'bomb.%' AND thumbnail_failed=2 AND thumbnail_key IS NULL;" 3
}

note "1. a folder of three photos and three bombs"
mkdir -p "$photos"
for colour in red green blue; do
  ffmpeg -nostdin -loglevel error -f lavfi -i "color=c=$colour:s=64x48" -frames:v 1 "$photos/photo-$colour.jpg"
done
"$write_bombs" "$photos" || fail "the bombs could not be written"
source_id=$("${sandboxed[@]}" "$add_source" "$photos" 2>/dev/null) || fail "no source could be written"

note "2. the first run indexes the folder and prepares thumbnails"
start_pivra
wait_for 'indexing ended: finished, 6 files' 0
expect_thumbnails
expect_small_peak "the first run"
stop_pivra

note "3. the program starts again: nothing changed, nothing to decode"
attempts=$home/cache/Pivra/RenderAttempts
start_pivra
wait_for 'indexing ended: finished, 6 files' 0
expect_thumbnails
expect_small_peak "the second run"
# A mark stands while its render runs, and the window may draw a preview at
# any time; one still there once the renders have settled was left behind.
deadline=$((SECONDS + timeout))
while [[ -n $(ls -A "$attempts" 2>/dev/null) ]]; do
  ((SECONDS < deadline)) || fail "renders left marks behind: $(ls "$attempts")"
  sleep 0.2
done
stop_pivra
note "the bombs were refused in both runs and the photos kept their thumbnails"

# Waits until the twenty GIFs and twenty progressive JPEGs are failed for good.
expect_large_bombs_failed() {
  wait_for_catalog "SELECT count(*) FROM media WHERE name LIKE 'large-%' AND thumbnail_failed=2;" 20
  wait_for_catalog "SELECT count(*) FROM media WHERE name LIKE 'progressive-%' AND thumbnail_failed=2
                      AND thumbnail_key IS NULL;" 20
}

note "4. fifty more photos, twenty GIFs and twenty progressive JPEGs of 15,800 x 15,800"
ffmpeg -nostdin -loglevel error -f lavfi -i "testsrc=s=640x480:r=50" -frames:v 50 "$photos/photo-%02d.jpg"
"$write_bombs" "$photos" 20 15800 || fail "the GIFs could not be written"
"$write_bombs" "$photos" 20 15800 progressive || fail "the progressive JPEGs could not be written"
start_pivra
wait_for 'indexing ended: finished, 96 files' 0
wait_for_catalog "SELECT count(*) FROM media WHERE name LIKE 'photo-%' AND thumbnail_key IS NOT NULL;" 53
expect_large_bombs_failed
expect_small_peak "the run with the large bombs"
stop_pivra

note "5. a killed encoding left a clip temporary; the next start tries no bomb again and removes it"
clip_folder=$home/data/Pivra/VideoPreviews/v1/ab
mkdir -p "$clip_folder"
left=$clip_folder/0B5D2C1E-3F4A-4B6C-8D7E-9F0A1B2C3D4E.mp4
echo "half a clip" >"$left"
start_pivra
wait_for 'indexing ended: finished, 96 files' 0
wait_for 'access pass done' 0
[[ ! -e $left ]] || fail "the clip temporary of the killed run is still there"
expect_large_bombs_failed
if grep -E 'thumbnails ended: [0-9]+ done, [1-9]' "$log"; then
  fail "a file failed for good was tried again"
fi
expect_small_peak "the run after"
stop_pivra
note "the large bombs were refused once, and not tried again"
