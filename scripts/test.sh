#!/usr/bin/env bash
# Installs what is needed, builds ORT and runs every test: the unit, window, PostgreSQL and
# end-to-end tests against a private PostgreSQL server started here on loopback, then the unit
# tests again built with AddressSanitizer and UndefinedBehaviorSanitizer, and the tests of the
# ports' workers and the recording threads built with ThreadSanitizer; a headless-only ort is built
# too and checked to link no window library. Used as it stands by CI.
#   ORT_SIN_SANITIZERS=1  skip the sanitizer build (quicker runs by hand)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
export ORT_PG_REQUIRED=1

echo "== Build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
echo "== Tests"
bash scripts/with-postgres.sh ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Debian package"
bash scripts/comprueba-deb.sh build

echo "== Headless-only build (ORT_GUI=OFF): ort links no Widgets"
cmake -S . -B build-sinventanas -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORT_GUI=OFF >/dev/null
cmake --build build-sinventanas -j "$jobs" --target ort
if readelf -d build-sinventanas/src/ort | grep -E 'NEEDED.*libQt6(Widgets|Gui|Charts)'; then
  echo "build-sinventanas/src/ort needs a window library" >&2
  exit 1
fi
./build-sinventanas/src/ort --version

echo "== Fuzzing every decoder through the registry (libFuzzer, a short fixed run)"
# Longer on demand: ORT_FUZZ_RUNS=10000000 bash scripts/test.sh, or run build-fuzz/tests/fuzz_decoders.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORT_FUZZ=ON -DORT_WERROR=OFF >/dev/null
cmake --build build-fuzz --target fuzz_decoders
./build-fuzz/tests/fuzz_decoders -runs="${ORT_FUZZ_RUNS:-200000}" -seed=1 -max_len=512 \
  -max_total_time=300 2>&1 | tail -n 3

if [ -z "${ORT_SIN_SANITIZERS:-}" ]; then
  echo "== Unit tests under AddressSanitizer and UndefinedBehaviorSanitizer"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORT_SANITIZE=ON >/dev/null
  cmake --build build-asan -j "$jobs"
  # Any report ends the test that made it, and so fails the run.
  export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
  bash scripts/with-postgres.sh ctest --test-dir build-asan --output-on-failure -j "$jobs" -E '_e2e$'

  echo "== The tests of the ports' workers and recording under ThreadSanitizer"
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORT_TSAN=ON >/dev/null
  cmake --build build-tsan -j "$jobs" --target tst_hilos tst_servicio_e2e tst_fallas_e2e ort ortsim
  # Any report ends the process that made it (the test, or the ORT it runs), and so fails the run.
  # No server here: the PostgreSQL rows ran above and skip in this pass (libpq is not instrumented).
  env -u ORT_PG_REQUIRED \
    TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$PWD/scripts/tsan.supp" \
    ctest --test-dir build-tsan --output-on-failure -R 'tst_hilos|tst_servicio_e2e|tst_fallas_e2e'
fi
