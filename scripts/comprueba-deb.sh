#!/usr/bin/env bash
# Builds ort_<version>_amd64.deb from a build directory (default: build) with CPack and checks
# its contents: the programs, the unit, the docs, the declared dependencies and the
# maintainer scripts that create the user without enabling the unit.
set -euo pipefail
cd "$(dirname "$0")/.."
b=${1:-build}
(cd "$b" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^project(ORT VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="$b/ort_${version}_amd64.deb"
[ -f "$deb" ] || { echo "missing $deb" >&2; exit 1; }
falla() { echo "comprueba-deb: $*" >&2; exit 1; }
contenido=$(dpkg-deb -c "$deb")
for f in ./usr/bin/ort ./usr/bin/ortsim ./usr/lib/systemd/system/ort.service \
         ./usr/share/doc/ort/README.md ./usr/share/doc/ort/docs/estado.png \
         ./usr/share/ort/sql/datos.pg.sql ./usr/share/ort/crea-servidor.sh; do
  grep -q " $f\$" <<<"$contenido" || falla "$f is not in the package"
done
grep -q '^-rwxr-xr-x .* ./usr/bin/ort$' <<<"$contenido" || falla "ort is not executable"
depende=$(dpkg-deb -f "$deb" Depends)
for d in libqt6core6 libqt6httpserver6 libqt6serialport6 libsystemd0 libqt6sql6-sqlite adduser; do
  grep -q "$d" <<<"$depende" || falla "Depends lacks $d: $depende"
done
[ "$(dpkg-deb -f "$deb" Package)" = ort ] && [ "$(dpkg-deb -f "$deb" Architecture)" = amd64 ] \
  || falla "wrong package name or architecture"
control=$(mktemp -d)
trap 'rm -rf "$control"' EXIT
dpkg-deb -e "$deb" "$control"
tr -d '\\\n' <"$control/postinst" | grep -q 'adduser --system .*--ingroup dialout .* ort' \
  || falla "postinst does not create the user ort in dialout"
! grep -q 'systemctl enable' "$control/postinst" || falla "postinst enables the unit"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/lib/systemd/system/ort.service \
  | grep -q "^WatchdogSec=" || falla "the unit has no watchdog"
echo "$deb: $(wc -c <"$deb") bytes, Depends: $depende"
