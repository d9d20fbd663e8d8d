#!/usr/bin/env bash
# Creates a demo program directory for ORT: product files with our own language texts, the
# Metrovax database of a small fictional plant, ORT's configuration database with five ports,
# and the data files of the plant's contexts. Usage: crea-demo.sh DIR
set -euo pipefail
dir=${1:?usage: crea-demo.sh DIR}
here=$(cd "$(dirname "$0")" && pwd)
sql=$(cd "$here/../../sql" && pwd)
command -v sqlite3 >/dev/null || { echo "sqlite3 is needed (scripts/install-deps.sh installs it)" >&2; exit 1; }

rm -rf "$dir"
mkdir -p "$dir"/{bd,datos,dev,Image}
dir=$(cd "$dir" && pwd)

crlf() { sed 's/$/\r/'; }
printf '"[JET4]"\n"%s/bd/"\n"%s/datos/"\n' "$dir" "$dir" | crlf > "$dir/MVDirec.iau"
printf '"Planta Demo S.A.","MV2005","ORT"\n' | crlf > "$dir/MVCompa.iau"
printf '3\n"Mañana",1400\n"Tarde",2200\n"Noche",2400\n' | crlf > "$dir/MVTurn.IAU"
cp "$here/MVLang.IAU" "$dir/MVLang.IAU"
printf '%s\n' "$dir/ORTConf2005.mdb" | crlf > "$dir/ORTDirec.IAU"

cat "$sql/metrovax.sqlite.sql" "$sql/planta-demo.sql" | sqlite3 "$dir/bd/MTVX2005.MDB"

{
  cat "$sql/ortconf.sqlite.sql"
  cat <<'SQL'
BEGIN;
INSERT INTO PUERTOS VALUES (1,'CALIB',-1),(2,'XRITE',-1),(3,'MUX10',-1),(4,'GSE01',-1),(5,'TIMER',-1);
INSERT INTO CANALES VALUES (1,1,'Calibre del torno'),(2,1,'X-Rite 1'),(2,2,'X-Rite 2'),(2,3,'X-Rite 3'),
  (3,1,'Mux canal 1'),(3,2,'Mux canal 2'),(3,3,'Mux canal 3'),(4,2,'Indicador unidad 1');
INSERT INTO CONF VALUES (1,1,1,'OP1','E1','TORNO1','EJE20','F1','DIAM','LOTE','L-2612','','',60);
INSERT INTO CONF VALUES (2,1,1,'ANA','E2','RECT1','EJE20','F1','DIAM','','','','',30);
INSERT INTO CONF VALUES (2,2,1,'ANA','E2','RECT1','EJE20','F1','LARGO','','','','',30);
INSERT INTO CONF VALUES (2,3,1,'ANA','E2','RECT1','EJE20','F1','TEMP','','','','',30);
INSERT INTO CONF VALUES (3,1,1,'ANA','E2','RECT1','BUJE8','F2','DIAM','','','','',30);
INSERT INTO CONF VALUES (3,2,1,'ANA','E2','RECT1','BUJE8','F2','LARGO','','','','',30);
INSERT INTO CONF VALUES (3,3,1,'ANA','E2','RECT1','BUJE8','F2','TEMP','','','','',30);
INSERT INTO CONF VALUES (4,2,1,'OP1','E1','TORNO1','EJE20','F1','DIAM','LOTE','L-GSE','','',60);
INSERT INTO CONF VALUES (4,2,2,'OP1','E1','TORNO1','EJE20','F1','TEMP','','','','',60);
COMMIT;
SQL
  for c in 1 2 3 4 5 6 7 8 9; do
    echo "INSERT INTO CANALES VALUES (5,$c,'Reloj $c');"
    echo "INSERT INTO CONF VALUES (5,$c,1,'LUIS','E1','TORNO1','TUBO1','F1','TEMP','','','','',5);"
  done
} | sqlite3 "$dir/ORTConf2005.mdb"

for ctx in F1/TORNO1/EJE20 F1/RECT1/EJE20 F2/RECT1/BUJE8 F1/TORNO1/TUBO1; do
  mkdir -p "$dir/datos/$(dirname "$ctx")"
  sqlite3 "$dir/datos/$ctx.MDB" < "$sql/datos.sqlite.sql"
done
echo "$dir"
