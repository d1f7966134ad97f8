# Sourced by the relay test and benchmark: an OpenSSH server of our own on 127.0.0.1:22 (own host
# key, own authorized key, nothing from the machine's set-up) and the client options for it.
# Needs root and a network namespace made by netns-run. Sets work, sshd_pid, ssh_opts and pids.

[ "$(id -u)" -eq 0 ] || { echo "SKIP: sshd needs root"; exit 77; }
[ -n "${RELAY_IN_NETNS:-}${ZELVIK_IN_NETNS:-}" ] || { echo "run me through netns-run" >&2; exit 2; }

work="$(mktemp -d /tmp/relay-ssh.XXXXXX)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

wait_until() { # timeout-seconds command...
  local t="$1"; shift
  for _ in $(seq $((t * 20))); do "$@" && return 0; sleep 0.05; done
  return 1
}
listening() { ss -Hltn "sport = :$1" | grep -q .; }

ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/id"
cp "$work/id.pub" "$work/authorized_keys"
cat > "$work/sshd_config" <<CONF
ListenAddress 127.0.0.1:22
HostKey $work/host_key
AuthorizedKeysFile $work/authorized_keys
PermitRootLogin prohibit-password
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PidFile none
Subsystem sftp internal-sftp
CONF
mkdir -p /run/sshd
/usr/sbin/sshd -D -e -f "$work/sshd_config" 2>"$work/sshd.log" &
sshd_pid=$!
pids+=("$sshd_pid")
wait_until 10 listening 22 || { cat "$work/sshd.log" >&2; echo "sshd did not start" >&2; exit 1; }

ssh_opts=(-F /dev/null -i "$work/id" -o IdentitiesOnly=yes -o StrictHostKeyChecking=no
  -o UserKnownHostsFile=/dev/null -o BatchMode=yes -o LogLevel=ERROR -o ConnectTimeout=10)
