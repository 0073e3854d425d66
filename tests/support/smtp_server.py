"""A real SMTP server on loopback for the mail tests, built on aiosmtpd.

aiosmtpd's own command line has no AUTH, so the tests start this script instead (always with
Debian's /usr/bin/python3, where python3-aiosmtpd lives). It listens on a free port of
127.0.0.1, prints "READY <port>" once it accepts connections, and stops when its standard
input closes (the test process ended or stopped it).

Every message received is stored in --store as <n>.eml (the bytes after the DATA command,
dot-stuffing undone) and <n>.json: the envelope and the message as Python's email package
reads it, so the tests check the MIME structure with an independent parser. What the server
saw of the dialogue is appended to events.log in --store, one line each: "auth ok",
"auth refused", "drop".

The password may come in the environment variable SMTP_TEST_PASSWORD instead of --password,
so that it appears on no command line. With --drop-in-data the server reads the first line of
a message and then cuts the connection, as a server that fails in the middle of a send.
"""

import argparse
import asyncio
import base64
import email
import email.policy
import json
import logging
import os
import random
import socket
import ssl
import sys
import warnings

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


def describe(message_bytes):
    msg = email.message_from_bytes(message_bytes, policy=email.policy.default)
    parts = []
    for part in msg.walk():
        if part.is_multipart():
            continue
        payload = part.get_payload(decode=True) or b""
        parts.append({
            "content_type": part.get_content_type(),
            "charset": part.get_content_charset() or "",
            "transfer_encoding": str(part.get("Content-Transfer-Encoding", "")),
            "disposition": part.get_content_disposition() or "",
            "filename": part.get_filename() or "",
            "payload_b64": base64.b64encode(payload).decode("ascii"),
        })
    return {
        "subject": str(msg.get("Subject", "")),
        "from": str(msg.get("From", "")),
        "to": str(msg.get("To", "")),
        "cc": str(msg.get("Cc", "")),
        "receipt_to": str(msg.get("Disposition-Notification-To", "")),
        "content_type": msg.get_content_type(),
        "defects": [type(d).__name__ for d in msg.defects],
        "parts": parts,
    }


def note(folder, event):
    with open(os.path.join(folder, "events.log"), "a", encoding="utf-8") as f:
        f.write(event + "\n")


class DroppingSMTP(SMTP):
    """Cuts the connection once the client has begun to send a message's text."""

    async def smtp_DATA(self, arg):
        if await self.check_helo_needed():
            return
        if await self.check_auth_needed("DATA"):
            return
        if not self.envelope.rcpt_tos:
            await self.push("503 Error: need RCPT command")
            return
        await self.push("354 End data with <CR><LF>.<CR><LF>")
        try:
            await self._reader.readuntil(b"\r\n")
        except Exception:
            pass
        note(self.event_handler.folder, "drop")
        self.transport.abort()


class Store:
    def __init__(self, folder, delay):
        self.folder = folder
        self.delay = delay
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        if self.delay:
            await asyncio.sleep(self.delay)
            return "451 4.3.0 Too slow, try again later"
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        data = envelope.content if isinstance(envelope.content, bytes) else envelope.content.encode()
        with open(base + ".eml.part", "wb") as f:
            f.write(data)
        summary = describe(data)
        summary["mail_from"] = envelope.mail_from
        summary["rcpt_tos"] = list(envelope.rcpt_tos)
        with open(base + ".json.part", "w", encoding="utf-8") as f:
            json.dump(summary, f, ensure_ascii=False)
        os.replace(base + ".eml.part", base + ".eml")
        os.replace(base + ".json.part", base + ".json")
        return "250 2.0.0 Message accepted"


def bind_port(high):
    # Below 32768 by default, where the kernel's ephemeral ports (port 0) never are; high: above
    # 32767, the ports that a 16-bit setting would lose.
    ports = range(32768, 65536) if high else range(20000, 32768)
    for port in random.sample(ports, 2000):
        sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            sock.bind(("127.0.0.1", port))
            return sock
        except OSError:
            sock.close()
    raise SystemExit("no free port")


def main():
    # The dialogue's refusals are what the tests provoke; keep the test output readable.
    warnings.filterwarnings("ignore")
    logging.getLogger("mail.log").setLevel(logging.CRITICAL)
    logging.getLogger("asyncio").setLevel(logging.CRITICAL)
    ap = argparse.ArgumentParser()
    ap.add_argument("--mode", choices=["plain", "starttls", "smtps"], default="plain")
    ap.add_argument("--cert")
    ap.add_argument("--key")
    ap.add_argument("--user", default="")
    ap.add_argument("--password", default="")
    ap.add_argument("--store", required=True)
    ap.add_argument("--delay", type=float, default=0.0)
    ap.add_argument("--drop-in-data", action="store_true")
    ap.add_argument("--high-port", action="store_true")
    args = ap.parse_args()
    password = os.environ.get("SMTP_TEST_PASSWORD", args.password)

    context = None
    if args.mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login.decode() == args.user
              and auth_data.password.decode() == password)
        note(args.store, "auth ok" if ok else "auth refused")
        # handled=False makes the server answer a refusal with its own 535 line.
        return AuthResult(success=ok, handled=False)

    handler = Store(args.store, args.delay)
    kwargs = {"hostname": "localhost", "data_size_limit": None}
    if args.user:
        kwargs["authenticator"] = authenticator
        kwargs["auth_required"] = True
        kwargs["auth_require_tls"] = args.mode == "starttls"
    if args.mode == "starttls":
        kwargs["tls_context"] = context
        kwargs["require_starttls"] = True

    sock = bind_port(args.high_port)
    sock.listen(16)
    port = sock.getsockname()[1]

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    server = loop.run_until_complete(loop.create_server(
        lambda: (DroppingSMTP if args.drop_in_data else SMTP)(handler, loop=loop, **kwargs), sock=sock,
        ssl=context if args.mode == "smtps" else None,
        # A client that speaks plain text to the TLS port is dropped soon, not after a minute.
        ssl_handshake_timeout=3 if args.mode == "smtps" else None))

    def stdin_closed():
        if not sys.stdin.buffer.read1(4096):
            loop.stop()

    loop.add_reader(sys.stdin.fileno(), stdin_closed)
    print(f"READY {port}", flush=True)
    try:
        loop.run_forever()
    finally:
        server.close()


if __name__ == "__main__":
    main()
