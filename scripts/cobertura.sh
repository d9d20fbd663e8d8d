#!/usr/bin/env bash
# Line and branch coverage of src/ by the fast tests: builds in build-cov with gcc --coverage at
# -O0, runs the tests against a private PostgreSQL server (scripts/with-postgres.sh) so that the
# PostgreSQL cases count, and prints the figures with gcovr. Branches that only an exception or
# unreachable code takes are left out of the branch figure. The per-file table is left in
# build-cov/cobertura.txt. Built like the mutation sample's tree (scripts/mutantes.sh), so
# either can reuse the other's compiled objects.
#   -e REGEX  ctest exclusion regex (default '_e2e$': everything but the end-to-end and soak runs)
#   -j JOBS   build and test jobs (default 2)
#   -b DIR    build directory (default build-cov)
set -euo pipefail
cd "$(dirname "$0")/.."

exclude='_e2e$' jobs=2 build=build-cov
while getopts "e:j:b:h" opt; do
  case $opt in
    e) exclude=$OPTARG ;; j) jobs=$OPTARG ;; b) build=$OPTARG ;;
    *) sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 2 ;;
  esac
done

if ! command -v gcovr >/dev/null; then
  echo "== Installing gcovr"
  apt-get install -y --no-install-recommends gcovr >/dev/null 2>&1 \
    || { apt-get update >/dev/null && apt-get install -y --no-install-recommends gcovr >/dev/null; }
fi

echo "== Build with coverage ($build)"
CXX=${CXX:-g++} cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g0" \
  -DCMAKE_CXX_FLAGS="--coverage" -DCMAKE_EXE_LINKER_FLAGS="--coverage" \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DORT_WERROR=OFF >/dev/null
cmake --build "$build" --target ortcore >/dev/null
mapfile -t tests < <(ctest --test-dir "$build" -N -E "$exclude" | sed -n 's/^ *Test *#[0-9]*: *//p')
# The program too, so that what only the program runs (main) counts as not covered.
targets=(ort)
for t in "${tests[@]}"; do targets+=("${t##*/}"); done
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

echo "== Tests (${#tests[@]}, excluding '$exclude')"
find "$build" -name '*.gcda' -delete
status=0
ORT_PG_REQUIRED=1 bash scripts/with-postgres.sh \
  ctest --test-dir "$build" -E "$exclude" -j "$jobs" --output-on-failure || status=$?
[ $status -eq 0 ] || echo "WARNING: some tests failed (exit $status); the figures below count what ran" >&2

echo "== Coverage of src/"
gcovr --root . --filter 'src/' -j "$jobs" --exclude-throw-branches --exclude-unreachable-branches \
  --txt "$build/cobertura.txt" --print-summary "$build" | grep -E '^(lines|branches):'
echo "(per file: $build/cobertura.txt; commit $(git rev-parse --short HEAD))"
exit $status
