#!/usr/bin/env bash
# Runs window_smoke.py under Xvfb with a private session bus and accessibility bus. The
# program is copied to a folder of its own, so that the settings it keeps beside itself are
# the test's, not those of the build the developer runs.
set -euo pipefail
program=$1 source=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/quillbase-smoke.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/quillbase"
export XDG_RUNTIME_DIR="$work/runtime" HOME="$work"
# Under the sanitizers: libxkbcommon (the keyboard map Qt reads when it connects to the X
# display) hands strndup a counted string without its end, which strict_string_checks
# reports. The program's own code is checked with it by every other test.
if [[ -n "${ASAN_OPTIONS:-}" ]]; then
  export ASAN_OPTIONS="${ASAN_OPTIONS//strict_string_checks=1/strict_string_checks=0}"
fi
mkdir -m 700 "$XDG_RUNTIME_DIR"
exec xvfb-run -a dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately &
  launcher=$!
  trap "kill $launcher 2>/dev/null || true" EXIT
  /usr/bin/python3 "$1/tests/smoke/window_smoke.py" "$2/quillbase" "$1"
' smoke "$source" "$work"
