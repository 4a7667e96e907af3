#!/usr/bin/env bash
# Runs each fuzz target for a bounded time, starting from its committed corpus.
# Usage: Fuzz/run.sh [seconds per target], after `cmake --workflow --preset fuzz`.
# New inputs go to build/fuzz/work, crashes to build/fuzz/artifacts; a crash
# fails the run, and its input belongs in Fuzz/corpus/<target> as a regression.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
declare -A maxLength=([ProfileReadFuzzer]=4096 [ProfileEditFuzzer]=256)
for target in ProfileReadFuzzer ProfileEditFuzzer; do
    work="build/fuzz/work/$target"
    log="build/fuzz/$target.log"
    mkdir -p "$work" build/fuzz/artifacts
    if ! "build/fuzz/Fuzz/$target" -max_total_time="$seconds" -max_len="${maxLength[$target]}" \
        -artifact_prefix="build/fuzz/artifacts/$target-" -print_final_stats=1 \
        "$work" "Fuzz/corpus/$target" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "$target failed; its input is in build/fuzz/artifacts" >&2
        exit 1
    fi
    echo "$target: $(grep -E '^Done' "$log")"
    grep -E 'writes checked' "$log" || true
done
