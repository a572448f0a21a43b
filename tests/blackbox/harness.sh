# The harness of the black-box runs: the real Pivra in a sandbox of its own
# (home, settings, data, cache and single-instance socket under a temporary
# folder, never the user's), followed through its log and its catalog.
#
# Sourced by a run after it has set `pivra` to the program. Makes the sandbox
# ($tmp, $home, and the catalog $db and settings $conf the program will use)
# and cleans up on exit: the program is killed if still running, the run's
# own `clean_up_run` (when defined) undoes what it set up, and $tmp goes
# unless PIVRA_BLACKBOX_KEEP is set. A failure prints the log, the settings
# and what the run's `describe_failure` (when defined) adds.

readonly skip=77
readonly timeout=60 # seconds any one awaited event may take

tmp=$(mktemp -d /tmp/pivra-blackbox.XXXXXX)
home=$tmp/home
db=$home/data/Pivra/Catalog.sqlite
conf=$home/config/Pivra/Pivra.conf
mkdir -p "$home/config" "$home/data" "$home/cache"
mkdir -m 700 "$home/runtime"

pid=
log=
run=0
found_line=0

# --- reporting and clean-up ---------------------------------------------------

note() { echo "blackbox: $*"; }

skip_now() {
  echo "skipped: $*"
  exit "$skip"
}

fail() {
  echo "blackbox: FAILED: $*" >&2
  if [[ -n $log && -f $log ]]; then
    echo "----- Pivra's log ($log) -----" >&2
    tail -n 200 "$log" >&2
  fi
  if [[ -f $conf ]]; then
    echo "----- $conf -----" >&2
    cat "$conf" >&2
  fi
  if declare -F describe_failure >/dev/null; then
    describe_failure >&2 || true
  fi
  exit 1
}

cleanup() {
  local status=$?
  if [[ -n $pid ]]; then
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  if declare -F clean_up_run >/dev/null; then
    clean_up_run
  fi
  if [[ -n ${PIVRA_BLACKBOX_KEEP:-} ]]; then
    echo "blackbox: kept $tmp" >&2
  else
    rm -rf "$tmp"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- the program ------------------------------------------------------------------

# The environment of every run of the program (and of the helpers that write
# its settings).
sandboxed=(env -u DBUS_SESSION_BUS_ADDRESS -u XDG_CONFIG_DIRS -u XDG_DATA_DIRS -u QT_MESSAGE_PATTERN
  HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache"
  XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="pivra.sources.info=true")

start_pivra() {
  run=$((run + 1))
  log=$tmp/pivra-$run.log
  # env replaces itself with the program, so $! is the program.
  "${sandboxed[@]}" "$pivra" </dev/null >"$log" 2>&1 &
  pid=$!
  note "run $run: Pivra started (pid $pid)"
}

running() {
  [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null && [[ $(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null) != Z ]]
}

# SIGTERM, as when the session ends: Pivra ends as a quit does.
stop_pivra() {
  kill -TERM "$pid"
  local deadline=$((SECONDS + timeout)) status=0
  while running; do
    if ((SECONDS >= deadline)); then
      kill -KILL "$pid"
      fail "Pivra did not end on SIGTERM"
    fi
    sleep 0.1
  done
  wait "$pid" || status=$?
  pid=
  note "run $run: Pivra ended (status $status)"
  ((status == 0)) || fail "Pivra ended with status $status on SIGTERM"
}

# The running program's peak resident memory so far, in MiB.
peak_memory_mib() {
  local kib
  kib=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) || true
  echo $((${kib:-0} / 1024))
}

log_mark() { wc -l <"$log"; }

# The log's lines after line $1.
since() { tail -n "+$(($1 + 1))" "$log"; }

# Sets found_line to the number of the first line after line $2 of the log
# that matches the extended regular expression $1 whole (so a line still
# being written never matches). The program is followed through its
# "pivra.sources" log lines: after each folder access pass one
# `source "<name>": online <path>` or `offline` line per folder source and
# then `access pass done`; at the end of each indexing run that was not
# replaced `indexing ended: <state>, <n> files`.
wait_for() {
  local pattern="^(pivra\.sources: )?$1\$" after=$2 deadline=$((SECONDS + timeout)) found
  while :; do
    found=$(grep -n -m1 -E -- "$pattern" < <(since "$after") | cut -d: -f1 || true)
    if [[ -n $found ]]; then
      found_line=$((after + found))
      return
    fi
    running || fail "Pivra ended while awaited: $1"
    ((SECONDS < deadline)) || fail "not seen within ${timeout}s: $1"
    sleep 0.1
  done
}

# The state the last indexing run awaited ended in.
ended_state() { sed -n "${found_line}p" "$log" | sed -E 's/.*indexing ended: ([a-z]+),.*/\1/'; }

# --- the catalog ----------------------------------------------------------------------

sql() { sqlite3 -batch -noheader -separator ' ' -cmd '.timeout 10000' "$db" "$1"; }

# Waits until the query $1 answers $2, while the program runs.
wait_for_catalog() {
  local deadline=$((SECONDS + timeout)) answer
  while :; do
    answer=$(sql "$1" 2>/dev/null || true)
    [[ $answer == "$2" ]] && return
    running || fail "Pivra ended while awaiting the catalog to answer $2 to: $1 (it answers $answer)"
    ((SECONDS < deadline)) || fail "the catalog did not answer $2 within ${timeout}s to: $1 (it answers $answer)"
    sleep 0.2
  done
}
