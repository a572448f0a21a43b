#!/usr/bin/env bash
# The user's photos on a disk survive the disk going, other disks taking its
# place, and its return: the real Pivra runs against loop-mounted ext4 images
# and is watched only through its log, its settings and its catalog file.
#
#   disk_swap.sh PIVRA ADD_SOURCE
#
# PIVRA is the program, ADD_SOURCE the helper that gives a not yet started
# Pivra its folder source (add_source.cpp). Runs as root in a mount namespace
# of its own, so the disks it plugs are seen by nothing else on the machine;
# exits 77 (skipped) where that or loop devices cannot be had.
#
# The program is followed through its "pivra.sources" log lines: after each
# folder access pass one `source "<name>": online <path>` or `offline` line
# per folder source and then `access pass done`; at the end of each indexing
# run that was not replaced `indexing ended: <state>, <n> files`.
#
# Disks are mounted through device nodes of their own under /dev, one per
# "port": the program takes loop devices for no disk at all, and a node per
# port lets a second disk come in where the first one was (the same port, the
# same mount point) and the first come back on another port.
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 PIVRA ADD_SOURCE" >&2
  exit 2
fi
pivra=$(realpath "$1")
add_source=$(realpath "$2")

if [[ -z ${PIVRA_BLACKBOX_NAMESPACE:-} ]]; then
  if (($(id -u) != 0)); then
    echo "skipped: mounting disks needs root"
    exit 77 # skipped
  fi
  for tool in unshare mount umount losetup mknod mkfs.ext4 sqlite3 ffmpeg; do
    if ! command -v "$tool" >/dev/null; then
      echo "skipped: $tool is missing"
      exit 77 # skipped
    fi
  done
  if ! unshare --mount --propagation private true 2>/dev/null; then
    echo "skipped: no mount namespace can be made here"
    exit 77 # skipped
  fi
  PIVRA_BLACKBOX_NAMESPACE=1 exec unshare --mount --propagation private bash "$0" "$pivra" "$add_source"
fi

source "$(dirname "$0")/harness.sh"

mnt=$tmp/mnt/disk
side=$tmp/mnt/side
photos=$mnt/Photos
node_prefix=/dev/pivra-blackbox-$$-port
mkdir -p "$mnt" "$side"

loops=()
source_id=
album_id=

describe_failure() {
  if [[ -n $source_id && -f $db ]]; then
    echo "----- the catalog now -----"
    sql "SELECT name || ' favourite=' || is_favorite FROM media WHERE source_id='$source_id' ORDER BY name;
         SELECT count(*) || ' album links' FROM album_media WHERE album_id='$album_id';"
  fi
}

clean_up_run() {
  for point in "$side" "$mnt" "$mnt" "$mnt"; do
    if mountpoint -q "$point"; then
      umount "$point" 2>/dev/null || umount -l "$point" || true
    fi
  done
  for loop in "${loops[@]}"; do
    losetup -d "$loop" 2>/dev/null || true
  done
  rm -f "$node_prefix"*
}

# --- disks ----------------------------------------------------------------------

# A disk image holding a folder "Photos" with one small JPEG per colour
# given, each of its own size, named after the disk.
make_disk() {
  local name=$1 image=$2
  shift 2
  local folder=$tmp/$name-files/Photos index=0
  mkdir -p "$folder"
  for colour in "$@"; do
    index=$((index + 1))
    ffmpeg -nostdin -loglevel error -f lavfi -i "color=c=$colour:s=$((48 + 16 * index))x$((32 + 12 * index))" \
      -frames:v 1 "$folder/$name-$index.jpg"
  done
  mkfs.ext4 -q -F -L PHOTOS -d "$tmp/$name-files" "$image" 8M >/dev/null
}

# Attaches an image to a free loop device and sets `attached` to it.
attached=
attach() {
  attached=$(losetup --find --show "$1") || skip_now "no loop device can be attached"
  loops+=("$attached")
}

detach() {
  losetup -d "$1"
  local kept=()
  for loop in "${loops[@]}"; do
    [[ $loop == "$1" ]] || kept+=("$loop")
  done
  loops=("${kept[@]}")
}

# Mounts disk $1, on loop device $2, at $4 through port $3's device node.
plug() {
  local disk=$1 loop=$2 node=$node_prefix$3 point=$4
  rm -f "$node"
  mknod "$node" b "$((16#$(stat -c '%t' "$loop")))" "$((16#$(stat -c '%T' "$loop")))" \
    || skip_now "no device node can be made under /dev"
  mount -t ext4 "$node" "$point"
  note "disk $disk on $loop, mounted at $point through $node"
}

# Unmounts $1, waiting while the program still reads a file on it.
unplug() {
  local deadline=$((SECONDS + timeout))
  until umount "$1" 2>/dev/null; do
    ((SECONDS < deadline)) || fail "$1 stayed busy"
    sleep 0.1
  done
}

# Waits until the program has settled after line $1: its last access pass
# found the folder source $2 (online or offline) and the indexing run after
# that pass has ended; sets found_line to the end of that run. A busy machine
# may answer with passes in between: only the state it settles in counts.
await_settled() {
  local after=$1 want=$2 deadline=$((SECONDS + timeout)) pass state ended
  while :; do
    pass=$(since "$after" | grep -n -E '^(pivra\.sources: )?access pass done$' | tail -n1 | cut -d: -f1 || true)
    if [[ -n $pass ]]; then
      state=$(since "$after" | head -n "$pass" | grep -o -E 'source "Photos": (online|offline)' | tail -n1 || true)
      ended=$(since "$((after + pass))" | grep -n -E '^(pivra\.sources: )?indexing ended: [a-z]+, [0-9]+ files$' \
        | tail -n1 | cut -d: -f1 || true)
      if [[ $state == "source \"Photos\": $want" && -n $ended ]]; then
        found_line=$((after + pass + ended))
        return
      fi
    fi
    running || fail "Pivra ended while awaited to settle with the source $want"
    ((SECONDS < deadline)) || fail "the source did not settle $want within ${timeout}s"
    sleep 0.2
  done
}

# Waits for the program to settle with the folder source offline after line
# $1; no pass since then may have found the folder.
await_offline_pass() {
  await_settled "$1" offline
  local online
  online=$(grep -m1 -F 'source "Photos": online' < <(since "$1") || true)
  [[ -z $online ]] || fail "$2: the folder source came online on a disk that is not its own ($online)"
}

# Waits for the program to settle with the folder source online at its
# place after line $1, its indexing finished.
await_online_pass() {
  await_settled "$1" online
  grep -q -F "source \"Photos\": online $photos" < <(since "$1") || fail "$2: the folder was found elsewhere"
  [[ $(ended_state) == finished ]] || fail "$2: indexing ended $(ended_state), not finished"
}

# --- the catalog ----------------------------------------------------------------------

# Sets rows, favourites, links and contents: the source's rows, the
# favourites among them and the album's links, and a listing of all three
# that tells the same rows from others.
snapshot() {
  local counts
  counts=$(sql "SELECT (SELECT count(*) FROM media WHERE source_id='$source_id'),
                       (SELECT count(*) FROM media WHERE source_id='$source_id' AND is_favorite=1),
                       (SELECT count(*) FROM album_media WHERE album_id='$album_id');")
  read -r rows favourites links <<<"$counts"
  contents=$(sql "SELECT id || ' ' || name || ' favourite=' || is_favorite FROM media
                    WHERE source_id='$source_id' ORDER BY id;
                  SELECT 'in album: ' || media_id FROM album_media WHERE album_id='$album_id' ORDER BY media_id;")
}

report() {
  snapshot
  note "$1: rows=$rows favourites=$favourites album links=$links"
}

# Checks that the source's rows, favourites and album links are what they
# were after the user's edits.
expect_unchanged() {
  report "$1"
  if [[ $contents != "$kept_contents" ]]; then
    fail "$1: the catalog changed
--- before ---
$kept_contents
--- now ---
$contents"
  fi
}

# --- the scenario -----------------------------------------------------------------------

note "1. two disks, each with a folder Photos"
make_disk a "$tmp/a.img" red green blue yellow
make_disk b "$tmp/b.img" white black purple
attach "$tmp/a.img"
loop_a=$attached
plug A "$loop_a" 1 "$mnt"

note "2. a folder source for $photos, a first run indexes it"
source_id=$("${sandboxed[@]}" "$add_source" "$photos" 2>"$tmp/bookmark") \
  || fail "no source could be written: $(cat "$tmp/bookmark")"
note "source $source_id, bookmark $(cat "$tmp/bookmark")"
start_pivra
await_online_pass 0 "the first start"
report "after the first indexing"
((rows == 4)) || fail "the first indexing found $rows of the 4 photos"
stop_pivra

note "3. favourites and an album"
album_id=$(tr '[:lower:]' '[:upper:]' </proc/sys/kernel/random/uuid)
now="((julianday('now') - 2440587.5) * 86400.0)"
sql "UPDATE media SET is_favorite=1 WHERE id IN
       (SELECT id FROM media WHERE source_id='$source_id' ORDER BY name LIMIT 2);
     INSERT INTO albums(id, name, created) VALUES ('$album_id', 'Holiday', $now);
     INSERT INTO album_media(album_id, media_id, added)
       SELECT '$album_id', id, $now FROM media WHERE source_id='$source_id' ORDER BY name DESC LIMIT 3;"
report "the user's edits"
((rows == 4 && favourites == 2 && links == 3)) || fail "the edits did not land"
kept_contents=$contents

note "4. Pivra runs again, disk A is unplugged"
start_pivra
await_online_pass 0 "the second start"
expect_unchanged "after the indexing at start"
mark=$(log_mark)
unplug "$mnt"
detach "$loop_a" # so disk B may well come in on the same loop device
await_offline_pass "$mark" "disk A unplugged"
expect_unchanged "disk A unplugged, source offline"

note "5. disk B at the same mount point, through the same port"
attach "$tmp/b.img"
loop_b=$attached
mark=$(log_mark)
plug B "$loop_b" 1 "$mnt"
await_offline_pass "$mark" "disk B in A's place"
expect_unchanged "disk B in A's place, source offline"
mark=$(log_mark)
unplug "$mnt"
await_offline_pass "$mark" "disk B unplugged"
expect_unchanged "disk B unplugged, source offline"

note "6. a tmpfs with a Photos folder at the mount point"
mark=$(log_mark)
mount -t tmpfs -o size=4m pivra-blackbox "$mnt"
mkdir "$photos"
cp "$tmp/b-files/Photos/b-1.jpg" "$photos/"
# The program takes a tmpfs for no disk, so it looks again only when a disk
# comes: disk B, elsewhere.
plug B "$loop_b" 3 "$side"
await_offline_pass "$mark" "a tmpfs in A's place"
expect_unchanged "a tmpfs in A's place, source offline"
mark=$(log_mark)
unplug "$side"
await_offline_pass "$mark" "disk B unplugged again"
umount "$mnt"

note "7. disk A comes back on another loop device and port"
attach "$tmp/a.img" # B's loop device is still attached: another one
loop_a=$attached
mark=$(log_mark)
plug A "$loop_a" 2 "$mnt"
await_online_pass "$mark" "disk A back"
expect_unchanged "disk A back, source online"

note "8. Pivra starts again"
stop_pivra
start_pivra
await_online_pass 0 "the next start"
expect_unchanged "after the next start, source online"
stop_pivra

note "every step kept the source's $rows rows, $favourites favourites and $links album links"
