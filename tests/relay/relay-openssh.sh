#!/usr/bin/env bash
# The real OpenSSH client and server through the relay on port 10009:
#   relay-openssh.sh <relay program> [args...]
# With RELAY_ONLY_COMMAND=1 only the first check (one command through the relay) runs.
# Runs in a network namespace of its own (see netns-run); the relay program must listen on
# 10009 and relay to 127.0.0.1:22 (the relay_host test program, or the agent under phone-env).
set -euo pipefail
source "$(dirname "$0")/sshd-fixture.sh"

fail() { echo; echo "FAIL: $*" >&2; echo "--- relay log" >&2; cat "$work/relay.log" >&2 || true; exit 1; }
pass() { echo "PASS: $*"; }
# Established connections from the relay to the SSH port.
relayed_count() { ss -Htn state established "( dport = :22 )" | wc -l; }
one_relayed() { [ "$(relayed_count)" -eq 1 ]; }
no_relayed() { [ "$(relayed_count)" -eq 0 ] && [ "$(ss -Htn state established "( sport = :10009 )" | wc -l)" -eq 0 ]; }

"$@" >"$work/relay.log" 2>&1 &
pids+=($!)
wait_until 10 listening 10009 || fail "relay did not start"

relay_ssh() { ssh "${ssh_opts[@]}" -p 10009 root@127.0.0.1 "$@"; }
started() { grep -c "OnTaskStartOk: $1\$" "$work/relay.log" || true; }

# 1. A command (task 0).
out="$(relay_ssh 'echo relayed-$((6*7))')"
[ "$out" = relayed-42 ] || fail "command through the relay printed '$out'"
[ "$(started 0)" = 1 ] || fail "no 'OnTaskStartOk: 0'"
pass "command through the relay"
[ -z "${RELAY_ONLY_COMMAND:-}" ] || exit 0

# 2. 50 MiB by scp, checked (task 1).
head -c $((50 * 1024 * 1024)) /dev/urandom >"$work/big"
scp "${ssh_opts[@]}" -q -P 10009 "$work/big" root@127.0.0.1:"$work/big.copy"
[ "$(sha256sum <"$work/big")" = "$(sha256sum <"$work/big.copy")" ] || fail "scp copy differs"
[ "$(started 1)" = 1 ] || fail "no 'OnTaskStartOk: 1'"
pass "scp of 50 MiB, checksum matches"

# 3. Two sessions at once (tasks 2 and 3): the first stays open until the second has finished.
relay_ssh "echo A-open; for i in \$(seq 600); do [ -e $work/b.done ] && break; sleep 0.05; done; echo A-done" \
  >"$work/a.out" &
a_pid=$!
pids+=("$a_pid")
wait_until 10 grep -q A-open "$work/a.out" || fail "first session did not start"
out="$(relay_ssh 'echo B-done')"
[ "$out" = B-done ] || fail "second session printed '$out' while the first was open"
grep -q A-done "$work/a.out" && fail "first session ended too early to overlap"
touch "$work/b.done"
wait "$a_pid" || fail "first session failed"
[ "$(tr '\n' ' ' <"$work/a.out")" = "A-open A-done " ] || fail "first session printed $(cat "$work/a.out")"
[ "$(started 2)" = 1 ] && [ "$(started 3)" = 1 ] || fail "ids 2 and 3 not logged"
pass "two sessions at once"

# 4. Closing the test host's side ends the task and its connection to the server (task 4).
wait_until 5 no_relayed || fail "connections left over before the close test"
ssh "${ssh_opts[@]}" -p 10009 root@127.0.0.1 'sleep 60' &
c_pid=$!
pids+=("$c_pid")
wait_until 10 one_relayed || fail "no relayed connection for the session"
kill "$c_pid"; wait "$c_pid" 2>/dev/null || true
wait_until 5 no_relayed || fail "server side still connected after the client closed"
pass "closing the client side ends the task"

# 5. Closing the server's side ends the task and closes the test host's side (task 5).
(set +e; relay_ssh 'sleep 60'; echo $? >"$work/c.rc") &
c_pid=$!
pids+=("$c_pid")
wait_until 10 one_relayed || fail "no relayed connection for the session"
for child in $(pgrep -P "$sshd_pid"); do kill "$child"; done
wait_until 5 no_relayed || fail "client side still connected after the server closed"
wait_until 5 test -s "$work/c.rc" || fail "ssh client still running after the server side closed"
[ "$(cat "$work/c.rc")" != 0 ] || fail "ssh reported success for a session the server dropped"
[ "$(started 4)" = 1 ] && [ "$(started 5)" = 1 ] || fail "ids 4 and 5 not logged"
pass "closing the server side ends the task"

# 6. Target unreachable: the error line, and the test host's side is closed (task 6).
kill "$sshd_pid"; wait "$sshd_pid" 2>/dev/null || true
if relay_ssh true 2>"$work/unreachable.err"; then fail "ssh succeeded without a server"; fi
wait_until 5 grep -q "to svr: 127.0.0.1:22: Connection refused" "$work/relay.log" \
  || fail "no 'to svr' error line"
[ "$(started 6)" = 0 ] || fail "task 6 reported a start"
grep -q "Connection closed\|connection closed\|reset" "$work/unreachable.err" \
  || fail "ssh did not see the relay close: $(cat "$work/unreachable.err")"
pass "target unreachable"
