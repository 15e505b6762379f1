#!/usr/bin/env bash
# Loss and fault trials: our TFTP client uploads a 1 MiB file to tftpd-hpa over a link
# that loses, duplicates, reorders or delays frames.
#
#   bench/tftp_trials.sh [N]     (as root; N uploads per condition, default 20)
#
# For each condition a fresh relayed testbed (tests/support/testbed up-relayed) puts the
# frame relay, with a fixed seed, between the pc and the router namespaces, and N
# uploads run one after another. The table counts the uploads that reported success,
# those that reported an error, those that had to be killed, and the files on the server
# that differ from the source after a reported success, which must be none. For each
# such file the relay's trace of that upload is kept and its end printed.
#
# To keep the run short the client waits 1000 ms for each reply instead of its 4000
# (tftp_put --timeout 1000), and the server retransmits after 250 ms instead of 1 s
# (in.tftpd -T 250000): the same ratio as with both defaults.
#
# Everything happens between namespaces this script makes and removes, even when it is
# interrupted; nothing leaves the machine.
set -euo pipefail

uploads=${1:-20}
[[ $uploads =~ ^[1-9][0-9]?$ ]] || { echo "usage: $0 [N 1-99]" >&2; exit 2; }

# shellcheck source-path=SCRIPTDIR source=tftp_lib.sh
source "$(dirname "$0")/tftp_lib.sh"
tftp_bench_prepare mxtrial

conditions=(
  "loss 1%|--loss 1"
  "loss 5%|--loss 5"
  "loss 20%|--loss 20"
  "duplication 10%|--duplicate 10"
  "reordering 5%, held 400 ms|--reorder 5 --reorder-hold-us 400000"
  "delay 0.5 ms each way|--delay-us 500"
)
client_timeout_ms=1000
upload_limit_s=120
kept= # the directory of traces kept for files that differ, made at the first

source_file=$work/firmware-1m.bin
head -c $((1 << 20)) /dev/urandom >"$source_file"

echo "TFTP upload trials: $uploads uploads of 1 MiB per condition, block size 1500, tftpd-hpa"
echo "client waits ${client_timeout_ms} ms per reply (tftp_put --timeout), server retransmits after 250 ms"
echo "load before: $(uptime)"
table=$(printf '%-30s %8s %8s %6s %6s %s' condition success error killed differ "median s (successes)")
notes=()

for index in "${!conditions[@]}"; do
  condition=${conditions[$index]%%|*}
  read -r -a options <<<"${conditions[$index]#*|}"
  trace=$work/trace-$index.txt
  "$testbed" up-relayed "$bed" "$relay" "${options[@]}" --seed 1 --trace "$trace" 2>"$work/relay-$index.log"
  start_server -T 250000
  success=0 failed=0 killed=0 differ=0 times=()
  declare -A messages=()
  for run in $(seq "$uploads"); do
    name=trial-$run.bin
    first_line=$(($(wc -l <"$trace") + 1))
    status=0
    bounded "$upload_limit_s" ip netns exec "$pc" "$put" "$router_address" 69 "$source_file" "$name" 1500 \
      --timeout "$client_timeout_ms" >"$work/out" 2>"$work/err" || status=$?
    case $status in
    0)
      success=$((success + 1))
      times+=("$(awk '$1 == "elapsed_s" { print $2 }' "$work/out")")
      if ! cmp -s "$source_file" "$serve/$name"; then
        differ=$((differ + 1))
        [ -n "$kept" ] || kept=$(mktemp -d /tmp/tftp-trial-traces.XXXXXX)
        slice=$kept/$(tr ' %,.' '____' <<<"$condition")-upload-$run.txt
        tail -n "+$first_line" "$trace" >"$slice"
        size=$(stat -c %s "$serve/$name" 2>/dev/null || echo none)
        notes+=("$condition, upload $run: reported success, server holds $size of $((1 << 20)) bytes; trace $slice, its end:")
        notes+=("$(tail -n 12 "$slice" | sed 's/^/    /')")
      fi
      ;;
    124 | 137) killed=$((killed + 1)) ;;
    *)
      failed=$((failed + 1))
      message=$(tr '\r\n' '  ' <"$work/err" | sed 's/^tftp_put: //; s/ *$//')
      messages[$message]=$((${messages[$message]:-0} + 1))
      ;;
    esac
    rm -f "$serve/$name"
  done
  stop_server
  "$testbed" down "$bed" 2>>"$work/relay-$index.log"
  read -r median _ < <(median_min "${times[@]}")
  [ "$median" = - ] || median=$(printf '%.3f' "$median")
  table+=$'\n'$(printf '%-30s %8d %8d %6d %6d %s' "$condition" "$success" "$failed" "$killed" "$differ" "$median")
  echo
  echo "$condition: $success succeeded, $failed reported an error, $killed killed, $differ differ after success"
  for message in "${!messages[@]}"; do echo "  error x${messages[$message]}: $message"; done
  sed -n 's/^frame-relay: /  relay: /p' "$work/relay-$index.log"
  unset messages
done

echo
echo "$table"
for note in "${notes[@]}"; do echo "$note"; done
echo "load after: $(uptime)"
