#!/usr/bin/env bash
# Builds the browser and starts it stand-alone on the bundled sample folder.
# Without a display it runs under Xvfb, saves a screenshot and ends.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target folvlaunch folvane folv_sample

bin="$PWD/build/release/bin"
sample="$PWD/build/release/sample"
ini="$bin/FOLVANE.INI"

# A first start gets one page that shows the sample folder.
if [ ! -f "$ini" ]; then
  printf '[Folvane=Sample drawings]\r\nApplication=\r\nWorkingDir=%s/\r\nExtension=*.*\r\nStatus=1\r\nLayer=Current_layer\r\nColour=\r\n' \
    "$sample" > "$ini"
fi

if [ -n "${DISPLAY:-}" ]; then
  exec "$bin/folvlaunch"
fi

shot="${FOLV_SCREENSHOT:-$PWD/build/release/screenshot.png}"
echo "No display: running under Xvfb; the screenshot goes to $shot"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" & pid=$!
  for _ in $(seq 1 50); do
    sleep 0.2
    if xwininfo -root -tree 2>/dev/null | grep -q "Folvane"; then break; fi
  done
  sleep 1
  import -window Folvane "$2" 2>/dev/null || import -window root "$2"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
' _ "$bin/folvlaunch" "$shot"
echo "Screenshot saved: $shot"
