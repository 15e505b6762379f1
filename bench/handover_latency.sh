#!/usr/bin/env bash
# How soon the tool notices the router's rescue mode: from the moment the simulated
# router's link comes up to its TFTP server receiving the write request, over RUNS
# runs of the real window; prints each run, the median and the worst.
#
#   bench/handover_latency.sh [RUNS]     (as root; RUNS defaults to 10)
#
# Runs offscreen, between test namespaces the program makes and removes; nothing
# leaves the machine. Exits non-zero when the worst run exceeds one probe time-out
# (300 ms) plus 50 ms.
set -euo pipefail
[ "$(id -u)" -eq 0 ] || { echo "$0: needs root for network namespaces and raw sockets" >&2; exit 77; }

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target handover_latency >/dev/null
QT_QPA_PLATFORM=offscreen exec "$build/bench/handover_latency" "$@"
