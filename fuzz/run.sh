#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz, makes the seed corpus with
# our own tools, and runs each target for a bounded time. Every crash found is
# kept in fuzz/regressions/<target>/, which the normal test suite replays;
# the script then fails.
#
#   fuzz/run.sh [seconds per target]      (default 45)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-45}"
jobs="${JOBS:-2}"
build=build-fuzz

CC=clang CXX=clang++ cmake -S fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs"

# Seeds, made fresh each run: the program's form definition and a small one
# through the form compiler, modules from the module builder and the
# program's own module.
seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds/form_reader" "$seeds/module_load" "$build/seedwork"
"$build/fuzz_formc" assets/MainUnit.dfm "$seeds/form_reader/TFRMMAIN.bin"
"$build/fuzz_make_seeds" "$seeds/module_load" "$build/seedwork/tiny.bmp"
cp fuzz/seeds/small.dfm "$build/seedwork/"
"$build/fuzz_formc" "$build/seedwork/small.dfm" "$seeds/form_reader/small.bin"
cp assets/Module.MOD "$seeds/module_load/"

status=0
for target in form_reader module_load; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  rm -f "$artifacts"/*
  echo "== $target: ${seconds}s"
  # -rss_limit_mb guards against inputs that make a parser allocate without
  # bound; such an input is kept like a crash.
  if ! "$build/fuzz_$target" "$corpus" "$seeds/$target" fuzz/regressions/$target \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=131072 \
      -artifact_prefix="$artifacts/" -print_final_stats=1 \
      > "$build/$target.log" 2>&1; then
    status=1
    tail -n 60 "$build/$target.log"
  fi
  for found in "$artifacts"/*; do
    [ -e "$found" ] || continue
    status=1
    keep="fuzz/regressions/$target/$(basename "$found")"
    cp "$found" "$keep"
    echo "== $target: kept $keep"
  done
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/$target.log" || true
done
exit $status
