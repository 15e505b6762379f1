#!/usr/bin/env bash
# TFTP upload throughput: our client against the command-line clients Debian ships.
#
#   bench/tftp_throughput.sh [RUNS]     (as root; RUNS defaults to 5)
#
# Each client uploads the same 8 MiB file with block size 1500 to tftpd-hpa in a test
# router namespace, RUNS times in turn, first over a direct veth link, then over it
# again with the clients and the server held to one core, then through the frame relay
# with 0.5 ms of delay each way. Each run is checked with cmp, and a run that fails or
# leaves a different file counts as failed. Each table gives the median and the least
# wall time, the throughput at the median and the ratio of our median time to each
# peer's (below 1: ours is faster). After the first comes our client's peak resident
# memory for an 8 MiB and a 64 MiB file, which must not grow with the file.
#
# Everything happens between namespaces this script makes and removes, even when it is
# interrupted; nothing leaves the machine.
set -euo pipefail

runs=${1:-5}
[[ $runs =~ ^[1-9][0-9]?$ ]] || { echo "usage: $0 [RUNS 1-99]" >&2; exit 2; }

# shellcheck source-path=SCRIPTDIR source=tftp_lib.sh
source "$(dirname "$0")/tftp_lib.sh"
tftp_bench_prepare mxbench

# One upload with one client: sets result to the wall time in seconds, or to "fail".
upload() {
  local client=$1 file=$2 name=$3 start end status=0
  local target=("$router_address" 69)
  rm -f "$serve/$name"
  start=$(date +%s.%N)
  case $client in
  ours) bounded 120 ip netns exec "$pc" "$put" "${target[@]}" "$file" "$name" 1500 >/dev/null || status=$? ;;
  busybox) bounded 120 ip netns exec "$pc" busybox tftp -b 1500 -p -l "$file" -r "$name" "${target[@]}" \
             >/dev/null 2>&1 || status=$? ;;
  curl) bounded 120 ip netns exec "$pc" curl -sS --tftp-blksize 1500 -T "$file" "tftp://$router_address:69/$name" \
          >/dev/null 2>&1 || status=$? ;;
  atftp) bounded 120 ip netns exec "$pc" atftp --option "blksize 1500" -p -l "$file" -r "$name" "${target[@]}" \
           >/dev/null 2>&1 || status=$? ;;
  esac
  end=$(date +%s.%N)
  result=fail
  if [ "$status" -eq 0 ] && cmp -s "$file" "$serve/$name"; then
    result=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')
  fi
}

clients=(ours busybox curl atftp)
file8=$work/firmware-8m.bin
head -c $((8 << 20)) /dev/urandom >"$file8"

# Runs every client RUNS times, in turn and each run starting with another client, so
# that a change of load falls on all alike; prints the table for one link.
measure() {
  local link=$1 client run turn
  declare -A times=() failures=()
  for run in $(seq "$runs"); do
    for turn in "${!clients[@]}"; do
      client=${clients[(turn + run) % ${#clients[@]}]}
      upload "$client" "$file8" "$client-$run.bin"
      if [ "$result" = fail ]; then
        failures[$client]=$((${failures[$client]:-0} + 1))
      else
        times[$client]+="$result "
      fi
    done
  done
  local ours least
  # shellcheck disable=SC2086 # the times are words
  read -r ours least < <(median_min ${times[ours]:-})
  printf '\n%s\n' "$link"
  printf '%-8s %10s %10s %10s %12s %8s\n' client "median s" "least s" "MiB/s" "ours/peer" failed
  for client in "${clients[@]}"; do
    local m mibs ratio
    # shellcheck disable=SC2086
    read -r m least < <(median_min ${times[$client]:-})
    mibs=- ratio=-
    if [ "$m" != - ]; then
      mibs=$(awk -v t="$m" 'BEGIN { printf "%.1f", 8 / t }')
      [ "$ours" != - ] && [ "$client" != ours ] && ratio=$(awk -v o="$ours" -v t="$m" 'BEGIN { printf "%.2f", o / t }')
      m=$(printf '%.3f' "$m") least=$(printf '%.3f' "$least")
    fi
    printf '%-8s %10s %10s %10s %12s %8s\n' "$client" "$m" "$least" "$mibs" "$ratio" "${failures[$client]:-0}/$runs"
  done
}

round_trip() {
  ip netns exec "$pc" busybox ping -q -c 20 -i 0.05 "$router_address" | sed -n 's/.*= [0-9.]*\/\([0-9.]*\)\/.*/\1 ms/p'
}

echo "TFTP upload of 8 MiB, block size 1500, tftpd-hpa; median of $runs runs"
echo "load before: $(uptime)"

"$testbed" up "$bed"
start_server
measure "direct veth link (round trip $(round_trip))"

echo
echo "peak resident memory of ours (direct link):"
file64=$work/firmware-64m.bin
head -c $((64 << 20)) /dev/urandom >"$file64"
for file in "$file8" "$file64"; do
  rm -f "$serve/rss.bin"
  bounded 120 ip netns exec "$pc" "$put" "$router_address" 69 "$file" rss.bin 1500 >"$work/rss" || true
  rss=$(awk '$1 == "peak_rss_kib" { print $2 }' "$work/rss")
  cmp -s "$file" "$serve/rss.bin" || rss="$rss (upload failed)"
  printf '  %3d MiB file: %s KiB\n' $(($(stat -c %s "$file") >> 20)) "$rss"
done
rm -f "$file64"
stop_server

# On the direct link whether the scheduler puts the client and the server on one core
# or on two moves the times more than the clients differ. Held to one core, the upload
# is bound by the work both sides do for each block, and the clients' own costs show.
all_cores=$(taskset -pc $$ | sed 's/.*: //')
taskset -pc 0 $$ >/dev/null
start_server
measure "direct veth link, clients and server on core 0"
stop_server
taskset -pc "$all_cores" $$ >/dev/null
"$testbed" down "$bed"

"$testbed" up-relayed "$bed" "$relay" --delay-us 500 2>/dev/null
start_server
measure "frame relay, 0.5 ms each way (round trip $(round_trip))"
stop_server
"$testbed" down "$bed"

echo
echo "load after: $(uptime)"
