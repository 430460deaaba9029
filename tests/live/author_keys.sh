#!/usr/bin/env bash
# author_keys.sh QUINDLE QUINDLE_TOOL CASE: the author's run (--edit) of the sample show in a
# private X server (Xvfb), driven by xdotool and read back through --timeline.
#   keys     Right, Left and Space change (or stop) the position the timeline shows
#   latency  a saved script shows on the screen within a second; prints the measured time
# Exit 0 when the case passes, 77 when the tools are missing (ctest counts it skipped).
set -u
[ -n "${LIVE_SHOW_TRACE:-}" ] && set -x

quindle=$(realpath "$1")
tool=$(realpath "$2")
case_name=$3

for t in xvfb-run Xvfb xauth xdotool; do
  if ! command -v "$t" >/dev/null 2>&1; then
    echo "SKIP: $t is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done

if [ -z "${AUTHOR_KEYS_IN_XVFB:-}" ]; then
  export AUTHOR_KEYS_IN_XVFB=1
  exec timeout 110 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

show_title='quindle07 super fast demo'
work=$(mktemp -d)
quindle_pid=
cleanup() {
  [ -n "$quindle_pid" ] && kill "$quindle_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL ($case_name): $*"
  echo "--- standard error:"
  cat "$work/err.txt" 2>/dev/null
  echo "--- timeline (last lines):"
  tail -n 5 "$work/show/timeline.tsv" 2>/dev/null
  exit 1
}

now() { date +%s.%N; }
# Seconds from $1 to now, as a decimal.
since() { awk -v from="$1" -v to="$(now)" 'BEGIN { printf "%.3f", to - from }'; }
# Whether the decimal $1 is less than $2.
less() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }

"$tool" make-show "$work/show" >/dev/null || fail "make-show failed"
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
(cd "$work/show" && exec "$quindle" --edit --timeline timeline.tsv) >"$work/out.txt" 2>"$work/err.txt" &
quindle_pid=$!

window=
for _ in $(seq 100); do
  window=$(timeout 2 xdotool search --onlyvisible --name "^$show_title\$" 2>/dev/null | head -n 1)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "the show's window did not appear"

keys() {
  for _ in 1 2 3; do
    if timeout 3 xdotool windowfocus --sync "$window" 2>/dev/null; then
      xdotool key --clearmodifiers "$@"
      return
    fi
  done
  fail "the window never took the keyboard focus"
}

# The last complete line's order, row, and the whole line.
last_line() { tail -n 2 "$work/show/timeline.tsv" | head -n 1; }
order_now() { last_line | cut -f3; }
row_now() { last_line | cut -f4; }
# "order row" as one number, for comparisons.
place_now() { last_line | awk -F'\t' '{ print $3 * 256 + $4 }'; }

# Waits up to $1 seconds until the expression in $2 (over $(order_now) and friends) holds.
wait_until() {
  local limit=$1 test=$2 start
  start=$(now)
  while less "$(since "$start")" "$limit"; do
    eval "$test" && return 0
    sleep 0.02
  done
  return 1
}

wait_until 10 '[ -s "$work/show/timeline.tsv" ] && [ "$(wc -l <"$work/show/timeline.tsv")" -gt 3 ]' ||
  fail "no timeline lines"
# The timeline has one more column than a capture's: the wall-clock time of the frame.
columns=$(last_line | awk -F'\t' '{ print NF }')
[ "$columns" -eq 6 ] || fail "timeline lines have $columns columns, expected 6"

case "$case_name" in
  keys)
    keys Right Right
    wait_until 3 '[ "$(order_now)" -ge 2 ]' || fail "Right Right did not reach order 2 (at $(order_now))"
    before=$(order_now)
    keys Left
    wait_until 3 '[ "$(order_now)" -lt '"$before"' ]' || fail "Left did not go back from order $before"
    keys space
    sleep 0.3
    paused=$(place_now)
    sleep 0.6
    [ "$(place_now)" = "$paused" ] || fail "the position moved while paused"
    keys space
    wait_until 3 '[ "$(place_now)" != '"$paused"' ]' || fail "Space did not resume the song"
    ;;
  latency)
    # Block 0 has three layers; the save adds a fourth, a radial blur over orders 0 and 1.
    # (sed -i saves as editors do: a new file renamed over the old one.)
    # The sample script's lines end in CR LF.
    sed -i 's/^bitmap     0 1 08 20  title.pcx no fade2 -\r$/&\nradialblur 0 1 00 20  - 9000 10 -\r/' \
      "$work/show/script.txt"
    saved=$(now)
    grep -q '^radialblur 0 1 00 20' "$work/show/script.txt" || fail "the script was not edited"
    wait_until 3 'last_line | cut -f5 | grep -q "0\.3"' || fail "the saved change did not show within 3 s"
    latency=$(since "$saved")
    echo "save to screen: $latency s"
    less "$latency" 1 || fail "the saved change took $latency s to show"
    ;;
  *)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
keys Escape
for _ in $(seq 100); do
  kill -0 "$quindle_pid" 2>/dev/null || break
  sleep 0.1
done
kill -0 "$quindle_pid" 2>/dev/null && fail "quindle still runs after Escape"
wait "$quindle_pid"
code=$?
quindle_pid=
[ "$code" -eq 0 ] || fail "exit code $code after Escape, expected 0"
echo "PASS ($case_name)"
