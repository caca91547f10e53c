#!/bin/sh
# A fuzzing campaign: every target of the fuzz preset (ASan + UBSan) runs until
# it has a given number of executions, from the seeds the project generates
# itself, growing its corpus in build/fuzz/corpus/<target>. The campaign can be
# stopped and resumed: executions add up in build/fuzz/executions/<target>.
# A crash, leak, timeout or out-of-memory stops that target and leaves its
# input in build/fuzz/findings/<target>/; turn each into a fix and a file in
# fuzz/regressions/<target>/ (./test.sh replays them), then run with -r TARGET
# to count that target from zero again.
#
#   fuzz/campaign.sh [-j JOBS] [-p PARSER_RUNS] [-d DECODER_RUNS] [-t SECONDS] [-r] [TARGET...]
#
# Defaults: 10 million executions per parser target, 2 million per decoder,
# two targets at a time, no time limit (-t bounds each target's share of this
# run). Prints one line per target and the totals to build/fuzz/campaign.txt.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=2
parser_runs=10000000
decoder_runs=2000000
seconds_each=0
reset=
while getopts j:p:d:t:r opt; do
  case $opt in
    j) jobs=$OPTARG ;;
    p) parser_runs=$OPTARG ;;
    d) decoder_runs=$OPTARG ;;
    t) seconds_each=$OPTARG ;;
    r) reset=1 ;;
    *) sed -n 11p "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

decoders="fuzz_decode_jpeg fuzz_decode_png fuzz_decode_tiff fuzz_decode_gif fuzz_decode_bmp fuzz_decode_any fuzz_decode_webp fuzz_decode_avif fuzz_decode_heif fuzz_decode_jxl fuzz_decode_modern fuzz_jpegblocks"
parsers="fuzz_read_string fuzz_config fuzz_styles fuzz_watermark fuzz_render_watermark fuzz_jpegfile fuzz_exif fuzz_modern_metadata"
targets=${*:-$parsers $decoders}
build=$root/build/fuzz

run_one() {
  target=$1
  # Inputs a little larger than the largest seed: long enough for every
  # structure, short enough to keep the executions fast.
  goal=$parser_runs max_len=4096
  case $target in fuzz_jpegfile | fuzz_exif | fuzz_modern_metadata) max_len=16384 ;; esac
  case " $decoders " in *" $target "*) goal=$decoder_runs max_len=65536 ;; esac
  mkdir -p "$build/corpus/$target" "$build/findings/$target" "$build/logs" "$build/executions"
  total_file=$build/executions/$target
  done_before=$(cat "$total_file" 2>/dev/null || echo 0)
  remaining=$((goal - done_before))
  if [ "$remaining" -le 0 ]; then
    printf '%-24s %12s executions in all (goal %s reached)\n' "$target" "$done_before" "$goal" |
      tee -a "$build/campaign.txt"
    return 0
  fi
  log=$build/logs/$target.log
  extra=
  [ -d "$root/fuzz/regressions/$target" ] && extra="$root/fuzz/regressions/$target"
  start=$(date +%s)
  status=0
  # The memory and time limits make a bogus size in a header show up as a
  # finding instead of slowing the campaign down.
  "$build/fuzz/$target" -runs="$remaining" -max_total_time="$seconds_each" -rss_limit_mb=2560 \
    -malloc_limit_mb=1024 -timeout=20 -max_len="$max_len" -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target/" \
    "$build/corpus/$target" "$build/seeds/$target" $extra >"$log" 2>&1 || status=$?
  seconds=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  total=$((done_before + ${execs:-0}))
  echo "$total" >"$total_file"
  result=clean
  case $status in
    0) ;;
    72) result="stopped (interrupted)" ;;  # libFuzzer's exit status after SIGINT
    *) result="FINDING (exit $status, see $log)" ;;
  esac
  printf '%-24s %12s executions in all (%s in %s s now, corpus %s files) %s\n' "$target" "$total" \
    "${execs:-0}" "$seconds" "$(ls "$build/corpus/$target" | wc -l)" "$result" | tee -a "$build/campaign.txt"
}

# xargs runs each target through this script again.
if [ "${TVX_CAMPAIGN_ONE:-}" ]; then
  run_one "$TVX_CAMPAIGN_ONE"
  exit 0
fi

cd "$root"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
rm -rf "$build/seeds"
"$build/fuzz/tvx_fuzz_seeds" "$build/seeds"
if [ "$reset" ]; then
  for target in $targets; do rm -f "$build/executions/$target"; done
fi
echo "# $(date -u '+%Y-%m-%d %H:%M') $targets" >>"$build/campaign.txt"
printf '%s\n' $targets | xargs -P "$jobs" -I{} env TVX_CAMPAIGN_ONE={} \
  sh "$0" -p "$parser_runs" -d "$decoder_runs" -t "$seconds_each"
