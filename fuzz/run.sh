#!/bin/sh
# Runs the fuzzing targets one after another, each for SECONDS, from the
# seeds of fuzz/corpus/<target>/ (read only: new inputs go to a scratch
# corpus that is removed afterwards), and prints one line per target with
# its executions and coverage.  Fails when a target reports a fault; the
# input that caused it is kept in the artifact directory.
#
#   fuzz/run.sh SECONDS [TARGET...]      default: every target built
#
# The targets are built with
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DKEM_FUZZ=ON -DKEM_TESTS=OFF
#   cmake --build build-fuzz -j2
# (KEM_FUZZ_BUILD names another build directory, KEM_FUZZ_ARTIFACTS
# another artifact directory than build-fuzz/artifacts).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
[ $# -ge 1 ] || { echo "usage: fuzz/run.sh SECONDS [TARGET...]" >&2; exit 2; }
seconds=$1
shift
# Absolute paths only: a target moves into its own scratch directory.
build=$(cd "${KEM_FUZZ_BUILD:-build-fuzz}" && pwd)
artifacts=${KEM_FUZZ_ARTIFACTS:-$build/artifacts}
mkdir -p "$artifacts"
artifacts=$(cd "$artifacts" && pwd)
if [ $# -eq 0 ]; then
    set -- $(cd fuzz && ls fuzz_*.cpp | sed 's/^fuzz_//; s/\.cpp$//')
fi

# Harnesses write their inputs to files: memory-backed storage when there
# is some is many times faster.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    scratch=$(mktemp -d -p /dev/shm)
else
    scratch=$(mktemp -d)
fi
passed=0
failed=0
trap 'rm -rf "$scratch"' EXIT INT TERM
for target in "$@"; do
    mkdir -p "$scratch/$target/corpus" "$scratch/$target/tmp"
    log="$scratch/$target/log"
    if ! TMPDIR="$scratch/$target/tmp" "$build/fuzz/fuzz_$target" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$scratch/$target/corpus" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz $target: FAILED (input kept under $artifacts)"
        failed=$((failed + 1))
        continue
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
    echo "fuzz $target: $runs executions in ${seconds}s, $cov, no fault"
    passed=$((passed + 1))
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
