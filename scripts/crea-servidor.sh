#!/usr/bin/env bash
# Prepares a PostgreSQL server for ORT's server kind ([SQLSERVER] in MVDirec.iau):
#   crea-servidor.sh CATALOGO                 the databases CATALOGO and CATALOGODATA
#   crea-servidor.sh CATALOGO --maestras      ... and Metrovax's master tables in CATALOGO
#                                             (sql/metrovax.pg.sql: a trial installation;
#                                             Metrovax creates them in a real one)
#   crea-servidor.sh CATALOGO --planta-demo   ... and the demo plant's rows in them
#   crea-servidor.sh CATALOGO --tabla FORMATO MAQUINA PRODUCTO [CARAC[:TIPO] ...]
#                                             the data table "Datos_FORMATO_MAQUINA_PRODUCTO"
#                                             in CATALOGODATA; without characteristics, those
#                                             of the format in CATALOGO's CXF table; TIPO
#                                             defaults to DOUBLE PRECISION
# Options may be combined; what exists already is left as it is. The server and the login come
# from psql's own variables: PGHOST, PGPORT, PGUSER, PGPASSWORD (or ~/.pgpass); the login must
# be allowed to create databases. Names keep their letter case (they are quoted).
set -euo pipefail
sql=$(cd "$(dirname "$0")/.." && pwd)/sql
[ -d "$sql" ] || sql=/usr/share/ort/sql
uso() { sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[ $# -ge 1 ] || uso
catalogo=$1; shift
[[ $catalogo =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || { echo "crea-servidor: catálogo no válido: $catalogo" >&2; exit 2; }
datos=${catalogo}DATA
command -v psql >/dev/null || { echo "crea-servidor: falta psql (apt install postgresql-client)" >&2; exit 1; }

cita() { printf '"%s"' "${1//\"/\"\"}"; }
psql_en() { local bd=$1; shift; psql -X -q -v ON_ERROR_STOP=1 -d "$bd" "$@"; }
existe_bd() {
  [ "$(psql_en postgres -tAc "select 1 from pg_database where datname = '$1'")" = 1 ]
}
for bd in "$catalogo" "$datos"; do
  if existe_bd "$bd"; then
    echo "La base $bd ya existe."
  else
    psql_en postgres -c "CREATE DATABASE $(cita "$bd") ENCODING 'UTF8' TEMPLATE template0"
    echo "Base $bd creada."
  fi
done

while [ $# -gt 0 ]; do
  case $1 in
    --maestras)
      if [ "$(psql_en "$catalogo" -tAc "select to_regclass('ins') is not null")" = t ]; then
        echo "Las tablas maestras ya existen en $catalogo."
      else
        psql_en "$catalogo" -f "$sql/metrovax.pg.sql"
        echo "Tablas maestras creadas en $catalogo."
      fi
      shift ;;
    --planta-demo)
      psql_en "$catalogo" -f "$sql/planta-demo.sql"
      echo "Planta de demostración cargada en $catalogo."
      shift ;;
    --tabla)
      [ $# -ge 4 ] || uso
      forma=$2 maqui=$3 produ=$4; shift 4
      columnas=()
      while [ $# -gt 0 ] && [[ $1 != --* ]]; do columnas+=("$1"); shift; done
      if [ ${#columnas[@]} -eq 0 ]; then
        mapfile -t columnas < <(psql_en "$catalogo" -tAc \
          "select trim(cxfcarac) from cxf where trim(cxfforma) = '${forma//\'/\'\'}' order by cxfposic")
      fi
      [ ${#columnas[@]} -gt 0 ] || { echo "crea-servidor: el formato $forma no tiene características en CXF; dígalas tras el producto" >&2; exit 1; }
      tabla="Datos_${forma}_${maqui}_${produ}"
      def="n INTEGER PRIMARY KEY, fecha TIMESTAMP, turno VARCHAR(10), operador VARCHAR(8)"
      for c in "${columnas[@]}"; do
        nombre=${c%%:*}; tipo="DOUBLE PRECISION"
        [[ $c == *:* ]] && tipo=${c#*:}
        [[ $tipo =~ ^[A-Za-z][A-Za-z0-9\ \(\),]*$ ]] || { echo "crea-servidor: tipo no válido: $tipo" >&2; exit 2; }
        def+=", $(cita "$nombre") $tipo"
      done
      psql_en "$datos" -c "CREATE TABLE IF NOT EXISTS $(cita "$tabla") ($def)"
      echo "Tabla $tabla en $datos: ${columnas[*]}"
      ;;
    *) uso ;;
  esac
done
