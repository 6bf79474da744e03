#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (build/fuzz) and runs each of them on a copy of its seed corpus.
#
#   scripts/fuzz.sh --short                 a few seconds each; fails on any crash, leak or hang
#   scripts/fuzz.sh --long [SECONDS]        SECONDS each (default 100), then a table of the runs
#   scripts/fuzz.sh --long -runs=N          N executions each
#
# A long run goes on after a finding (restarted on its grown corpus) and counts it; the inputs
# that crashed or hung are kept in build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
CONFIGURATOR_PACKAGES="$CONFIGURATOR_PACKAGES clang libclang-rt-14-dev"
install_deps

mode=${1:---short}
limit=${2:-100}
case "$mode" in
    --short | --long) ;;
    *)
        echo "usage: $0 --short | --long [SECONDS|-runs=N]" >&2
        exit 2
        ;;
esac

targets=(fuzz_reply_framing fuzz_operation fuzz_update fuzz_files fuzz_line_settings
    fuzz_port_sources)
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCONFIGURATOR_FUZZ=ON -DCONFIGURATOR_TESTS=OFF >/dev/null
nice cmake --build "$build" --target fuzz_targets -j 2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
findings=$build/findings
mkdir -p "$findings"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

# One run of target $1 on its working corpus with extra options; its log goes to $work/$1.log.
run_once() {
    local target=$1
    shift
    (cd "$work" && nice "$OLDPWD/$build/fuzz/$target" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/$target-" "$@" "$work/$target") \
        >"$work/$target.log" 2>&1
}

# Moves the run's artifacts to the findings and says whether it was a hang or a crash.
classify() {
    local target=$1 kind=crash artifact
    if grep -qE 'libFuzzer: timeout|still running' "$work/$target.log"; then kind=hang; fi
    for artifact in "$work/$target"-*; do
        [ -f "$artifact" ] && mv "$artifact" "$findings/"
    done
    echo "$kind"
}

# Executions of the run just made, as libFuzzer's final statistics count them.
executed() {
    local n
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$1.log" | tail -1)
    echo "${n:-0}"
}

if [ "$mode" = --short ]; then
    failed=()
    for target in "${targets[@]}"; do
        cp -r "fuzz/corpus/$target" "$work/$target"
        if run_once "$target" -max_total_time=5; then
            echo "$target: $(executed "$target") runs, no finding"
        else
            echo "$target: $(classify "$target") (input kept in $findings):"
            grep -E -A2 'check failed|ERROR: |SUMMARY' "$work/$target.log" | head -20
            failed+=("$target")
        fi
    done
    if [ ${#failed[@]} -ne 0 ]; then
        echo "fuzzing found faults in: ${failed[*]}" >&2
        exit 1
    fi
    exit 0
fi

runs=""
case "$limit" in
    -runs=*) runs=${limit#-runs=} ;;
    *[!0-9]* | "")
        echo "usage: $0 --long [SECONDS|-runs=N]" >&2
        exit 2
        ;;
esac

table=$work/table
printf '%-20s %12s %9s %8s %6s\n' target executions execs/s crashes hangs >"$table"
status=0
for target in "${targets[@]}"; do
    cp -r "fuzz/corpus/$target" "$work/$target"
    total=0 crashes=0 hangs=0 start=$SECONDS
    while :; do
        if [ -n "$runs" ]; then
            left=$((runs - total))
            [ "$left" -gt 0 ] || break
            option=-runs=$left
        else
            left=$((limit - (SECONDS - start)))
            [ "$left" -gt 0 ] || break
            option=-max_total_time=$left
        fi
        if run_once "$target" "$option"; then
            total=$((total + $(executed "$target")))
            break
        fi
        total=$((total + $(executed "$target")))
        if [ "$(classify "$target")" = hang ]; then hangs=$((hangs + 1)); else crashes=$((crashes + 1)); fi
        status=1
    done
    elapsed=$((SECONDS - start))
    [ "$elapsed" -gt 0 ] || elapsed=1
    printf '%-20s %12d %9d %8d %6d\n' "$target" "$total" $((total / elapsed)) "$crashes" \
        "$hangs" >>"$table"
done
cat "$table"
[ "$status" -eq 0 ] || echo "inputs that crashed or hung: $findings" >&2
exit "$status"
