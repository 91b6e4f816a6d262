"""An SMTP server for the mail tests: aiosmtpd on 127.0.0.1, storing every message it accepts
in a maildir. Prints "READY" when it listens and runs until its standard input closes.

  smtp_server.py PORT MAILDIR [--cert C --key K [--implicit-tls]] [--auth USER:PASSWORD]
                 [--refuse ADDRESS] [--vrfy-unsupported]
"""
import argparse
import asyncio
import mailbox
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

p = argparse.ArgumentParser()
p.add_argument("port", type=int)
p.add_argument("maildir")
p.add_argument("--cert")
p.add_argument("--key")
p.add_argument("--implicit-tls", action="store_true")
p.add_argument("--auth")
p.add_argument("--refuse", default="")
p.add_argument("--vrfy-unsupported", action="store_true")
a = p.parse_args()


class Handler:
    def __init__(self):
        self.box = mailbox.Maildir(a.maildir, create=True)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if a.refuse and address.lower() == a.refuse.lower():
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_VRFY(self, server, session, envelope, address):
        if a.vrfy_unsupported:
            return "502 5.5.1 VRFY command is disabled"
        if a.refuse and a.refuse.lower() in address.lower():
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        return "252 2.0.0 Cannot VRFY user, but will accept message"

    async def handle_DATA(self, server, session, envelope):
        self.box.add(envelope.original_content)
        return "250 OK stored"


def authenticator(server, session, envelope, mechanism, auth_data):
    user, password = a.auth.split(":", 1)
    ok = (isinstance(auth_data, LoginPassword) and auth_data.login.decode() == user
          and auth_data.password.decode() == password)
    return AuthResult(success=ok, handled=False)


context = None
if a.cert:
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(a.cert, a.key)

kwargs = {}
if a.auth:
    # Over implicit TLS aiosmtpd does not see the session as encrypted: allow AUTH there.
    kwargs.update(authenticator=authenticator, auth_required=True,
                  auth_require_tls=bool(a.cert) and not a.implicit_tls)
if context and a.implicit_tls:
    controller = Controller(Handler(), hostname="127.0.0.1", port=a.port, ssl_context=context,
                            server_kwargs=kwargs)
else:
    if context:
        kwargs.update(tls_context=context, require_starttls=True)
    controller = Controller(Handler(), hostname="127.0.0.1", port=a.port, **kwargs)
controller.start()
print("READY", flush=True)
sys.stdin.read()
controller.stop()
