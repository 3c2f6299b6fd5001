#!/usr/bin/env python3
"""Raw-socket ICMP and ICMPv6 helpers the netlab tests run inside the lab's namespaces.

  icmptool.py respond MODE [MS]
      Answers each echo request of either family that reaches this namespace, as MODE says:
        redirect             a host redirect (type 5) quoting the request (IPv4 only; an
                             ICMPv6 redirect answers no echo request)
        redirect-then-echo   the redirect, then the true echo reply 300 ms later
        param-problem        a parameter problem quoting the request: ICMPv6 4/2 (an
                             unknown option), ICMP 12/0
        param-problem-then-echo  that, then the true echo reply 300 ms later
        wrong-id             an echo reply with our sequence but another identifier
        wrong-id-then-echo   that, then the true echo reply 50 ms later
        delayed-echo         only the true echo reply, 500 ms after the request
        held-echo MS         only the true echo reply, MS milliseconds after the request,
                             with nothing printed: a host a little way off, for soaks
      and prints "sent redirect", "sent param-problem", "sent wrong-id" or "sent echo"
      after each message.
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

ping and flood speak the family of their TARGET. A raw ICMPv6 socket sends and receives the
message without its IP header, and the kernel writes its checksum; the hop limit and the
address a request was sent to come as ancillary data.

Each prints "ready" once its socket exists and stops by itself within LIFETIME
seconds (environment, default 20), so a lost helper cannot outlive a test run for long.
The sockets are never connected: ICMP from any source must stay visible.
"""
import os
import select
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


# The echo types of each family: request, reply.
ECHO = {socket.AF_INET: (8, 0), socket.AF_INET6: (128, 129)}


def family_of(address: str) -> int:
    return socket.AF_INET6 if ":" in address else socket.AF_INET


def message6(icmp_type: int, code: int, word: bytes, body: bytes) -> bytes:
    """An ICMPv6 message; its checksum, over a pseudo-header, is the kernel's to write."""
    return bytes([icmp_type, code, 0, 0]) + word + body


def ip6_header(payload: int, hop_limit: int, source: bytes, target: bytes) -> bytes:
    return struct.pack("!IHBB16s16s", 6 << 28, payload, 58, hop_limit, source, target)


def raw_socket(family: int = socket.AF_INET, announce: bool = True) -> socket.socket:
    if family == socket.AF_INET6:
        sock = socket.socket(socket.AF_INET6, socket.SOCK_RAW, socket.IPPROTO_ICMPV6)
        sock.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_RECVHOPLIMIT, 1)
        sock.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_RECVPKTINFO, 1)
    else:
        sock = socket.socket(socket.AF_INET, socket.SOCK_RAW, socket.IPPROTO_ICMP)
    sock.settimeout(0.05)
    if announce:
        print("ready", flush=True)
    return sock


def receive_request(sock: socket.socket):
    """The next echo request on SOCK as (source, echo message, the request as a router
    quotes it), or None."""
    if sock.family == socket.AF_INET:
        packet, (source, _) = sock.recvfrom(2048)
        header = (packet[0] & 0x0F) * 4
        icmp = packet[header:]
        if len(icmp) < 8 or icmp[0] != 8:
            return None
        # A router quotes the offending datagram's IP header and 8 bytes of it.
        return source, icmp, packet[: header + 8]
    icmp, ancillary, _, address = sock.recvmsg(2048, 256)
    if len(icmp) < 8 or icmp[0] != 128:
        return None
    hop_limit, target = 64, bytes(16)
    for level, kind, data in ancillary:
        if level == socket.IPPROTO_IPV6 and kind == socket.IPV6_HOPLIMIT:
            hop_limit = struct.unpack("i", data)[0]
        elif level == socket.IPPROTO_IPV6 and kind == socket.IPV6_PKTINFO:
            target = data[:16]
    source = socket.inet_pton(socket.AF_INET6, address[0])
    # As much of the request as fits, here all of it: it arrived with this header.
    return address[0], icmp, ip6_header(len(icmp), hop_limit, source, target) + icmp


def respond(mode: str, hold_ms: float) -> None:
    socks = [raw_socket(socket.AF_INET, False), raw_socket(socket.AF_INET6, False)]
    for sock in socks:
        sock.setblocking(False)
    print("ready", flush=True)
    gateway = socket.inet_aton("203.0.113.9")
    deadline = time.monotonic() + LIFETIME
    while time.monotonic() < deadline:
        readable, _, _ = select.select(socks, [], [], 0.05)
        for sock in readable:
            request = receive_request(sock)
            if request:
                answer(sock, mode, hold_ms, gateway, *request)


def answer(sock, mode: str, hold_ms: float, gateway: bytes, source: str, icmp: bytes,
           quote: bytes) -> None:
    six = sock.family == socket.AF_INET6
    build = message6 if six else message
    ident_seq, data = icmp[4:8], icmp[8:]
    true_reply = build(ECHO[sock.family][1], 0, ident_seq, data)
    if mode.startswith("redirect") and not six:
        sock.sendto(message(5, 1, gateway, quote), (source, 0))
        print("sent redirect", flush=True)
        delay = 0.3
    elif mode.startswith("param-problem"):
        # The pointer names the byte that is wrong: for ICMPv6, past the fixed header,
        # where an unknown option would be.
        if six:
            sock.sendto(message6(4, 2, struct.pack("!I", 42), quote), (source, 0))
        else:
            sock.sendto(message(12, 0, bytes([20, 0, 0, 0]), quote), (source, 0))
        print("sent param-problem", flush=True)
        delay = 0.3
    elif mode in ("delayed-echo", "held-echo"):
        time.sleep(0.5 if mode == "delayed-echo" else hold_ms / 1000)
        sock.sendto(true_reply, (source, 0))
        if mode == "delayed-echo":
            print("sent echo", flush=True)
        return
    elif mode.startswith("wrong-id"):
        foreign = bytes([ident_seq[0] ^ 0x5A, ident_seq[1] ^ 0xA5]) + ident_seq[2:]
        sock.sendto(build(ECHO[sock.family][1], 0, foreign, data), (source, 0))
        print("sent wrong-id", flush=True)
        delay = 0.05
    else:
        sys.exit("unknown mode " + mode)
    if mode.endswith("-then-echo"):
        time.sleep(delay)
        sock.sendto(true_reply, (source, 0))
        print("sent echo", flush=True)


def ping(target: str, sequence: int, idents: list) -> None:
    family = family_of(target)
    request, reply = ECHO[family]
    build = message6 if family == socket.AF_INET6 else message
    sock = raw_socket(family)
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
            sock.sendto(build(request, 0, word, b"other pinger" + bytes(20)), (target, 0))
            sent.add(word)
            count += 1
            next_send = now + 0.02
        try:
            packet = sock.recv(2048)
        except socket.timeout:
            continue
        icmp = packet if family == socket.AF_INET6 else packet[(packet[0] & 0x0F) * 4:]
        if len(icmp) >= 8 and icmp[0] == reply and icmp[4:8] in sent:
            replies += 1
    print("sent %d replies %d" % (count, replies), flush=True)


NOISE_KINDS = ("other-id", "wrong-seq", "unreachable", "time-exceeded", "cut-short")


def quoted_request(source: bytes, target: bytes, ident: int, sequence: int) -> bytes:
    """An echo request as a router quotes it: its IPv4 header, then its ICMP part."""
    icmp = message(8, 0, struct.pack("<HH", ident, sequence), b"E" * 44)
    header = struct.pack("!BBHHHBBH4s4s", 0x45, 0, 20 + len(icmp), 0x1234, 0, 1, 1, 0,
                         source, target)
    return header + icmp


def quoted_request6(source: bytes, target: bytes, ident: int, sequence: int) -> bytes:
    """An echo request as a router quotes it: its IPv6 header, then its ICMPv6 part. Its
    checksum is never looked at, and so left as zero."""
    icmp = message6(128, 0, struct.pack("<HH", ident, sequence), b"E" * 44)
    return ip6_header(len(icmp), 1, source, target) + icmp


def noise(index: int, ident: int, first: int, count: int, client: bytes) -> bytes:
    if len(client) == 16:
        return noise6(index, ident, first, count, client)
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


def noise6(index: int, ident: int, first: int, count: int, client: bytes) -> bytes:
    """The IPv6 counterpart of each kind: echo replies 129, unreachable 1 (codes 0..4),
    time exceeded 3 (codes 0 and 1), quotes cut inside the 48 bytes of IPv6 and echo header."""
    kind = index % len(NOISE_KINDS)
    turn = index // len(NOISE_KINDS)
    ours = (first + turn % count) & 0xFFFF
    other = ident ^ (1 << (turn % 16))
    live = socket.inet_pton(socket.AF_INET6, "fd76:0:0:11::2")
    if kind == 0:
        return message6(129, 0, struct.pack("<HH", other, ours), b"E" * 44)
    if kind == 1:
        outside = first - 1 - turn % 50 if turn % 2 else first + count + turn % 50
        return message6(129, 0, struct.pack("<HH", ident, outside & 0xFFFF), b"E" * 44)
    if kind in (2, 3):
        quote = quoted_request6(client, live, other, ours)
        if turn % 2:
            quote = quote[:48]  # the headers alone
        code = turn // 2 % 5 if kind == 2 else turn // 2 % 2
        return message6(1 if kind == 2 else 3, code, bytes(4), quote)
    quote = quoted_request6(client, live, ident, ours)[: turn % 48]
    unreachable = turn // 48 % 2 == 0
    return message6(1 if unreachable else 3, 3 if unreachable else 0, bytes(4), quote)


def flood(target: str, ident: int, first: int, count: int, rate: float) -> None:
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    family = family_of(target)
    sock = raw_socket(family)
    client = socket.inet_pton(family, target)
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
