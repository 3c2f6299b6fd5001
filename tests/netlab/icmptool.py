#!/usr/bin/env python3
"""Raw-socket ICMP helpers the netlab tests run inside the lab's namespaces.

  icmptool.py respond MODE
      Answers each echo request that reaches this namespace, as MODE says:
        redirect             a host redirect (type 5) quoting the request
        redirect-then-echo   the redirect, then the true echo reply 300 ms later
        wrong-id             an echo reply with our sequence but another identifier
        wrong-id-then-echo   that, then the true echo reply 50 ms later
      and prints "sent redirect", "sent wrong-id" or "sent echo" after each message.
  icmptool.py ping TARGET SEQUENCE ID [ID ...]
      Sends echo requests to TARGET every 20 ms, cycling through the identifiers, all
      with SEQUENCE (written least significant byte first, as the client under test does),
      then prints how many replies to its own requests came back.

Both print "ready" once their socket exists and stop by themselves within LIFETIME
seconds (environment, default 20), so a lost helper cannot outlive a test run for long.
The sockets are never connected: ICMP from any source must stay visible.
"""
import os
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


def respond(mode: str) -> None:
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


def main() -> None:
    if len(sys.argv) >= 3 and sys.argv[1] == "respond":
        respond(sys.argv[2])
    elif len(sys.argv) >= 5 and sys.argv[1] == "ping":
        ping(sys.argv[2], int(sys.argv[3]), [int(i) for i in sys.argv[4:]])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
