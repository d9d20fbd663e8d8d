#!/usr/bin/env bash
# Installs what is needed, builds ORT and runs every test (PostgreSQL tests included, against a
# private server started here). Used as it stands by CI.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
export ORT_PG_REQUIRED=1
bash scripts/with-postgres.sh ctest --test-dir build --output-on-failure -j "$jobs"
