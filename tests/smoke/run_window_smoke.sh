#!/usr/bin/env bash
# Runs window_smoke.py under Xvfb with a private session bus and accessibility bus. The
# program is copied to a folder of its own, so that the settings it keeps beside itself are
# the test's, not those of the build the developer runs.
set -euo pipefail
program=$1 source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/quillbase-smoke.XXXXXX")
xvfb=
trap '[[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
cp "$program" "$work/quillbase"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work"
# Under the sanitizers: libxkbcommon (the keyboard map Qt reads when it connects to the X
# display) hands strndup a counted string without its end, which strict_string_checks
# reports. The program's own code is checked with it by every other test.
if [[ -n "${ASAN_OPTIONS:-}" ]]; then
  export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
fi
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Our own Xvfb: with -displayfd it picks a free display itself and writes its number only
# once it accepts connections, so the program never dials a display that is not up yet or
# is someone else's (xvfb-run guesses the number from lock files and hides the server's
# errors). It listens on its local socket only, which lets any local client in: the
# display lives as long as this test. -noreset: by default the server resets when its last
# client leaves, dropping whoever connects meanwhile; the accessibility bus launcher is such
# a client (it sets a property on the root window and goes), and the program, starting at
# that moment, found no display.
exec {ready}<> <(:)
Xvfb -displayfd "$ready" -nolisten tcp -noreset -screen 0 1280x1024x24 \
  >"$work/xvfb.log" 2>&1 &
xvfb=$!
display=
if ! read -r -t 30 display <&"$ready" || [[ -z "$display" ]]; then
  echo "window smoke test: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
exec {ready}<&-
export DISPLAY=":$display"

status=0
dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  launcher=$!
  trap "kill $launcher 2>/dev/null || true" EXIT
  /usr/bin/python3 "$1/tests/smoke/window_smoke.py" "$2/quillbase" "$1"
' smoke "$source" "$work" || status=$?
if [[ $status -ne 0 ]]; then
  echo "window smoke test: the log of Xvfb on :$display:" >&2
  cat "$work/xvfb.log" >&2
fi
exit "$status"
