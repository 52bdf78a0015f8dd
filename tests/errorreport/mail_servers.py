#!/usr/bin/python3
"""Real mail and DNS servers for the mail client's tests and benchmark, on loopback only.

Started by a test fixture with --control PORT: connects back to 127.0.0.1:PORT, starts an SMTP server
(with an authenticator, without TLS) on a free port and, given --mx records, a DNS server (dnsmasq)
plus a recording relay in front of it on two free loopback addresses, port 53. It then answers the
fixture's commands, one line each:
  MESSAGES   what the SMTP server saw, session by session
  CLEAR      forget it
  DNSLOG     the queries the relay passed on, in hex
  CURL n len the next len bytes are a message; curl's SMTP client sends it n times, one process each;
             per run "wall/transfer" in ms: the whole process, and curl's own time of the transfer
             (from the connect to the end, without starting the process)
When the control connection closes (the fixture ends or dies) the servers stop and this program ends,
closing its side last, so that the fixture's wait for the end of the connection is a wait for the end
of this program.
"""
import argparse
import asyncio
import logging
import random
import subprocess
import sys
import tempfile
import time

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

logging.getLogger("mail.log").setLevel(logging.ERROR)  # aiosmtpd warns about its own use of login_data
USER, PASSWORD = b"reporter", b"s3cret"
LIFETIME_S = 900  # a fixture never needs longer; a leftover must not live on


class Store:
    def __init__(self):
        self.sessions = {}

    def event(self, session, line):
        self.sessions.setdefault(id(session), [b"SESSION %d" % session.peer[1]]).append(line)

    def dump(self):
        out = b"".join(b"\n".join(lines) + b"\nEND\n" for lines in self.sessions.values())
        return b"%d\n" % len(out) + out


store = Store()


class Handler:
    async def handle_HELO(self, server, session, envelope, hostname):
        session.host_name = hostname
        store.event(session, b"HELO " + hostname.encode())
        return "250 loopback"

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        store.event(session, b"EHLO " + hostname.encode())
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        envelope.rcpt_tos.append(address)
        store.event(session, b"RCPT " + address.encode())
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        store.event(session, b"MAIL " + envelope.mail_from.encode())
        data = envelope.original_content
        store.event(session, b"DATA %d\n" % len(data) + data)
        return "250 OK queued"


def authenticator(server, session, envelope, mechanism, auth_data):
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == USER and auth_data.password == PASSWORD
    login = getattr(auth_data, "login", b"") or b""
    password = getattr(auth_data, "password", b"") or b""
    store.event(session, b"AUTH %s %s %s %s" % (mechanism.encode(), login, password, b"ok" if ok else b"refused"))
    return AuthResult(success=ok, handled=False)  # the server itself answers 235 or 535


class Relay(asyncio.DatagramProtocol):
    """Passes each query on to the DNS server and its answer back, keeping the query bytes."""

    def __init__(self, upstream):
        self.upstream, self.queries = upstream, []

    def connection_made(self, transport):
        self.transport = transport

    def datagram_received(self, data, addr):
        self.queries.append(data)
        asyncio.get_running_loop().create_task(self.forward(data, addr))

    async def forward(self, data, addr):
        loop = asyncio.get_running_loop()
        answer = loop.create_future()

        class Up(asyncio.DatagramProtocol):
            def datagram_received(self, reply, _):
                if not answer.done():
                    answer.set_result(reply)

        up, _ = await loop.create_datagram_endpoint(Up, remote_addr=(self.upstream, 53))
        up.sendto(data)
        try:
            self.transport.sendto(await asyncio.wait_for(answer, 5), addr)
        except asyncio.TimeoutError:
            pass
        finally:
            up.close()


def free_loopback_address():
    return "127.%d.%d.%d" % (random.randint(60, 250), random.randint(0, 255), random.randint(2, 250))


async def start_dnsmasq(mx):
    for _ in range(8):
        address = free_loopback_address()
        args = ["dnsmasq", "--keep-in-foreground", "--no-resolv", "--no-hosts", "--conf-file=/dev/null",
                "--pid-file=", "--bind-interfaces", "--listen-address=" + address, "--port=53",
                "--log-facility=-"] + ["--mx-host=" + m for m in mx]
        proc = await asyncio.create_subprocess_exec(*args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                                    stderr=subprocess.PIPE)
        started = False
        try:
            while True:
                line = await asyncio.wait_for(proc.stderr.readline(), 10)
                if not line:
                    break
                if b"started" in line:
                    started = True
                    break
        except asyncio.TimeoutError:
            pass
        if started:
            asyncio.get_running_loop().create_task(proc.stderr.read())  # keeps its log pipe from filling
            return proc, address
        if proc.returncode is None:
            proc.kill()
        await proc.wait()
    raise RuntimeError("dnsmasq did not start")


async def run_curl(port, count, message):
    with tempfile.NamedTemporaryFile(suffix=".eml") as f:
        f.write(message)
        f.flush()
        times = []
        for _ in range(count):
            start = time.perf_counter()
            proc = await asyncio.create_subprocess_exec(
                "curl", "-s", "-S", "--url", "smtp://127.0.0.1:%d" % port, "--mail-from", "sender@sondrel.test",
                "--mail-rcpt", "bench@sondrel.test", "--upload-file", f.name, "-w", "%{time_total}",
                stdout=subprocess.PIPE)
            out, _ = await proc.communicate()
            if proc.returncode != 0:
                return b"ERROR curl\n"
            times.append("%.3f/%.3f" % ((time.perf_counter() - start) * 1000, float(out) * 1000))
    store.sessions.clear()
    return (" ".join(times) + "\n").encode()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--control", type=int, required=True)
    parser.add_argument("--mx", action="append", default=[], help="domain,target,preference for dnsmasq")
    args = parser.parse_args()

    loop = asyncio.get_running_loop()
    reader, writer = await asyncio.open_connection("127.0.0.1", args.control)
    smtp = await loop.create_server(
        lambda: SMTP(Handler(), authenticator=authenticator, auth_require_tls=False, loop=loop), "127.0.0.1", 0)
    smtp_port = smtp.sockets[0].getsockname()[1]
    dns = relay = None
    dns_address = relay_address = "-"
    try:
        if args.mx:
            dns, dns_address = await start_dnsmasq(args.mx)
            for _ in range(8):
                relay_address = free_loopback_address()
                try:
                    relay_transport, relay = await loop.create_datagram_endpoint(
                        lambda: Relay(dns_address), local_addr=(relay_address, 53))
                    break
                except OSError:
                    continue
        writer.write(b"READY %d %s %s\n" % (smtp_port, dns_address.encode(), relay_address.encode()))
        await writer.drain()
        deadline = time.monotonic() + LIFETIME_S
        while time.monotonic() < deadline:
            try:
                line = await asyncio.wait_for(reader.readline(), 1)
            except asyncio.TimeoutError:
                continue
            if not line:
                break
            words = line.split()
            if words[:1] == [b"MESSAGES"]:
                writer.write(store.dump())
            elif words[:1] == [b"CLEAR"]:
                store.sessions.clear()
                writer.write(b"OK\n")
            elif words[:1] == [b"DNSLOG"]:
                writer.write(b" ".join(q.hex().encode() for q in (relay.queries if relay else [])) + b"\n")
            elif words[:1] == [b"CURL"]:
                message = await reader.readexactly(int(words[2]))
                writer.write(await run_curl(smtp_port, int(words[1]), message))
            else:
                writer.write(b"ERROR unknown command\n")
            await writer.drain()
    finally:
        smtp.close()
        await smtp.wait_closed()
        if dns is not None:
            dns.terminate()
            await dns.wait()
        writer.close()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except (ConnectionError, asyncio.IncompleteReadError):
        sys.exit(0)
