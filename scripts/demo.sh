#!/usr/bin/env bash
# Installs what is needed, builds ORT and runs it on a demo plant: simulated instruments on
# pseudo-terminals and TCP feed five ports, and readings flow into the demo's data tables.
# With a display ORT shows its windows (end it with Ctrl-C here); without one it runs headless
# for ORT_DEMO_SECONDS seconds (default 60; 0 runs until Ctrl-C).
#   ORT_DEMO_BD=postgres   the server kind: a private PostgreSQL server (scripts/with-postgres.sh)
#                          holds the plant's catalogue and its data tables
#   ORT_DEMO_HTTP=H:P      where the status page listens (default 127.0.0.1:8088)
#   ORT_DEMO_CAPTURA=FILE  a screenshot of the status page in headless Chromium, 20 s in
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
bash scripts/install-deps.sh
# ORT_DEMO_BUILD_DIR: an existing build directory to use as it is configured.
b=${ORT_DEMO_BUILD_DIR:-build}
[ -n "${ORT_DEMO_BUILD_DIR:-}" ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$b" -j "$(nproc)" --target ort ortsim
if [ "${ORT_DEMO_BD:-}" = postgres ] && [ -z "${ORT_PG_PORT:-}" ]; then
  exec bash scripts/with-postgres.sh bash "$0" "$@"
fi
http=${ORT_DEMO_HTTP:-127.0.0.1:8088}

demo=${ORT_DEMO_DIR:-$top/demo-run}
bash tools/demo/crea-demo.sh "$demo" >/dev/null
if command -v convert >/dev/null 2>&1; then
  convert -size 480x200 gradient:'#1d3557-#457b9d' -fill white -font DejaVu-Sans-Bold \
    -pointsize 40 -gravity center -annotate +0-20 'Metrovax ORT' -pointsize 16 \
    -annotate +0+35 'Ruteador Multipuertos' "$demo/Image/CARATULA.JPG" 2>/dev/null || true
fi

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

sim=$b/tools/ortsim
# Port 1: a digital caliper; 2: an X-Rite spectrophotometer; 3: a 10-channel multiplexer.
"$sim" --code CALIB --link "$demo/dev/port1" --rate 1 --values random:19.88,20.12 \
  >"$demo/sim-port1.log" 2>&1 & pids+=($!)
"$sim" --code XRITE --link "$demo/dev/port2" --rate 0.5 --values random:60,70 \
  >"$demo/sim-port2.log" 2>&1 & pids+=($!)
"$sim" --code MUX10 --link "$demo/dev/port3" --rate 1 --values random:7.985,8.015 --channel 2 \
  >"$demo/sim-port3.log" 2>&1 & pids+=($!)
# Port 4: a GSE indicator on the network, answered by ORT.
"$sim" --code GSE01 --tcp 0 --rate 0.2 --channel 2 --dialogue --values random:19.95,20.05 --heard "$demo/sim-port4-heard.log" \
  >"$demo/sim-port4.log" 2>&1 & pids+=($!)
for _ in $(seq 50); do
  grep -q "on tcp" "$demo/sim-port4.log" 2>/dev/null && break
  sleep 0.1
done
tcp=$(sed -n 's/.*on tcp 127.0.0.1:\([0-9]*\).*/\1/p' "$demo/sim-port4.log" | head -n 1)
sqlite3 "$demo/bd/MTVX2005.MDB" "UPDATE INS SET INSTCPPR='${tcp:-0}' WHERE INSCLAVE='GSE01'"
for p in 1 2 3; do
  for _ in $(seq 50); do [ -e "$demo/dev/port$p" ] && break; sleep 0.1; done
done
printf '1,%s\r\n2,%s\r\n3,%s\r\n' "$demo/dev/port1" "$demo/dev/port2" "$demo/dev/port3" \
  > "$demo/ORTPuertos.IAU"
# The GSE indicator reads every 5 s: 30 s without a value is worth a warning.
printf '4,30\r\n' > "$demo/ORTSilencio.IAU"

catalogo=PlantaDemo
if [ "${ORT_DEMO_BD:-}" = postgres ]; then
  # The server kind: the catalogue (master tables, connection records) and <catalogue>DATA
  # (one data table per context) on the private server; ORT's own configuration stays a file.
  export PGHOST=$ORT_PG_HOST PGPORT=$ORT_PG_PORT PGUSER=$ORT_PG_USER PGPASSWORD=$ORT_PG_PASSWORD
  columnas=(DIAM LARGO TEMP 'LOTE:VARCHAR(20)')
  bash scripts/crea-servidor.sh "$catalogo" --maestras --planta-demo \
    --tabla F1 TORNO1 EJE20 "${columnas[@]}" --tabla F1 RECT1 EJE20 "${columnas[@]}" \
    --tabla F2 RECT1 BUJE8 "${columnas[@]}" --tabla F1 TORNO1 TUBO1 "${columnas[@]}" >/dev/null
  psql -X -q -d "$catalogo" -c "UPDATE ins SET instcppr = '${tcp:-0}' WHERE insclave = 'GSE01'"
  printf '"[SQLSERVER]","%s:%s","%s","%s"\r\n' "$PGHOST" "$PGPORT" "$catalogo" "$PGUSER" \
    > "$demo/MVDirec.iau"
  printf '%s\n' "$PGPASSWORD" | "$b"/src/ort --escribe-clave --dir "$demo" 2>/dev/null
fi

summary() {
  if [ "${ORT_DEMO_BD:-}" = postgres ]; then
    echo
    echo "== What landed in the data tables of ${catalogo}DATA =="
    for t in $(psql -X -tA -d "${catalogo}DATA" -c "select tablename from pg_tables where schemaname = 'public' order by 1"); do
      echo "$t: $(psql -X -tA -d "${catalogo}DATA" -c "select count(*) from \"$t\"") rows; newest:"
      psql -X -d "${catalogo}DATA" -c "select * from \"$t\" order by n desc limit 3" | sed 's/^/    /'
    done
    return
  fi
  echo
  echo "== What landed in the data tables =="
  for f in "$demo"/datos/*/*/*.MDB; do
    n=$(sqlite3 "$f" "select count(*) from Datos")
    echo "$f: $n rows; newest:"
    sqlite3 -header -column "$f" "select * from Datos order by N desc limit 3" | sed 's/^/    /'
  done
  echo
  echo "Look at them yourself with, for example:"
  echo "  sqlite3 -header -column $demo/datos/F1/TORNO1/EJE20.MDB 'select * from Datos order by N desc limit 20'"
}

# A picture of the status page in a real browser, as a phone would show it side by side.
captura() {
  local chrome perfil
  chrome=$(command -v chromium || command -v chromium-browser || true)
  [ -n "$chrome" ] || { echo "No chromium for the screenshot (apt-get install chromium)" >&2; return; }
  perfil=$(mktemp -d)
  "$chrome" --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$perfil" --hide-scrollbars --window-size=1100,1080 \
    --screenshot="$ORT_DEMO_CAPTURA" "http://$http/" >/dev/null 2>&1 || true
  rm -rf "$perfil"
  echo "Screenshot of the status page: $ORT_DEMO_CAPTURA"
}

echo "Demo program directory: $demo"
echo "Instruments: port 1 CALIB ($demo/dev/port1), port 2 XRITE, port 3 MUX10, port 4 GSE01 (tcp $tcp), port 5 TIMER"
if [ "${ORT_DEMO_BD:-}" = postgres ]; then
  echo "Readings are written to the tables Datos_<format>_<machine>_<product> of ${catalogo}DATA on $PGHOST:$PGPORT"
else
  echo "Readings are written to the data files under $demo/datos/<format>/<machine>/<product>.MDB"
fi
echo "Status page: http://$http/  (JSON: http://$http/api/estado, metrics: http://$http/metrics)"
if [ -n "${DISPLAY:-}" ] && [ -z "${ORT_DEMO_HEADLESS:-}" ]; then
  echo "Starting ORT with its windows; end it with Ctrl-C here."
  "$b"/src/ort --dir "$demo" --http "$http" || true
else
  secs=${ORT_DEMO_SECONDS:-60}
  echo "No display: ORT runs headless (log lines below: port, then the line)."
  if [ "$secs" -gt 0 ]; then
    echo "It stops by itself after $secs s (ORT_DEMO_SECONDS=0 runs until Ctrl-C)."
    timeout -s TERM "$secs" "$b"/src/ort --headless --dir "$demo" --http "$http" &
  else
    "$b"/src/ort --headless --dir "$demo" --http "$http" &
  fi
  ort=$!
  if [ -n "${ORT_DEMO_CAPTURA:-}" ]; then
    sleep 20
    captura
  fi
  wait "$ort" || true
fi
summary
