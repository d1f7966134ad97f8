#!/usr/bin/env bash
# The real OpenSSH client and server through the relay on port 10009: one command.
#   relay-openssh.sh <relay program> [args...]
# Runs in a network namespace of its own; the relay program must listen on 10009 and relay to
# 127.0.0.1:22 (the agent under phone-env). Transfers, concurrent sessions, closing and an
# unreachable target are tested on the relay itself (tst_proxyserver).
set -euo pipefail
source "$(dirname "$0")/sshd-fixture.sh"

fail() { echo; echo "FAIL: $*" >&2; echo "--- relay log" >&2; cat "$work/relay.log" >&2 || true; exit 1; }

"$@" >"$work/relay.log" 2>&1 &
pids+=($!)
wait_until 10 listening 10009 || fail "relay did not start"

out="$(ssh "${ssh_opts[@]}" -p 10009 root@127.0.0.1 'echo relayed-$((6*7))')"
[ "$out" = relayed-42 ] || fail "command through the relay printed '$out'"
[ "$(grep -c 'OnTaskStartOk: 0$' "$work/relay.log")" = 1 ] || fail "no 'OnTaskStartOk: 0'"
echo "PASS: command through the relay"
