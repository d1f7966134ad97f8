#!/usr/bin/env bash
# scp of 200 MiB through the relay (port 10009) against scp straight to the SSH port, same run,
# same server, alternating, three rounds each; prints the throughput ratio (target >= 0.8).
#   relay-bench.sh <relay program>      (run through tests/relay/netns-run)
set -euo pipefail
source "$(dirname "$0")/../../tests/relay/sshd-fixture.sh"

"$@" >"$work/relay.log" 2>&1 &
pids+=($!)
wait_until 10 listening 10009 || { echo "relay did not start" >&2; exit 1; }

size_mib=200
head -c $((size_mib * 1024 * 1024)) /dev/urandom >"$work/payload"
copy_seconds() { # port
  local start end
  start=$(date +%s.%N)
  scp "${ssh_opts[@]}" -q -P "$1" "$work/payload" root@127.0.0.1:"$work/copy"
  end=$(date +%s.%N)
  rm -f "$work/copy"
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
median() { sort -g | sed -n 2p; }

direct=() relayed=()
for round in 1 2 3; do
  direct+=("$(copy_seconds 22)")
  relayed+=("$(copy_seconds 10009)")
done
d=$(printf '%s\n' "${direct[@]}" | median)
r=$(printf '%s\n' "${relayed[@]}" | median)
awk -v n="$size_mib" -v d="$d" -v r="$r" -v ds="${direct[*]}" -v rs="${relayed[*]}" 'BEGIN {
  printf "scp %d MiB direct to :22     median %.2f s  (%.0f MiB/s)  runs: %s\n", n, d, n / d, ds
  printf "scp %d MiB through :10009   median %.2f s  (%.0f MiB/s)  runs: %s\n", n, r, n / r, rs
  printf "relay/direct throughput ratio: %.2f (target >= 0.80)\n", d / r
}'
