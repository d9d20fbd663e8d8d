#!/usr/bin/env bash
# Runs a command with a private PostgreSQL 15 server on loopback, started in a temporary
# directory and stopped afterwards. The command sees ORT_PG_HOST, ORT_PG_PORT, ORT_PG_USER and
# ORT_PG_PASSWORD. PostgreSQL refuses to run as root, so as root the server runs as the
# unprivileged user "ortpg", created when missing.
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

pgbin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$pgbin/initdb" ] || { echo "PostgreSQL server binaries not found (run scripts/install-deps.sh)" >&2; exit 1; }

tmp=$(mktemp -d /tmp/ort-pg.XXXXXX)
run_as=()
if [ "$(id -u)" -eq 0 ]; then
  id ortpg >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin ortpg
  chown ortpg "$tmp"
  run_as=(runuser -u ortpg --)
fi

export ORT_PG_HOST=127.0.0.1
export ORT_PG_USER=ortadmin
export ORT_PG_PASSWORD="ort-$RANDOM$RANDOM"
printf '%s\n' "$ORT_PG_PASSWORD" > "$tmp/pw"
[ "$(id -u)" -eq 0 ] && chown ortpg "$tmp/pw"

"${run_as[@]}" "$pgbin/initdb" -D "$tmp/data" -U "$ORT_PG_USER" --auth=scram-sha-256 \
  --pwfile="$tmp/pw" -E UTF8 --locale=C.UTF-8 >"$tmp/initdb.log" 2>&1 \
  || { cat "$tmp/initdb.log" >&2; exit 1; }

started=""
for try in 1 2 3 4 5 6 7 8 9 10; do
  port=$(( 20000 + (RANDOM % 30000) ))
  if "${run_as[@]}" "$pgbin/pg_ctl" -D "$tmp/data" -l "$tmp/server.log" -w -t 30 \
       -o "-c listen_addresses=127.0.0.1 -p $port -k $tmp -c fsync=off" start >/dev/null 2>&1; then
    started=$port; break
  fi
done
[ -n "$started" ] || { echo "PostgreSQL did not start:" >&2; cat "$tmp/server.log" >&2; exit 1; }
export ORT_PG_PORT=$started

stop() {
  "${run_as[@]}" "$pgbin/pg_ctl" -D "$tmp/data" -m fast -w stop >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap stop EXIT
echo "PostgreSQL $("$pgbin/postgres" --version | awk '{print $3}') on 127.0.0.1:$ORT_PG_PORT (temporary, $tmp)"
set +e
"$@"
status=$?
set -e
exit $status
