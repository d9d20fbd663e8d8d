#!/usr/bin/env bash
# Mutation sample: applies a fixed, seeded set of small mutants to src/ one at a time (comparison
# flipped, constant off by one, condition negated, statement removed; chosen by
# scripts/mutantes.py), rebuilds incrementally in build-mut, runs the fast tests and says whether
# they kill each mutant (warnings are not errors there). A mutant that does not compile is not
# counted. Ends with
#   killed K, survived S (rate R %)
# and leaves one line per mutant in build-mut/mutantes.tsv. src/ is always restored, also on
# Ctrl-C or failure; the script refuses to start when src/ has changes of its own.
# Each mutant runs only the tests that execute its line: the build has gcc's coverage, each test
# runs once alone to record which lines of src/ it executes, and a mutant on a line no test
# executes survives without a run (it still has to compile). A line gcov knows nothing about (a
# declaration, a constant folded at compile time) runs every test.
#   -n N      number of mutants (default 150)
#   -s SEED   seed of the choice (default 19)
#   -e REGEX  ctest exclusion regex (default '_e2e$|_pg$': no end-to-end, soak or PostgreSQL-only tests)
#   -t SECS   time limit of one test function (default 120; a mutant that hangs counts as killed)
#   -j JOBS   build and test jobs (default 2)
#   -m IDS    only these mutants of the set, comma-separated (e.g. M003,M117)
#   -b DIR    build directory (default build-mut)
#   -a        every test for every mutant (no selection by coverage)
#   -M DIR    take which test runs which line from DIR (the build directory of an earlier run on
#             the same sources and tests) instead of running each test alone again: with -m, a
#             set can be shared among runs in separate clones
#   -l        list the mutants and stop
set -uo pipefail
cd "$(dirname "$0")/.."

n=150 seed=19 exclude='_e2e$|_pg$' limit=120 jobs=2 only="" build=build-mut list="" all="" mapa=""
while getopts "n:s:e:t:j:m:b:M:alh" opt; do
  case $opt in
    n) n=$OPTARG ;; s) seed=$OPTARG ;; e) exclude=$OPTARG ;; t) limit=$OPTARG ;;
    j) jobs=$OPTARG ;; m) only=",$OPTARG," ;; b) build=$OPTARG ;; a) all=1 ;; M) mapa=$OPTARG ;; l) list=1 ;;
    *) sed -n '2,/^set /p' "$0" | sed '$d; s/^# \{0,1\}//'; exit 2 ;;
  esac
done

if ! git diff --quiet HEAD -- src || [ -n "$(git ls-files --others --exclude-standard src)" ]; then
  echo "src/ has uncommitted changes; commit or stash them first (mutants are applied to src/)" >&2
  exit 1
fi

exec 3>&2  # the terminal's standard error, for the traps: they may run inside a redirection
work=$(mktemp -d /tmp/ort-mut.XXXXXX)
mutated=""  # file of src/ now holding a mutant; its original is in $work/original
child=""
restore() {
  if [ -n "$mutated" ]; then
    cp "$work/original" "$mutated" && mutated=""
  fi
}
descendants() {
  local p
  for p in $(pgrep -P "$1"); do
    echo "$p"
    descendants "$p"
  done
}
finish() {
  local p
  for p in ${running[@]+"${running[@]}"}; do
    kill -TERM $(descendants "$p") "$p" 2>/dev/null
  done
  if [ -n "$child" ]; then
    # ctest starts each test in a process group of its own: stop the whole tree, tests included.
    kill -TERM $(descendants "$child") "$child" 2>/dev/null
    wait "$child" 2>/dev/null
  fi
  restore
  rm -rf "$work"
  if ! git diff --quiet HEAD -- src; then
    echo "WARNING: src/ differs from HEAD after the run: check 'git diff src'" >&3
  fi
}
trap finish EXIT
trap 'echo >&3; echo "interrupted; src/ restored" >&3; exit 130' INT TERM HUP

python3 scripts/mutantes.py lista --n "$n" --semilla "$seed" >"$work/lista" || exit 1
if [ -n "$list" ]; then
  awk -F'\t' '{ printf "%s  %s:%s:%s  %-10s  %s  ->  %s\n", $1, $2, $3, $4, $5, $6, $7 }' "$work/lista"
  exit 0
fi

# Runs a command under timeout (SECS, 0 for none) in the background: Ctrl-C reaches the trap at
# once, and timeout passes the trap's TERM on to the command's whole process group.
run() {
  local secs=$1
  shift
  timeout -k 10 "$secs" "$@" &
  child=$!
  wait "$child"
  local rc=$?
  child=""
  return $rc
}

echo "== Build ($build)"
# Warnings are not errors here: a mutant that only leaves a variable unused is still a fault to catch.
coverage=()
[ -n "$all" ] || coverage=(-DCMAKE_CXX_FLAGS=--coverage -DCMAKE_EXE_LINKER_FLAGS=--coverage)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g0" \
  "${coverage[@]}" -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DORT_WERROR=OFF >/dev/null || exit 1
# The executables of the tests that run; they link every library holding src/.
cmake --build "$build" --target ortcore >/dev/null || { echo "the unmutated sources do not build" >&2; exit 1; }
mapfile -t tests < <(ctest --test-dir "$build" -N -E "$exclude" | sed -n 's/^ *Test *#[0-9]*: *//p')
[ ${#tests[@]} -gt 0 ] || { echo "no test left after excluding '$exclude'" >&2; exit 1; }
targets=()
for t in "${tests[@]}"; do targets+=("${t##*/}"); done
run 0 cmake --build "$build" -j "$jobs" --target "${targets[@]}" >"$work/build.log" 2>&1 \
  || { tail -n 30 "$work/build.log" >&2; echo "the unmutated sources do not build" >&2; exit 1; }

export QTEST_FUNCTION_TIMEOUT=$((limit * 1000))
# A crashing mutant ends its test at once, without a debugger-made stack trace.
export QTEST_DISABLE_STACK_DUMP=1
echo "== Tests without mutants (${#tests[@]} tests, excluding '$exclude')"
start=$(date +%s)
if [ -n "$all" ]; then
  if ! run 0 ctest --test-dir "$build" -E "$exclude" -j "$jobs" >"$work/ctest.log" 2>&1; then
    grep -E '\*\*\*|Failed|Timeout' "$work/ctest.log" >&2
    echo "the fast tests fail without mutants: fix them or exclude them with -e" >&2
    exit 1
  fi
  : >"$build/duraciones.tsv" # no times: the tests run in ctest's order
elif [ -n "$mapa" ]; then
  cp "$mapa/mapa.tsv" "$mapa/duraciones.tsv" "$build/" || exit 1
  export GCOV_PREFIX="$work/gcov"
else
  # Each test alone, then the lines of src/ it executed: "test file:line" (ran) or
  # "test file:line 0" (code that did not run); and how long it took.
  : >"$build/duraciones.tsv"
  for t in "${tests[@]}"; do
    find "$build" -name '*.gcda' -delete
    t0=$(date +%s%N)
    if ! run 0 ctest --test-dir "$build" -R "^$t\$" >"$work/ctest.log" 2>&1; then
      grep -E '\*\*\*|Failed|Timeout' "$work/ctest.log" >&2
      echo "the fast tests fail without mutants: fix them or exclude them with -e" >&2
      exit 1
    fi
    printf '%s\t%d\n' "$t" $(( ($(date +%s%N) - t0) / 1000000 )) >>"$build/duraciones.tsv"
    python3 scripts/mutantes.py lineas --build "$build" | sed "s|^|$t |" >>"$work/lineas"
  done
  # file:line, then the tests that run it ("-" for none).
  awk 'NF == 2 { r[$2] = r[$2] " " $1 } NF == 3 && !($2 in r) { r[$2] = "" }
       END { for (k in r) print k "\t" (r[k] == "" ? "-" : substr(r[k], 2)) }' "$work/lineas" \
    | sort >"$build/mapa.tsv"
  echo "   $(grep -c $'\t-$' "$build/mapa.tsv") of $(wc -l <"$build/mapa.tsv") lines with code run by no test"
  # The mutants' runs leave their coverage data out of the build tree.
  export GCOV_PREFIX="$work/gcov"
fi
base=$(( $(date +%s) - start ))
# A run lasting far longer than the unmutated one is a hang and counts as killed: a test function
# stops after -t seconds, and no test starts once the run has lasted this long.
whole=$(( base * 3 + limit ))
echo "   passed in ${base} s; a mutant's run is stopped after ${whole} s"

# Runs the given tests, the quickest first, at most $jobs at a time, and stops at the first that
# fails, ending those still running: a mutant is killed as soon as one test sees it. Sets `by` to
# the failing test; returns 1 then, 0 when every test passed.
running=()
run_tests() {
  local -a queue
  mapfile -t queue < <(for t in "$@"; do
    printf '%s\t%s\n' "$(awk -F'\t' -v t="$t" '$1 == t { print $2 }' "$build/duraciones.tsv")" "$t"
  done | sort -n | cut -f2)
  local -A test_of=()
  local end=$(( $(date +%s) + whole )) fin rc=0 t p
  by=""
  while :; do
    while [ ${#test_of[@]} -lt "$jobs" ] && [ ${#queue[@]} -gt 0 ]; do
      t=${queue[0]}
      queue=("${queue[@]:1}")
      ctest --test-dir "$build" -R "^$t\$" >"$work/ctest.log.${t//\//_}" 2>&1 &
      test_of[$!]=$t
      running+=($!)
    done
    [ ${#test_of[@]} -gt 0 ] || break
    fin=""
    wait -n -p fin "${!test_of[@]}"
    rc=$?
    if [ -z "${fin:-}" ]; then
      by="wait failed"
      break
    fi
    t=${test_of[$fin]}
    unset "test_of[$fin]"
    if [ $rc -ne 0 ]; then
      by=$t
      grep -q 'Timeout' "$work/ctest.log.${t//\//_}" && by="$t (timeout)"
      break
    fi
    if [ "$(date +%s)" -gt "$end" ]; then
      by="run stopped after ${whole} s"
      rc=124
      break
    fi
  done
  for p in "${!test_of[@]}"; do
    kill -TERM $(descendants "$p") "$p" 2>/dev/null
  done
  wait 2>/dev/null
  running=()
  [ -z "$by" ]
}

object_of() {  # the ninja target of a source file's object
  ninja -C "$build" -t targets all 2>/dev/null | sed -n "s|^\([^:]*/${1#src/}\.o\): .*|\1|p"
}

echo "== Mutants (seed $seed)"
results="$build/mutantes.tsv"
: >"$results"
killed=0 survived=0 broken=0
# The list comes in on descriptor 5, out of reach of the commands run for each mutant.
while IFS=$'\t' read -r -u 5 id file line col kind before after; do
  [ -z "$only" ] || [[ $only == *",$id,"* ]] || continue
  t0=$(date +%s) t1=""
  cp "$file" "$work/original"
  mutated=$file
  if ! python3 scripts/mutantes.py aplica "$id" --n "$n" --semilla "$seed" >/dev/null; then
    restore; echo "$id could not be applied" >&2; exit 1
  fi
  what="$id $file:$line $kind '$before' -> '$after'"
  objects=$(object_of "$file")
  # The tests to run: those executing the line (all of them without a map, or for a line gcov
  # does not know); none when the line has code that no test runs.
  chosen=("${tests[@]}")
  if [ -z "$all" ]; then
    runners=$(awk -F'\t' -v k="$file:$line" '$1 == k { print $2 }' "$build/mapa.tsv")
    [ -z "$runners" ] || read -r -a chosen <<<"${runners/#-/}"
  fi
  mtargets=()
  for t in "${chosen[@]}"; do mtargets+=("${t##*/}"); done
  if { [ -n "$objects" ] && ! run 0 ninja -C "$build" $objects >"$work/build.log" 2>&1; } \
     || { [ ${#mtargets[@]} -gt 0 ] \
          && ! run 0 cmake --build "$build" -j "$jobs" --target "${mtargets[@]}" >>"$work/build.log" 2>&1; }; then
    result="did-not-compile" by=""
    broken=$((broken + 1))
  elif [ ${#chosen[@]} -eq 0 ]; then
    t1=$(date +%s)
    result="survived" by="no test runs the line"
    survived=$((survived + 1))
  else
    t1=$(date +%s)
    if run_tests "${chosen[@]}"; then
      result="survived" by="${#chosen[@]} tests"
      survived=$((survived + 1))
    else
      result="killed"
      killed=$((killed + 1))
    fi
  fi
  restore
  t2=$(date +%s)
  printf '%-15s %s%s (%d s%s)\n' "$result" "$what" "${by:+  [$by]}" $((t2 - t0)) \
    "${t1:+: build $((t1 - t0)) s, tests $((t2 - t1)) s}"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$id" "$result" "$file" "$line" "$col" "$kind" \
    "$before" "$after" "$by" >>"$results"
done 5<"$work/lista"

counted=$((killed + survived))
rate=$(awk -v k=$killed -v c=$counted 'BEGIN { printf "%.1f", c ? 100 * k / c : 0 }')
echo "did not compile: $broken (not counted)"
echo "killed $killed, survived $survived (rate $rate %)"
