#!/usr/bin/env bash
# Builds the fuzz targets (clang with libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer) and
# runs each for SECONDS_PER_TARGET seconds (default 60), one after another, starting from the seeds in
# fuzz/corpus/<target>/. Fails when any target finds a crash, a sanitizer report, a broken check, a
# leak or a hang; the input that shows it is kept in <build>/findings/<target>/ to replay with
#   <build>/fuzz/<target> <build>/findings/<target>/<file>
# What a run learns stays in <build>/corpus/<target>/ for the next run; the committed seeds are never
# changed. ORVANE_FUZZ_BUILD_DIR picks the build folder (default build/fuzz), ORVANE_FUZZ_TARGETS a
# space-separated subset of targets.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${ORVANE_FUZZ_BUILD_DIR:-build/fuzz}
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 -DORVANE_FUZZ=ON -DORVANE_WERROR=ON \
      -DORVANE_BUILD_TESTS=OFF -DORVANE_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
# Only the fuzz targets and the libraries they link.
ninja -C "$build" -j "$(nproc)" orvane_fuzzers

if [ -n "${ORVANE_FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"$ORVANE_FUZZ_TARGETS"
else
  targets=()
  for seeds in fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
fi

failed=()
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  findings="$build/findings/$target"
  log="$build/logs/$target.log"
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  # New inputs go to the first folder: the work corpus, never the committed seeds.
  if nice -n 10 "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
       -print_final_stats=1 -artifact_prefix="$findings/" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    outcome=ok
  else
    outcome=FOUND
    failed+=("$target")
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  coverage=$( (grep -o 'cov: [0-9]*' "$log" || true) | tail -1 | cut -d' ' -f2)
  features=$( (grep -o 'ft: [0-9]*' "$log" || true) | tail -1 | cut -d' ' -f2)
  printf '%-18s %-5s %10s runs %7s exec/s  cov %-6s ft %s\n' "$target" "$outcome" "${execs:-?}" "${rate:-?}" \
         "${coverage:-?}" "${features:-?}"
  if [ "$outcome" != ok ]; then
    grep -E '^(==[0-9]+==ERROR|SUMMARY|finding:|.*runtime error:|ALARM|artifact_prefix|Test unit written)' "$log" | head -20 || true
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]} (inputs in $build/findings/, logs in $build/logs/)" >&2
  exit 1
fi
echo "fuzz: no findings in ${#targets[@]} targets, ${seconds} s each"
