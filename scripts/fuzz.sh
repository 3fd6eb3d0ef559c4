#!/bin/sh
# Builds the libFuzzer targets of fuzz/ with clang into their own folder and
# runs each for a bounded time, starting from the seed corpus in
# fuzz/corpus/<target>/ (copied, so the repository's seeds stay as they are).
# Prints the executions per target; fails if any target finds a crash, leak
# or time-out (the input is kept in the build folder's artifacts/).
# Usage: scripts/fuzz.sh [SECONDS-PER-TARGET]   (default 10)
set -eu
cd "$(dirname "$0")/.."

scripts/install-packages.sh clang libclang-rt-14-dev cmake qt6-base-dev libplist-dev \
    libcli11-dev pkg-config

seconds=${1:-10}
build=${VANTREL_FUZZ_BUILD_DIR:-build-fuzz}
targets="fuzz_document fuzz_preferences fuzz_event_text fuzz_formatters fuzz_event_listing fuzz_clipboard fuzz_drag_data"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DVANTREL_FUZZ=ON -DVANTREL_TESTS=OFF -DVANTREL_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target fuzz_targets -j"${VANTREL_FUZZ_JOBS:-$(nproc)}"

mkdir -p "$build/artifacts"
failed=0
for target in $targets; do
    work="$build/corpus/$target"
    mkdir -p "$work"
    if [ -d "fuzz/corpus/$target" ]; then
        cp -n fuzz/corpus/$target/* "$work/" 2>/dev/null || true
    fi
    # Small inputs, and a generous time-out that only catches a hang.
    limits="-max_len=8192 -timeout=10"
    case $target in
    fuzz_document | fuzz_preferences | fuzz_clipboard | fuzz_drag_data)
        # Property lists: seeded with real documents, mutated with their tags.
        set -- -dict=fuzz/plist.dict
        for example in examples/*.vantrel; do
            cp -n "$example" "$work/example-$(basename "$example" .vantrel | tr ' ' '-')" 2>/dev/null || true
        done
        ;;
    *)
        set --
        ;;
    esac
    if [ "$target" = fuzz_document ]; then
        # Inputs up to a megabyte, each allowed 5 s: the target also reads
        # every dictionary again with its keys in the opposite order, so a
        # read that grows with the square of its input fails here. The seed
        # is a dictionary of that size in ascending order.
        limits="-max_len=1048576 -timeout=5"
        awk 'BEGIN { printf "<plist version=\"1.0\"><dict>";
                     for (i = 0; i < 38000; ++i) printf "<key>k%06d</key><true/>", i;
                     printf "</dict></plist>" }' >"$work/large-dictionary"
    fi
    log="$build/$target.log"
    status=0
    # shellcheck disable=SC2086 # limits is two options
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=fuzz/lsan.supp QT_QPA_PLATFORM=offscreen \
        "$build/bin/$target" -max_total_time="$seconds" $limits -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" "$@" \
        "$work" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [ "$status" -ne 0 ]; then
        failed=1
        echo "$target: FAILED after ${runs:-?} executions (see $log)"
        grep -m 5 -E "ERROR|SUMMARY|Test unit written" "$log" || true
    else
        echo "$target: ${runs:-?} executions in ${seconds}s, no failure"
    fi
done
exit $failed
