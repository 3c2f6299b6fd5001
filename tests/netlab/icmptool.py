#!/usr/bin/env python3
"""Raw-socket ICMP helpers the netlab tests run inside the lab's namespaces.

  icmptool.py respond MODE [MS]
      Answers each echo request that reaches this namespace, as MODE says:
        redirect             a host redirect (type 5) quoting the request
        redirect-then-echo   the redirect, then the true echo reply 300 ms later
        wrong-id             an echo reply with our sequence but another identifier
        wrong-id-then-echo   that, then the true echo reply 50 ms later
        delayed-echo         only the true echo reply, 500 ms after the request
        held-echo MS         only the true echo reply, MS milliseconds after the request,
                             with nothing printed: a host a little way off, for soaks
      and prints "sent redirect", "sent wrong-id" or "sent echo" after each message.
  icmptool.py ping TARGET SEQUENCE ID [ID ...]
      Sends echo requests to TARGET every 20 ms, cycling through the identifiers, all
      with SEQUENCE (written least significant byte first, as the client under test does),
      then prints how many replies to its own requests came back.
  icmptool.py flood TARGET ID FIRST COUNT RATE
      Sends TARGET about RATE packets a second of noise that must never end an exchange of
      the client with identifier ID, whose sequences run from FIRST through FIRST+COUNT-1:
        other-id      echo replies with one of those sequences and another identifier
        wrong-seq     echo replies with ID and a sequence just outside those
        unreachable   destination unreachable quoting another program's request
        time-exceeded time exceeded quoting another program's request
        cut-short     either error quoting ID and one of those sequences, cut inside the
                      quoted headers (28 to 55 bytes with the outer header)
      in turn, until SIGTERM; then prints "sent N" and the count of each kind.

Each prints "ready" once its socket exists and stops by itself within LIFETIME
seconds (environment, default 20), so a lost helper cannot outlive a test run for long.
The sockets are never connected: ICMP from any source must stay visible.
"""
import os
import signal
import socket
import struct
import sys
import time

LIFETIME = float(os.environ.get("LIFETIME", "20"))


def checksum(data: bytes) -> int:
    if len(data) % 2:
        data += b"\0"
    total = sum(struct.unpack("!%dH" % (len(data) // 2), data))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def message(icmp_type: int, code: int, word: bytes, body: bytes) -> bytes:
    """An ICMP message: type, code, checksum, the 4-byte second word, then body."""
    unsummed = bytes([icmp_type, code, 0, 0]) + word + body
    return unsummed[:2] + struct.pack("!H", checksum(unsummed)) + unsummed[4:]


def raw_socket() -> socket.socket:
    sock = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
    sock.settimeout(0.05)
    print("ready", flush=True)
    return sock


def respond(mode: str, hold_ms: float) -> None:
    sock = raw_socket()
    gateway = socket.inet_aton("203.0.113.9")
    deadline = time.monotonic() + LIFETIME
    while time.monotonic() < deadline:
        try:
            packet, (source, _) = sock.recvfrom(2048)
        except socket.timeout:
            continue
        header = (packet[0] & 0x0F) * 4
        icmp = packet[header:]
        if len(icmp) < 8 or icmp[0] != 8:
            continue
        ident_seq, data = icmp[4:8], icmp[8:]
        true_reply = message(0, 0, ident_seq, data)
        if mode.startswith("redirect"):
            # A router quotes the offending datagram's IP header and 8 bytes of it.
            sock.sendto(message(5, 1, gateway, packet[: header + 8]), (source, 0))
            print("sent redirect", flush=True)
            delay = 0.3
        elif mode in ("delayed-echo", "held-echo"):
            time.sleep(0.5 if mode == "delayed-echo" else hold_ms / 1000)
            sock.sendto(true_reply, (source, 0))
            if mode == "delayed-echo":
                print("sent echo", flush=True)
            continue
        elif mode.startswith("wrong-id"):
            foreign = bytes([ident_seq[0] ^ 0x5A, ident_seq[1] ^ 0xA5]) + ident_seq[2:]
            sock.sendto(message(0, 0, foreign, data), (source, 0))
            print("sent wrong-id", flush=True)
            delay = 0.05
        else:
            sys.exit("unknown mode " + mode)
        if mode.endswith("-then-echo"):
            time.sleep(delay)
            sock.sendto(true_reply, (source, 0))
            print("sent echo", flush=True)


def ping(target: str, sequence: int, idents: list) -> None:
    sock = raw_socket()
    sent = set()
    replies = 0
    deadline = time.monotonic() + min(LIFETIME, 1.5)
    next_send = 0.0
    count = 0
    while time.monotonic() < deadline:
        now = time.monotonic()
        if now >= next_send:
            ident = idents[count % len(idents)]
            word = struct.pack("<HH", ident, sequence)
            sock.sendto(message(8, 0, word, b"other pinger" + bytes(20)), (target, 0))
            sent.add(word)
            count += 1
            next_send = now + 0.02
        try:
            packet = sock.recv(2048)
        except socket.timeout:
            continue
        icmp = packet[(packet[0] & 0x0F) * 4:]
        if len(icmp) >= 8 and icmp[0] == 0 and icmp[4:8] in sent:
            replies += 1
    print("sent %d replies %d" % (count, replies), flush=True)


NOISE_KINDS = ("other-id", "wrong-seq", "unreachable", "time-exceeded", "cut-short")


def quoted_request(source: bytes, target: bytes, ident: int, sequence: int) -> bytes:
    """An echo request as a router quotes it: its IPv4 header, then its ICMP part."""
    icmp = message(8, 0, struct.pack("<HH", ident, sequence), b"E" * 44)
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(icmp), 0x1234, 0, 1, 1, 0,
                         source, target)
    return header + icmp


def noise(index: int, ident: int, first: int, count: int, client: bytes) -> bytes:
    kind = index % len(NOISE_KINDS)
    turn = index // len(NOISE_KINDS)
    ours = (first + turn % count) & 0xFFFF
    other = ident ^ (1 << (turn % 16))  # differs from ID in one bit
    live = socket.inet_aton("203.0.113.2")
    if kind == 0:
        return message(0, 0, struct.pack("<HH", other, ours), b"E" * 44)
    if kind == 1:
        outside = first - 1 - turn % 50 if turn % 2 else first + count + turn % 50
        return message(0, 0, struct.pack("<HH", ident, outside & 0xFFFF), b"E" * 44)
    if kind in (2, 3):
        quote = quoted_request(client, live, other, ours)
        if turn % 2:
            quote = quote[:28]  # as a host quotes: the header and 8 bytes
        code = turn // 2 % 4 if kind == 2 else turn // 2 % 2  # net..port; in transit, reassembly
        return message(3 if kind == 2 else 11, code, bytes(4), quote)
    quote = quoted_request(client, live, ident, ours)[: turn % 28]
    unreachable = turn // 28 % 2 == 0  # each type cut at every length
    return message(3 if unreachable else 11, 1 if unreachable else 0, bytes(4), quote)


def flood(target: str, ident: int, first: int, count: int, rate: float) -> None:
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    sock = raw_socket()
    client = socket.inet_aton(target)
    sent = [0] * len(NOISE_KINDS)
    start = time.monotonic()
    deadline = start + LIFETIME
    index = 0
    while not stopping and time.monotonic() < deadline:
        # Paced against the start, so a late wake-up is made up at once.
        due = int((time.monotonic() - start) * rate)
        while index < due:
            sock.sendto(noise(index, ident, first, count, client), (target, 0))
            sent[index % len(NOISE_KINDS)] += 1
            index += 1
        time.sleep(0.002)
    print("sent %d " % index + " ".join("%s %d" % kv for kv in zip(NOISE_KINDS, sent)), flush=True)


def main() -> None:
    if len(sys.argv) >= 3 and sys.argv[1] == "respond":
        respond(sys.argv[2], float(sys.argv[3]) if len(sys.argv) > 3 else 0)
    elif len(sys.argv) >= 5 and sys.argv[1] == "ping":
        ping(sys.argv[2], int(sys.argv[3]), [int(i) for i in sys.argv[4:]])
    elif len(sys.argv) == 7 and sys.argv[1] == "flood":
        flood(sys.argv[2], *(int(a) for a in sys.argv[3:6]), float(sys.argv[6]))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
