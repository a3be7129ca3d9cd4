#!/bin/bash
# Builds the libFuzzer targets (preset linux-fuzz) and runs each from its seed corpus for a bounded
# time with a fixed seed; fails on any finding (crash, sanitizer report, failed check, timeout).
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

# Each target with the dictionary of the format it reads ("-" for none: its input is a binary recipe).
targets=(
  "fuzz_hive_round_trip hive"
  "fuzz_hive_format -"
  "fuzz_trans_split_lines trans"
  "fuzz_trans_unescape trans"
  "fuzz_trans_read_text trans"
  "fuzz_settings_load settings"
)

if ! built=$(cmake --preset linux-fuzz 2>&1 && cmake --build --preset linux-fuzz -j2 2>&1); then
  echo "$built" | tail -30
  echo "fuzz: the linux-fuzz build failed"
  exit 1
fi

out=build/linux-fuzz/fuzzing
rm -rf "$out"
failed=0
for entry in "${targets[@]}"; do
  read -r target dict <<<"$entry"
  # New inputs go to a scratch corpus, so the seeds in the tree stay as they are.
  mkdir -p "$out/$target"
  args=(-seed=1 -max_total_time="$seconds" -timeout=10 -artifact_prefix="$out/$target-")
  [ "$dict" != - ] && args+=(-dict="fuzz/dict/$dict.dict")
  log="$out/$target.log"
  if build/linux-fuzz/fuzz/"$target" "${args[@]}" "$out/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    # libFuzzer's final line: "#<runs> DONE cov: <edges> ft: <features> corp: <inputs>/<bytes> ...".
    stats=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 | sed -E 's/^#([0-9]+)[[:space:]]+DONE[[:space:]]+/\1 runs, /; s/ lim:.*//')
    echo "fuzz: $target: ${seconds} s, $stats, no finding"
  else
    echo "fuzz: $target: FINDING (log $log; input saved as $out/$target-*)"
    grep -E 'ERROR|fuzz check failed|SUMMARY' "$log" | head -5
    failed=$((failed + 1))
  fi
done
[ "$failed" -eq 0 ]
