# shellcheck shell=bash
# The part the TFTP benchmarks share, sourced by tftp_throughput.sh and tftp_trials.sh:
# building our client, the test namespaces and a scratch directory, tftpd-hpa in the
# router namespace, and a clean-up that removes all of it on exit, an interrupt
# included. Everything happens between namespaces the benchmark makes; nothing leaves
# the machine.
#
#   tftp_bench_prepare NAME      needs root; builds tftp_put and frame-relay, and sets
#                                put, relay, testbed, bed, pc, router, router_address,
#                                work (a scratch directory) and serve (the server's)
#   bounded LIMIT COMMAND...     runs COMMAND for at most LIMIT seconds
#   start_server [OPTIONS...]    in.tftpd in the router namespace, with OPTIONS added
#   stop_server
#   median_min NUMBERS...        prints the median and the least, or "- -" for none

# The variables it sets are for the script that sources this file.
# shellcheck disable=SC2034
tftp_bench_prepare() {
  local name=$1 root
  [ "$(id -u)" -eq 0 ] || { echo "$0: needs root for network namespaces" >&2; exit 77; }

  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  local build=$root/build/bench
  cmake -S "$root" -B "$build" >/dev/null
  cmake --build "$build" -j2 --target tftp_put frame-relay >/dev/null
  put=$build/bench/tftp_put
  relay=$build/tests/support/frame-relay
  testbed=$root/tests/support/testbed

  bed=$name$$
  pc=$bed-pc router=$bed-router
  router_address=192.0.2.2
  work=$(mktemp -d "/tmp/$name.XXXXXX")
  serve=$work/served
  mkdir -p "$serve"
  server_pid=
  child=
  trap tftp_bench_cleanup EXIT
  trap 'exit 130' INT TERM
}

# Runs a command for at most LIMIT seconds in the background and waits for it, so that
# an interrupt is answered at once rather than when the command ends.
bounded() {
  local limit=$1 status=0
  shift
  timeout "$limit" "$@" &
  child=$!
  wait "$child" || status=$?
  child=
  return "$status"
}

start_server() {
  ip netns exec "$router" in.tftpd -L -c -s -u root "$@" -a "$router_address:69" "$serve" &
  server_pid=$!
  for _ in $(seq 50); do
    ip netns exec "$router" ss -Hlun "sport = :69" | grep -q . && return 0
    sleep 0.1
  done
  echo "$0: in.tftpd did not start" >&2
  exit 1
}

stop_server() {
  [ -n "$server_pid" ] || return 0
  # The listener and the transfer processes it forked are all ours, and alone in the
  # router namespace; one may be forked while the others end.
  local pids
  for _ in $(seq 20); do
    pids=$(ip netns pids "$router" 2>/dev/null) || break
    [ -n "$pids" ] || break
    # shellcheck disable=SC2086 # one word for each process
    kill $pids 2>/dev/null || true
    sleep 0.1
  done
  wait "$server_pid" 2>/dev/null || true
  server_pid=
}

tftp_bench_cleanup() {
  if [ -n "$child" ]; then
    kill "$child" 2>/dev/null || true
    wait "$child" 2>/dev/null || true
  fi
  stop_server
  "$testbed" down "$bed" 2>/dev/null || true
  rm -rf "$work"
}

median_min() {
  [ $# -gt 0 ] || { echo - -; return; }
  printf '%s\n' "$@" | sort -g |
    awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), v[1] }'
}
