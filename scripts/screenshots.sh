#!/usr/bin/env bash
# Makes the README's pictures from the real program on an X server of its own:
# docs/vexlo-folded.png after a ping of 127.0.0.1, and docs/vexlo-unfolded.png with the host
# list shown, both grown to twice their size so that they read on a page; and
# docs/vexlo-unfolded-ratio2.png, the same at a device pixel ratio of 2 (QT_SCALE_FACTOR=2), as
# drawn. The window alone, cut from the screen, see-through pixels left transparent.
#   BUILD_DIR  the build folder to use (default build/default, configured and built if needed)
# The ping needs raw sockets: run as root, or give the binary cap_net_raw.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build/default}
OUT=docs

for tool in Xvfb xdotool import convert display; do
  command -v "$tool" >/dev/null || { echo "screenshots: '$tool' is missing (scripts/install-deps.sh)" >&2; exit 1; }
done

if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake --preset default >/dev/null
fi
cmake --build "$BUILD_DIR" -j "${JOBS:-2}" --target vexlo >/dev/null

work=$(mktemp -d)
xvfb_pid=
vexlo_pid=
cleanup() {
  [ -z "$vexlo_pid" ] || kill "$vexlo_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The server names the first free display itself once it takes clients: no guessed number.
exec 3>"$work/display"
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 800x600x24 >/dev/null 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
[ -s "$work/display" ] || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
xdotool getmouselocation >/dev/null || { echo "screenshots: Xvfb on $DISPLAY takes no client" >&2; exit 1; }

# A colour found in no picture of the program lies behind the window and becomes transparent.
key='#2563AD'
convert -size 800x600 "xc:$key" "$work/desk.png"
# display sets the root's picture and then exits non-zero for want of a window of its own.
display -window root "$work/desk.png" || true
import -window root "$work/screen.png"
[ "$(convert "$work/screen.png" -format '%[hex:p{0,0}]' info:)" = "${key#\#}" ] ||
  { echo "screenshots: cannot colour the desktop" >&2; exit 1; }

# A private copy: the host list beside it is the default one, and nobody's own list is touched.
cp "$BUILD_DIR/app/vexlo" "$work/vexlo"

# Counts the pixels of one colour in a part of the screen.
count() { # count SHOT WxH+X+Y COLOUR
  convert "$1" -crop "$2" +repage -fill black +opaque "$3" -fill white -opaque "$3" \
    -format '%[fx:int(mean*w*h+0.5)]' info:
}

shots() { # shots SCALE NAME-FOLDED NAME-UNFOLDED (a name of - takes no picture)
  local s=$1 window= green=0
  QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$s "$work/vexlo" >"$work/vexlo.log" 2>&1 &
  vexlo_pid=$!
  for _ in $(seq 100); do
    window=$(xdotool search --onlyvisible --name '^Vexlo$' 2>/dev/null | head -n1) && [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || { echo "screenshots: the window did not appear" >&2; cat "$work/vexlo.log" >&2; exit 1; }
  eval "$(xdotool getwindowgeometry --shell "$window")"

  # The edit box holds 127.0.0.1 and has the focus: Enter pings it.
  xdotool key Return
  for _ in $(seq 50); do
    import -window root "$work/screen.png"
    green=$(count "$work/screen.png" "$((161 * s))x$((13 * s))+$((X + 8 * s))+$((Y + 42 * s))" '#008000')
    [ "$green" -gt 0 ] && break
    sleep 0.1
  done
  if [ "$green" -eq 0 ]; then
    echo "screenshots: no reply from 127.0.0.1; the ping needs root or cap_net_raw" >&2
    exit 1
  fi
  shot "$2" 60 "$s"

  xdotool keydown ctrl key e keyup ctrl
  for _ in $(seq 50); do
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "$HEIGHT" = $((240 * s)) ] && break
    sleep 0.1
  done
  [ "$HEIGHT" = $((240 * s)) ] || { echo "screenshots: Ctrl+E did not unfold the window" >&2; exit 1; }
  sleep 0.3
  shot "$3" 240 "$s"

  # Folded again, the edit box has the focus, where Esc ends the program.
  xdotool keydown ctrl key e keyup ctrl
  sleep 0.3
  xdotool key Escape
  for _ in $(seq 50); do
    kill -0 "$vexlo_pid" 2>/dev/null || break
    sleep 0.1
  done
  kill "$vexlo_pid" 2>/dev/null || true
  wait "$vexlo_pid" 2>/dev/null || true
  vexlo_pid=
}

shot() { # shot NAME HEIGHT SCALE: at ratio 1 grown to twice the size, at ratio 2 as drawn
  [ "$1" = - ] && return
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$((210 * $3))x$(($2 * $3))+$X+$Y" +repage -transparent "$key" \
    -scale "$((200 / $3))%" "$OUT/$1"
  echo "$OUT/$1"
}

mkdir -p "$OUT"
shots 1 vexlo-folded.png vexlo-unfolded.png
shots 2 - vexlo-unfolded-ratio2.png
