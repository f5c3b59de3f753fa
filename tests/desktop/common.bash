# Shared set-up of the desktop tests (sourced, not a test itself): a throwaway HOME and XDG folders,
# an Xvfb server on a free display with a window manager (openbox), optionally a tray (trayer) and
# the demo webcam server. Every process started here is ended by the exit trap.
set -euo pipefail

BIN=$(cd "${1:?usage: $0 <bin dir>}" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pictavo-desktop.XXXXXX")
PIDS=()

cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do
    for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  if [ -n "${KEEP_WORK:-}" ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
note() { echo "-- $*"; }

export HOME=$WORK/home XDG_CONFIG_HOME=$WORK/config XDG_DATA_HOME=$WORK/data
export XDG_CACHE_HOME=$WORK/cache XDG_RUNTIME_DIR=$WORK/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset SESSION_MANAGER WAYLAND_DISPLAY
# A test that made a session bus of its own (dbusmenu.bash) keeps it; the others have none.
[ -n "${PICTAVO_OWN_BUS:-}" ] || unset DBUS_SESSION_BUS_ADDRESS
export QT_QPA_PLATFORM=xcb
OPTIONS=$XDG_CONFIG_HOME/Pictavo/Options.xml
export PICTAVO_STATE_DUMP=$WORK/state.txt

# Waits until a command succeeds, at most $1 seconds.
wait_for() {
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.1
  done
}

start_x() {
  exec 5>"$WORK/display"
  Xvfb -displayfd 5 -screen 0 "${PICTAVO_SCREEN_SIZE:-1024x768}x24" -nolisten tcp -noreset >"$WORK/xvfb.log" 2>&1 &
  PIDS+=($!)
  exec 5>&-
  wait_for 10 test -s "$WORK/display" || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$WORK/display")"
  wait_for 10 xdpyinfo || fail "X server $DISPLAY not reachable"
  note "X server on $DISPLAY"
  start_wm
}

# A window manager, as a desktop has one: new windows get the focus and are placed by it.
start_wm() {
  openbox --sm-disable >"$WORK/openbox.log" 2>&1 &
  PIDS+=($!)
  wait_for 10 wm_running || fail "openbox did not take the screen: $(cat "$WORK/openbox.log")"
}

# Whether a window manager that follows the desktop conventions manages the screen.
wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }

start_tray() {
  trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    --expand true --transparent false >"$WORK/trayer.log" 2>&1 &
  TRAYER_PID=$!
  PIDS+=($TRAYER_PID)
  wait_for 20 tray_window || fail "trayer did not map its window"
}

# The tray's window id.
tray_window() { xsearch --onlyvisible --class trayer | head -n1 | grep .; }

# Window ids of the program's icon inside the tray (the tray reparents it into its own window).
# Every visible trayer window is looked into: one listed may be gone by the time it is read.
tray_icon() {
  local tray
  for tray in $(xsearch --onlyvisible --class trayer 2>/dev/null); do
    xwininfo -tree -id "$tray" 2>/dev/null | grep -i '"pictavo"' | awk '{print $1}' | head -n1 |
      grep . && return 0
  done
  return 1
}

# xdotool's search, asked again when it finds nothing: a search that meets a window vanishing
# while it walks the tree finds nothing at all (the program makes and drops windows as it starts).
xsearch() {
  local attempt
  for attempt in 1 2 3 4 5; do
    xdotool search "$@" 2>/dev/null && return 0
    sleep 0.1
  done
  return 1
}

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# The demo webcam server on a free port; its .cal file in DEMO_CAL, its address in DEMO_URL.
start_democam() {
  DEMO_CAL=$WORK/democam.cal
  "$BIN/democam" 0 --write-cal "$DEMO_CAL" >"$WORK/democam.out" 2>"$WORK/democam.log" &
  PIDS+=($!)
  wait_for 10 test -s "$WORK/democam.out" || fail "democam did not start: $(cat "$WORK/democam.log")"
  DEMO_URL=$(head -n1 "$WORK/democam.out")
  test -s "$DEMO_CAL" || fail "democam wrote no .cal"
}

# Starts Pictavo with the given arguments; its pid in PICTAVO_PID.
start_pictavo() {
  "$BIN/pictavo" "$@" >>"$WORK/pictavo.log" 2>&1 &
  PICTAVO_PID=$!
  PIDS+=($PICTAVO_PID)
  wait_for 10 test -S "$XDG_RUNTIME_DIR/TfoCamMain" || fail "Pictavo did not start: $(cat "$WORK/pictavo.log")"
}

# Waits (at most $1 seconds) until Pictavo has ended; its exit status in PICTAVO_STATUS.
wait_pictavo_end() {
  local end=$((SECONDS + $1))
  while kill -0 "$PICTAVO_PID" 2>/dev/null; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.05
  done
  set +e; wait "$PICTAVO_PID"; PICTAVO_STATUS=$?; set -e
}

# A line of the state dump that matches the pattern (the dump is rewritten five times a second).
state_line() { grep -E "$1" "$PICTAVO_STATE_DUMP" 2>/dev/null | head -n1 | grep .; }

screenshot() {
  [ -n "${PICTAVO_SCREENS:-}" ] || return 0
  mkdir -p "$PICTAVO_SCREENS"
  import -window root "$PICTAVO_SCREENS/$1.png" 2>/dev/null || true
}

# Visible windows of the program that are larger than the tray icon (menus, viewers), but the
# chooser, which opens by itself where there is no tray.
big_windows() {
  local id geometry WIDTH HEIGHT
  for id in $(xsearch --onlyvisible --classname pictavo 2>/dev/null); do
    [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "Choose a Webcam" ] && continue
    # A window gone since the search has no geometry: it is passed over.
    geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) || continue
    WIDTH=0 HEIGHT=0
    eval "$geometry"
    [ "$WIDTH" -gt 60 ] && [ "$HEIGHT" -gt 60 ] && echo "$id"
  done
  return 0
}

menu_is_open() { [ -n "$(big_windows)" ]; }

# The chooser's window id (it opens by itself where there is no tray).
chooser_window() { xsearch --onlyvisible --name '^Choose a Webcam$' | head -n1 | grep .; }

# Asks a window to close as a window manager's close button does (WM_DELETE_WINDOW).
close_window() {
  python3 - "$1" <<'PY'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
class Message(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 8)]
display = x.XOpenDisplay(None)
window = int(sys.argv[1])
event = Message(type=33, display=display, window=window, format=32,
                message_type=x.XInternAtom(display, b"WM_PROTOCOLS", 0))
event.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x.XFlush(display)
PY
}

# The grey spread of a rectangle of a window (0: one flat colour): whether pictures show there.
picture_spread() {
  import -window "$1" -crop "$2" +repage "$WORK/spread.png"
  convert "$WORK/spread.png" -colorspace Gray -format '%[fx:standard_deviation]' info:
}

# Right-clicks the tray icon; fails unless a menu opens. A freshly embedded icon may miss the
# first click, so the click is repeated a few times.
open_tray_menu() {
  local attempt
  wait_for 5 tray_icon || fail "no tray icon"
  for attempt in 1 2 3; do
    click_tray_icon 3 || continue
    wait_for 4 menu_is_open && return 0
  done
  fail "the tray menu did not open"
}

# Clicks the middle of the tray icon with the given button. The point is taken inside the icon's
# own window: xdotool's screen position of a window is off by the frame of a window manager.
click_tray_icon() {
  local icon
  icon=$(tray_icon) || return 1
  eval "$(xdotool getwindowgeometry --shell "$icon")"
  xdotool mousemove --window "$icon" $((WIDTH / 2)) $((HEIGHT / 2))
  sleep 0.3
  xdotool click "$1"
}

# Settings with the viewers' status bar on and every other switch off (a missing settings file
# turns every switch off; a file that lacks an element turns that switch on).
write_status_options() {
  mkdir -p "$(dirname "$OPTIONS")"
  printf '%s\r\n' '<?xml version="1.0" encoding="iso-8859-1"?>' '<Options>' \
    ' <AlwaysOnTop>0</AlwaysOnTop>' ' <SaveImages>0</SaveImages>' ' <SavePath/>' ' <Beep>0</Beep>' \
    ' <PropResize>0</PropResize>' ' <Status>-1</Status>' ' <SubDirectory>0</SubDirectory>' \
    ' <FirstLaunch>-1</FirstLaunch>' ' <Language/>' ' <LaunchWindows>0</LaunchWindows>' \
    ' <ScrollMosaic>0</ScrollMosaic>' ' <ProxyHost/>' ' <ProxyPort>0</ProxyPort>' ' <ProxyUser/>' \
    ' <ProxyPass/>' ' <OpenedCams/>' ' <Category Name=""/>' ' <LastUsed/>' '</Options>' >"$OPTIONS"
}
