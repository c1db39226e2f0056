# Sourced by scripts that run quillogen.exe under wine: a private X display
# and wine prefix for this run, both gone when the script exits.
#
#   wine_session_start   Xvfb on a display it picks itself (-displayfd, so
#                        parallel runs never collide), a new WINEPREFIX
#                        under $WINE_SESSION_DIR, and a resident wine
#                        process so that later starts are quick
#   "${wine_desktop[@]}" PROGRAM ...
#                        runs a program in a virtual desktop window, which
#                        gives the sheet a frame as Windows would
#   wine_path PATH       the Windows name (Z:\...) of an absolute path
# Needs Xvfb, wine and wine64 (Debian: xvfb wine wine64 fonts-wine).

WINE_SESSION_DIR=$(mktemp -d /tmp/quillo-wine.XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$WINE_SESSION_DIR/prefix"
wine_session_xvfb_pid=
wine_session_resident_pid=

wine_session_stop() {
  # Only what this session started: its wineserver and its X server.
  if [ -d "$WINEPREFIX" ]; then wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$wine_session_resident_pid" ]; then kill "$wine_session_resident_pid" 2>/dev/null || true; fi
  if [ -n "$wine_session_xvfb_pid" ]; then kill "$wine_session_xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$WINE_SESSION_DIR"
}

wine_session_start() {
  trap wine_session_stop EXIT
  local display_file="$WINE_SESSION_DIR/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  wine_session_xvfb_pid=$!
  # Xvfb writes the display number once it accepts clients.
  while [ ! -s "$display_file" ]; do
    kill -0 "$wine_session_xvfb_pid" 2>/dev/null || { echo "Xvfb did not start" >&2; return 1; }
    sleep 0.05
  done
  export DISPLAY=":$(cat "$display_file")"
  wineboot -i >/dev/null 2>&1
  # Keeps wine's system processes running between the programs of the run.
  wine cmd /c pause </dev/zero >/dev/null 2>&1 &
  wine_session_resident_pid=$!
}

wine_desktop=(wine explorer "/desktop=quillo,1024x768")

wine_path() {
  printf 'Z:%s' "${1//\//\\}"
}
