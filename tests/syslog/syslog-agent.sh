#!/usr/bin/env bash
# "/SysLogger" of the real agent read by curl -N, on the simulated phone:
#   scripts/phone-env --netns --switch on --bin <bin> -- syslog-agent.sh
set -euo pipefail
[ -n "${ORVANA_DEVICE_ROOT:-}" ] || { echo "run me under scripts/phone-env" >&2; exit 2; }
log="$ORVANA_DEVICE_ROOT/data/log/message"
mkdir -p "$(dirname "$log")"
work="$(mktemp -d /tmp/syslog-agent.XXXXXX)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; echo "--- body" >&2; cat -A "$work/body" >&2 || true; exit 1; }
pass() { echo "PASS: $*"; }
wait_until() { # timeout-seconds command...
  local t="$1"; shift
  for _ in $(seq $((t * 20))); do "$@" && return 0; sleep 0.05; done
  return 1
}
in_body() { grep -qaF -- "$1" "$work/body"; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
finished_requests() { grep -c "finished request" "$work/agent.log" || true; }

QT_LOGGING_RULES="*.debug=true" zelvik_support_server >"$work/agent.log" 2>&1 &
agent=$!
pids+=("$agent")
wait_until 15 sh -c "ss -Hltn 'sport = :10008' | grep -q ." || { cat "$work/agent.log" >&2; fail "agent did not start"; }

echo "written before the request $$" >>"$log"
curl -sN -D "$work/headers" -o "$work/body" http://127.0.0.1:10008/SysLogger &
curl_pid=$!
pids+=("$curl_pid")
wait_until 10 grep -sqi "^Content-Type: text/event-stream;charset=utf-8" "$work/headers" || fail "no event-stream headers"
for h in "Cache-Control: no-cache" "Connection: keep-alive" "Access-Control-Allow-Origin: \*" "Transfer-Encoding: chunked"; do
  grep -qi "^$h" "$work/headers" || fail "header $h missing"
done
pass "stream headers"

printf 'appended Gr\xc3\xbc\xc3\x9f \xe6\x97\xa5 %s\n' $$ >>"$log"
wait_until 5 in_body "$(printf 'data:appended Gr\xfc\xdf ? %s' $$)" || fail "appended line did not arrive as Latin-1"
in_body "written before the request $$" && fail "a line from before the request was sent"
pass "appended line arrives, Latin-1, earlier lines not sent"

mv "$log" "$log.1"
echo "after rotation $$" >"$log"
wait_until 5 in_body "data:after rotation $$" || fail "no line from the new log file"
pass "rotation"

before=$(cpu_ticks "$agent")
sleep 5
used=$(( $(cpu_ticks "$agent") - before ))
hz=$(getconf CLK_TCK)
echo "agent CPU while a stream idled 5 s: $used ticks of 1/$hz s"
[ $((used * 10)) -lt "$hz" ] || fail "idle stream used $used ticks"
pass "idle stream costs under 0.1 s CPU per 5 s"

finished=$(finished_requests)
kill "$curl_pid"; wait "$curl_pid" 2>/dev/null || true
wait_until 2 sh -c "[ \$(grep -c 'finished request' '$work/agent.log') -gt $finished ]" || fail "stream did not end after the client left"
code=$(curl -s -o /dev/null -w '%{http_code}' http://127.0.0.1:10008/)
[ "$code" = 200 ] || fail "agent answered $code after the stream"
pass "closing the client ends the stream"
