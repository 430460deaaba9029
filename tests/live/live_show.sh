#!/usr/bin/env bash
# live_show.sh QUINDLE CASE [ARTIFACT_DIR]: one end-to-end case of the live show in a
# private X server (Xvfb, 1024x768), driven by keys and clicks sent with xdotool.
# Exit 0 when the case passes, 77 when the tools are missing (ctest counts it skipped).
set -u
[ -n "${LIVE_SHOW_TRACE:-}" ] && set -x

quindle=$(realpath "$1")
case_name=$2
artifacts=${3:-}

for tool in xvfb-run Xvfb xauth xdotool import; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done

if [ -z "${LIVE_SHOW_IN_XVFB:-}" ]; then
  export LIVE_SHOW_IN_XVFB=1
  exec timeout 90 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

dialog_title='korvelia - quindle07 demo competition'
show_title='quindle07 super fast demo'
error_title='error in script -> loading data'

work=$(mktemp -d)
quindle_pid=
watcher_pid=
cleanup() {
  [ -n "$watcher_pid" ] && kill "$watcher_pid" 2>/dev/null
  [ -n "$quindle_pid" ] && kill "$quindle_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL ($case_name): $*"
  if [ -n "$artifacts" ]; then
    mkdir -p "$artifacts"
    import -window root "$artifacts/screen.png" 2>/dev/null && echo "screen at failure: $artifacts/screen.png"
  fi
  exit 1
}

# A show that runs until Escape: one radial blur layer over the whole song (no data file).
write_script() {
  local quit=$1
  printf 'quitpat %s\npattern 0 ff\n{\n\tradialblur 0 ff 0 0 x 20 30 x\n}\n' "$quit" >"$work/script.txt"
}

start_quindle() {
  (cd "$work" && exec "$quindle" "$@") >"$work/out.txt" 2>"$work/err.txt" &
  quindle_pid=$!
}

# Sets `window` to the first visible window with exactly this title, waiting up to 10 s.
# A search that meets a window being destroyed ends with an X error: it is repeated.
wait_window() {
  window=
  for _ in $(seq 100); do
    window=$(timeout 2 xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$window" ] && return
    sleep 0.1
  done
  fail "no window \"$1\" appeared"
}

# Gives a window the keyboard focus and types keys into it. Without a window manager the
# focus is set directly; a try that does not take within 3 s is repeated.
send_keys() {
  local target=$1
  shift
  for _ in 1 2 3; do
    if timeout 3 xdotool windowfocus --sync "$target" 2>/dev/null; then
      xdotool key --clearmodifiers "$@"
      return
    fi
  done
  fail "window $target never took the keyboard focus"
}

# Clicks at (x, y) inside a window. The click is a separate command so that it goes through
# the X test extension like a real one (a click aimed at a window is a synthetic event,
# which SDL ignores).
click_in() {
  xdotool mousemove --window "$1" --sync "$2" "$3"
  xdotool click 1
}

# Waits up to 15 s for quindle to end and checks its exit code.
expect_exit() {
  local want=$1 code
  for _ in $(seq 150); do
    kill -0 "$quindle_pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$quindle_pid" 2>/dev/null; then
    echo "windows:"
    for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do echo "  $w $(xdotool getwindowname "$w")"; done
    cat "$work/err.txt"
    fail "quindle still runs 15 s after the last key"
  fi
  wait "$quindle_pid"
  code=$?
  quindle_pid=
  [ "$code" -eq "$want" ] || { cat "$work/err.txt"; fail "exit code $code, expected $want"; }
}

# Geometry of a window as X, Y, WIDTH and HEIGHT, waiting up to 5 s for the expected one:
# a window manager (or none) may move it after it appeared.
expect_geometry() {
  local window=$1 want=$2 got=
  for _ in $(seq 50); do
    eval "$(xdotool getwindowgeometry --shell "$window")"
    got="$X,$Y ${WIDTH}x$HEIGHT"
    [ "$got" = "$want" ] && return 0
    sleep 0.1
  done
  fail "window at $got, expected $want"
}

# A screenshot of a window's place on the screen with more than `min` colours: drawn, not blank.
expect_drawn() {
  local window=$1 min=$2 colours
  eval "$(xdotool getwindowgeometry --shell "$window")"
  sleep 0.3
  import -window root -crop "${WIDTH}x${HEIGHT}+$X+$Y" +repage "$work/shot.png" || fail "no screenshot"
  colours=$(identify -format '%k' "$work/shot.png")
  [ -n "$artifacts" ] && mkdir -p "$artifacts" && cp "$work/shot.png" "$artifacts/$case_name.png"
  [ "$colours" -gt "$min" ] || fail "the window shows $colours colours: blank"
}

# The tune may fail to load or the machine may have no sound device: that message box is
# answered so the show goes on silently, as a user would.
dismiss_music_boxes() {
  (
    while sleep 0.2; do
      for w in $(xdotool search --onlyvisible --name '^fmod player init failed$' 2>/dev/null); do
        xdotool windowfocus --sync "$w" key Return 2>/dev/null
      done
    done
  ) &
  watcher_pid=$!
}

export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}
dismiss_music_boxes

case "$case_name" in
  enter_fullscreen)
    write_script ff
    start_quindle
    wait_window "$dialog_title"; dialog=$window
    expect_geometry "$dialog" "285,272 453x224"  # centred: (1024 - 453) / 2, (768 - 224) / 2
    expect_drawn "$dialog" 100
    send_keys "$dialog" Return
    wait_window "$show_title"; show=$window
    expect_geometry "$show" "0,0 1024x768"
    send_keys "$show" Escape
    expect_exit 0
    ;;
  windowed_keys)
    write_script ff
    start_quindle
    wait_window "$dialog_title"; dialog=$window
    send_keys "$dialog" Down Return
    wait_window "$show_title"; show=$window
    expect_geometry "$show" "192,144 640x480"
    send_keys "$show" a space F1 Escape
    expect_exit 0
    ;;
  windowed_mouse)
    write_script ff
    start_quindle
    wait_window "$dialog_title"; dialog=$window
    click_in "$dialog" 388 192  # the "windowed" radio button
    click_in "$dialog" 388 22   # OK
    wait_window "$show_title"; show=$window
    expect_geometry "$show" "192,144 640x480"
    send_keys "$show" Escape
    expect_exit 0
    ;;
  windowed_option)
    write_script ff
    start_quindle --windowed
    wait_window "$show_title"; show=$window
    expect_geometry "$show" "192,144 640x480"
    xdotool search --name "^$dialog_title\$" >/dev/null 2>&1 && fail "the dialog appeared despite --windowed"
    send_keys "$show" Escape
    expect_exit 0
    ;;
  dialog_escape)
    write_script ff
    start_quindle
    wait_window "$dialog_title"; dialog=$window
    send_keys "$dialog" Escape
    expect_exit 1
    xdotool search --name "^$show_title\$" >/dev/null 2>&1 && fail "the show opened after Escape in the dialog"
    ;;
  dialog_cancel_button)
    write_script ff
    start_quindle
    wait_window "$dialog_title"; dialog=$window
    click_in "$dialog" 388 47  # Abbrechen
    expect_exit 1
    ;;
  quit_order)
    write_script 0  # the song starts at order 0, so the show ends at once
    start_quindle
    wait_window "$dialog_title"; dialog=$window
    send_keys "$dialog" Return
    expect_exit 1
    ;;
  message_box)
    printf 'pattern 0 1\n{\n\tbitmap 0 1 0 0 missing.pcx no no x\n}\n' >"$work/script.txt"
    start_quindle --windowed
    wait_window "$error_title"; box=$window
    expect_drawn "$box" 2
    send_keys "$box" Return
    expect_exit 0
    ;;
  *)
    echo "unknown case $case_name"
    exit 2
    ;;
esac
echo "PASS ($case_name)"
