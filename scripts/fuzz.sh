#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for RUNS
# executions on a copy of its seed corpus (fuzz/corpus/TARGET), one target at
# a time. Prints, per target, the executions, the time, executions per second
# and whether it crashed; a crash input is kept in build-fuzz/crashes/TARGET/.
# Exit status: 0 no crash, 1 a crash, 2 bad usage.
#
#   bash scripts/fuzz.sh RUNS [TARGET...]      (TARGET: request packet definition expression filter image http)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
all=(request packet definition expression filter image http)

if [ $# -lt 1 ] || ! [[ "$1" =~ ^[1-9][0-9]*$ ]]; then
  echo "uso: bash scripts/fuzz.sh EXECUÇÕES [ALVO...]   (alvos: ${all[*]})" >&2
  exit 2
fi
runs="$1"
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all[@]}")
for t in "${targets[@]}"; do
  if [[ ! " ${all[*]} " == *" $t "* ]]; then
    echo "alvo desconhecido: $t (há: ${all[*]})" >&2
    exit 2
  fi
done

export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}"
jobs="${JOBS:-$(nproc)}"
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang -DPLA013_FUZZ=ON -DPLA013_GUI=OFF >"$build/configure.log" 2>&1 || {
  cat "$build/configure.log" >&2
  exit 1
}
cmake --build "$build" -j"$jobs" --target "${targets[@]/#/fuzz_}" >"$build/build.log" 2>&1 || {
  tail -50 "$build/build.log" >&2
  exit 1
}

crashed=0
printf '%-12s %12s %10s %10s  %s\n' target executions seconds exec/s result
for t in "${targets[@]}"; do
  work="$build/fuzz-work/$t"
  crashes="$build/crashes/$t"
  rm -rf "$work"
  mkdir -p "$work" "$crashes"
  cp "$root/fuzz/corpus/$t/"* "$work/"
  log="$build/fuzz-$t.log"
  start=$(date +%s.%N)
  status=0
  "$build/bin/fuzz_$t" -runs="$runs" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$crashes/" -print_final_stats=1 "$work" >"$log" 2>&1 || status=$?
  end=$(date +%s.%N)
  secs=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # libFuzzer's own average counts whole seconds only; a short run shows 0.
  rate=$(awk -v n="${execs:-0}" -v s="$secs" 'BEGIN { printf "%d", (s > 0 ? n / s : 0) }')
  if [ "$status" -eq 0 ]; then
    result="ok"
  else
    crashed=1
    result="CRASH (status $status; log $log; inputs in $crashes/)"
  fi
  printf '%-12s %12s %10s %10s  %s\n' "$t" "${execs:-?}" "$secs" "$rate" "$result"
done
exit "$crashed"
