#!/usr/bin/env bash
# Screenshot of ORT's monitor window during the demo, on a virtual display, then of the
# configuration windows (editor.png, ubicacion.png beside it) by build/tools/ortcapturas.
#   bash scripts/captura.sh [seconds-of-demo-before-the-shot] [output.png]
# Default: 90 s, docs/grafico.png. The demo runs in a temporary directory and ends after the shot.
# ORT_CAPTURA_DEMO names another demo script (one that skips the build, say).
set -euo pipefail
cd "$(dirname "$0")/.."
segundos=${1:-90}
salida=${2:-docs/grafico.png}
pantalla=:${ORT_CAPTURA_DISPLAY:-93}
dir=$(mktemp -d)
Xvfb "$pantalla" -screen 0 1024x768x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
xvfb=$!
demo=
fin() {
  [ -n "$demo" ] && kill -TERM -- -"$demo" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap fin EXIT
sleep 1
DISPLAY=$pantalla ORT_DEMO_DIR="$dir/demo" setsid bash "${ORT_CAPTURA_DEMO:-scripts/demo.sh}" >"$dir/demo.log" 2>&1 &
demo=$!
# The demo builds first; the wait counts from the moment the monitor window is up.
for _ in $(seq 1800); do
  grep -q "Starting ORT with its windows" "$dir/demo.log" 2>/dev/null && break
  sleep 1
done
sleep "$segundos"
# Without a window manager the window stands at the top left on a black screen.
DISPLAY=$pantalla import -window root "$dir/pantalla.png"
convert "$dir/pantalla.png" -trim +repage "$salida"
echo "$salida"
# The configuration windows, on a demo program directory of their own.
bash tools/demo/crea-demo.sh "$dir/ventanas" >/dev/null
cmake --build "${ORT_DEMO_BUILD_DIR:-build}" --target ortcapturas >/dev/null
DISPLAY=$pantalla "${ORT_DEMO_BUILD_DIR:-build}"/tools/ortcapturas "$dir/ventanas" "$(dirname "$salida")"
