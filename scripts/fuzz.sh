#!/usr/bin/env bash
# Runs one fuzz target for a bounded time:  bash scripts/fuzz.sh NAME SECONDS [libFuzzer options]
#
# Builds the "fuzz" preset (clang, libFuzzer, ASan + UBSan), then fuzzes from the
# committed seeds in fuzz/corpus/NAME. New corpus entries go to
# build/fuzz-work/NAME, never into the repository; an input that fails is
# written to build/fuzz-work/NAME-findings/ (copy it into fuzz/findings/NAME/
# and turn it into a unit test).
set -euo pipefail
cd "$(dirname "$0")/.."
if (($# < 2)); then
    echo "usage: bash scripts/fuzz.sh NAME SECONDS [libFuzzer options]" >&2
    exit 2
fi
name=$1
seconds=$2
shift 2
bash scripts/deps.sh clang libclang-rt-14-dev
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "${name}_fuzz"
work=build/fuzz-work/$name
findings=build/fuzz-work/$name-findings
mkdir -p "$work" "$findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
exec ./build/fuzz/fuzz/"${name}_fuzz" "$work" "fuzz/corpus/$name" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 "$@"
