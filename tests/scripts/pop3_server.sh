#!/usr/bin/env bash
# A POP3 server for the mail tests: dovecot on 127.0.0.1 with its own configuration under DIR,
# a plain port (STLS offered) and a POP3S port, written to DIR/ports. Any user name signs in
# with the password "tajne"; mailboxes are DIR/mail/<user> (maildir), owned by nobody.
#   pop3_server.sh start DIR | stop DIR
set -euo pipefail
cmd=$1
dir=$2

stop() {
  if [ -f "$dir/run/master.pid" ]; then
    pid=$(cat "$dir/run/master.pid")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
  fi
}

if [ "$cmd" = stop ]; then
  stop
  exit 0
fi

stop
rm -rf "$dir"
mkdir -p "$dir/run" "$dir/state" "$dir/mail"
chmod 755 "$dir" "$dir/mail"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
read -r plain tls < <(/usr/bin/python3 -c '
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
uid=$(id -u nobody)
gid=$(id -g nobody)
cat > "$dir/dovecot.conf" <<CONF
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = yes
ssl_cert = <$dir/cert.pem
ssl_key = <$dir/key.pem
disable_plaintext_auth = no
auth_mechanisms = plain login
# A refused password is answered at once: the tests try wrong ones on purpose.
auth_failure_delay = 0
passdb {
  driver = static
  args = password=tajne
}
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$dir/mail/%u
}
mail_location = maildir:$dir/mail/%u
pop3_uidl_format = %08Xu%08Xv
service pop3-login {
  chroot =
  inet_listener pop3 {
    port = $plain
  }
  inet_listener pop3s {
    port = $tls
    ssl = yes
  }
}
service anvil {
  chroot =
}
service imap-login {
  chroot =
}
CONF
echo "$plain $tls" > "$dir/ports"
echo "$uid $gid" > "$dir/owner"
dovecot -c "$dir/dovecot.conf" </dev/null >/dev/null 2>&1
for _ in $(seq 1 100); do
  [ -f "$dir/run/master.pid" ] && exit 0
  sleep 0.05
done
echo "dovecot did not start; see $dir/dovecot.log" >&2
exit 1
