#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# A fuzz campaign: every libFuzzer target of fuzz/ (or those named) for a
# number of processor minutes each, on a corpus kept between campaigns
# outside the repository.
#   scripts/fuzz-campaign.sh                 30 processor minutes per target
#   scripts/fuzz-campaign.sh -m 2 rtp_packet_fuzz sip_sdp_fuzz
# Options:
#   -m MINUTES   processor minutes per target (default 30; fractions allowed)
#   -j JOBS      targets run at once (default: processors)
#   -d FOLDER    campaign folder (default ~/.cache/g723-fuzz): corpus/TARGET
#                (kept and minimised), findings/, logs/, report.txt
#   -n           no source coverage (skips its build)
#   -s           also add, to fuzz/corpus/TARGET, the inputs of the
#                minimised corpus that reach what the seeds do not
#   -r           no fuzzing: the report (and -s) from the last campaign of
#                each target named
# Each target starts from its committed seeds and the corpus of earlier
# campaigns, with the dictionaries of the formats it reads (fuzz/dict). Its
# processor time is read from the kernel, so a busy machine gets the same
# amount of fuzzing, only later. Afterwards the corpus is minimised
# (libFuzzer's merge), and the coverage of the minimised corpus measured
# twice: libFuzzer's edges and features, and the lines and branches of the
# sources (clang's source-based coverage, a build of its own). A crash, a
# broken invariant, a leak or a time-out is a finding: its input goes to
# findings/ and the script exits with 1 once every target has run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
minutes=30
jobs=$(nproc)
campaign=${G723_FUZZ_CAMPAIGN:-$HOME/.cache/g723-fuzz}
source_coverage=1
update_seeds=0
report_only=0
while getopts "m:j:d:nsr" option; do
  case $option in
    m) minutes=$OPTARG ;;
    j) jobs=$OPTARG ;;
    d) campaign=$OPTARG ;;
    n) source_coverage=0 ;;
    s) update_seeds=1 ;;
    r) report_only=1 ;;
    *) sed -n '3,28p' "$0" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
campaign=$(realpath -m "$campaign")
case $campaign/ in "$root"/*) echo "fuzz-campaign: the campaign folder must be outside the repository" >&2; exit 2 ;; esac

targets=("$@")
if ((${#targets[@]} == 0)); then
  for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
# The formats each target reads, whose dictionaries it gets.
dictionaries() {
  case $1 in
    rtp_packet_fuzz) echo "rtp rtcp" ;;
    rtcp_packet_fuzz) echo "rtcp" ;;
    baresip_payload_fuzz) echo "rtp sdp" ;;
    stream_timeline_fuzz | payload_frames_fuzz) echo "rtp" ;;
    packet_decoding_fuzz) echo "pcap rtp" ;;
    sip_sdp_fuzz) echo "sip sdp" ;;
    capture_reader_fuzz | srtp_capture_fuzz) echo "pcap pcapng rtp sip sdp rtcp" ;;
    bitstream_reader_fuzz) echo "wav" ;;
    *) echo "" ;;
  esac
}

command -v clang++ >/dev/null || scripts/install-deps.sh
build=${G723_FUZZ_BUILD:-$root/build-fuzz}
cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j"$jobs" --target "${targets[@]}" >/dev/null

mkdir -p "$campaign"/{corpus,findings,logs,dict,results}
budget_seconds=$(awk -v m="$minutes" 'BEGIN { printf "%d", m * 60 }')
ticks=$(getconf CLK_TCK)

# Runs one target until its process has used the budget of processor time,
# then interrupts it (libFuzzer keeps every input it added); then minimises
# its corpus. Prints: target seconds executions status.
fuzz_target() {
  local target=$1 corpus=$campaign/corpus/$1 log=$campaign/logs/$1.log options=() dict
  mkdir -p "$corpus"
  cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  dict=$campaign/dict/$target.dict
  : >"$dict"
  for format in $(dictionaries "$target"); do cat "fuzz/dict/$format.dict" >>"$dict"; done
  [[ -f fuzz/$target.dict ]] && cat "fuzz/$target.dict" >>"$dict"
  [[ -s $dict ]] && options+=(-dict="$dict")
  "$build/fuzz/$target" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 -max_total_time=$((budget_seconds * 20)) \
    -artifact_prefix="$campaign/findings/$target-" "${options[@]}" "$corpus" >"$log" 2>&1 &
  local pid=$! used=0
  while kill -0 "$pid" 2>/dev/null; do
    # utime and stime, fields 14 and 15 of /proc/PID/stat, in clock ticks.
    used=$(awk -v t="$ticks" '{ printf "%d", ($14 + $15) / t }' "/proc/$pid/stat" 2>/dev/null || echo "$used")
    if ((used >= budget_seconds)); then
      kill -INT "$pid" 2>/dev/null || true
      break
    fi
    sleep 1
  done
  local status=ok
  wait "$pid" || status=$?
  # An interrupted run ends with 72 (libFuzzer's interrupt code) or 0.
  if [[ $status == 72 || $status == 0 || $status == ok ]]; then status=ok; else status=finding; fi
  grep -q -E '^==[0-9]+== ERROR: libFuzzer|^SUMMARY: |deadly signal|Test unit written' "$log" && status=finding
  local executions
  executions=$(grep -o -E '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')
  # Minimised: the smallest set of inputs with all the features of the corpus.
  local merged=$campaign/merge-$target
  rm -rf "$merged" && mkdir -p "$merged"
  if "$build/fuzz/$target" -merge=1 -timeout=20 -rss_limit_mb=2048 "$merged" "$corpus" \
       >"$campaign/logs/$target.merge.log" 2>&1; then
    rm -rf "$corpus" && mv "$merged" "$corpus"
  else
    rm -rf "$merged"
  fi
  echo "$target $used ${executions:-0} $status" | tee "$campaign/results/$target"
}
export -f fuzz_target dictionaries
export campaign build budget_seconds ticks

if ((report_only)); then
  echo "fuzz-campaign: the report of the last campaign of ${#targets[@]} targets, in $campaign"
else
  echo "fuzz-campaign: ${#targets[@]} targets, $minutes processor minutes each, $jobs at a time, in $campaign"
fi
if ((!report_only)); then
  printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'fuzz_target {}'
fi
# This campaign's targets, as the last run of each left them.
results=$campaign/results.txt
: >"$results"
for target in "${targets[@]}"; do
  if [[ -f $campaign/results/$target ]]; then cat "$campaign/results/$target" >>"$results"; fi
done

# Coverage of each minimised corpus: libFuzzer's own count of edges and
# features (one pass over the corpus), and, with the sources, lines and
# branches.
if ((source_coverage)); then
  cover=${G723_FUZZ_COVERAGE_BUILD:-$root/build-fuzz-coverage}
  cmake --preset fuzz-coverage -B "$cover" >/dev/null
  cmake --build "$cover" -j"$jobs" --target "${targets[@]}" >/dev/null
fi
report=$campaign/report.txt
{
  printf '%-22s %8s %12s %7s %7s %8s %8s %9s  %s\n' target "cpu min" executions inputs edges features \
    "lines" "branches" findings
  while read -r target used executions status; do
    corpus=$campaign/corpus/$target
    inputs=$(find "$corpus" -type f | wc -l)
    "$build/fuzz/$target" -runs=0 -rss_limit_mb=2048 "$corpus" >"$campaign/logs/$target.cov.log" 2>&1 || true
    edges=$(grep -o -E 'INITED cov: [0-9]+ ft: [0-9]+' "$campaign/logs/$target.cov.log" | tail -n 1)
    lines=- branches=-
    if ((source_coverage)); then
      profile=$campaign/logs/$target.profraw
      LLVM_PROFILE_FILE=$profile "$cover/fuzz/$target" -runs=0 -rss_limit_mb=2048 "$corpus" >/dev/null 2>&1 || true
      llvm-profdata merge -sparse "$profile" -o "${profile%.profraw}.profdata"
      # The project's own sources the target reaches; the fuzz target itself left out.
      summary=$(llvm-cov report "$cover/fuzz/$target" -instr-profile="${profile%.profraw}.profdata" \
        -ignore-filename-regex='(/usr/|/fuzz/)' | tail -n 1)
      lines=$(awk '{ print $(NF-3) }' <<<"$summary")
      branches=$(awk '{ print $NF }' <<<"$summary")
      llvm-cov show "$cover/fuzz/$target" -instr-profile="${profile%.profraw}.profdata" -format=html \
        -ignore-filename-regex='(/usr/|/fuzz/)' -output-dir="$campaign/coverage/$target" >/dev/null 2>&1 || true
    fi
    found=$( (ls "$campaign/findings/$target-"* 2>/dev/null || true) | wc -l)
    printf '%-22s %8.1f %12s %7s %7s %8s %8s %9s  %s\n' "$target" "$(awk -v s="$used" 'BEGIN { print s / 60 }')" \
      "$executions" "$inputs" "$(awk '{ print $3 }' <<<"$edges")" "$(awk '{ print $5 }' <<<"$edges")" \
      "$lines" "$branches" "$found ($status)"
  done <"$results"
} | tee "$report"

if ((update_seeds)); then
  for target in $(awk '{ print $1 }' "$results"); do
    mkdir -p "fuzz/corpus/$target"
    before=$(find "fuzz/corpus/$target" -type f | wc -l)
    # Into the seeds, only inputs that add features to them.
    "$build/fuzz/$target" -merge=1 -timeout=20 -rss_limit_mb=2048 "fuzz/corpus/$target" \
      "$campaign/corpus/$target" >"$campaign/logs/$target.seeds.log" 2>&1 || true
    echo "fuzz-campaign: $target: $(( $(find "fuzz/corpus/$target" -type f | wc -l) - before )) new seeds"
  done
fi
echo "fuzz-campaign: report in $report"
if grep -q ' finding$' "$results"; then
  echo "fuzz-campaign: findings in $campaign/findings" >&2
  exit 1
fi
