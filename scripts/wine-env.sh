#!/bin/bash
# Sourced by the scripts that run Windows programs: a scratch Wine prefix
# inside the build tree, a wineserver kept alive, and (when asked) a private
# Xvfb display.
#   wl_wine_prefix BUILD_DIR [fresh]       only makes the prefix (no display
#                                          needed; can run beside a build)
#   wl_wine_start BUILD_DIR [fresh] [xvfb]
#   wl_wine_stop
wl_wine_prefix() {
  local build="$1" fresh="${2:-}"
  export WINEPREFIX="$build/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # The Recycle Bin: Wine keeps it in the XDG trash; without one it cannot
  # recycle at all. Keep it inside the build tree, away from the user's own.
  export XDG_DATA_HOME="$build/xdg-data"
  if [ "$fresh" = fresh ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX" "$XDG_DATA_HOME"
  fi
  mkdir -p "$XDG_DATA_HOME"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
  fi
  # A second drive for the tests of offline systems: O: is the build tree's
  # offline-drive folder (a volume laid out like another Windows's).
  mkdir -p "$build/offline-drive"
  [ -e "$WINEPREFIX/dosdevices/o:" ] || ln -s "$build/offline-drive" "$WINEPREFIX/dosdevices/o:"
}

wl_wine_start() {
  local build="$1" fresh="${2:-}" xvfb="${3:-}"
  wl_wine_prefix "$build" "$fresh"
  if [ "$xvfb" = xvfb ]; then
    local n
    for n in $(seq 91 140); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      WL_XVFB_PID=$!
      export DISPLAY=":$n"
      for _ in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
      done
      break
    done
  fi
  wineserver -p
  # Start Wine's own background processes now, away from any pipe of the test
  # runner: a helper that inherits ctest's output pipe would hang the run.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
  # The same for the desktop process of the private display: the first
  # program that opens a window would start it, and it would keep that
  # program's output pipe open for as long as windows exist.
  if [ "$xvfb" = xvfb ]; then
    wine explorer.exe /desktop </dev/null >/dev/null 2>&1 &
    for _ in $(seq 1 50); do
      xwininfo -display "$DISPLAY" -root -children 2>/dev/null | grep -q explorer.exe && break
      sleep 0.1
    done
  fi
}

wl_wine_stop() {
  wineserver -k 2>/dev/null || true
  if [ -n "${WL_XVFB_PID:-}" ]; then
    kill "$WL_XVFB_PID" 2>/dev/null || true
    wait "$WL_XVFB_PID" 2>/dev/null || true
    WL_XVFB_PID=
  fi
}
