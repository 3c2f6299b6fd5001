#pragma once
// What this test process may ping with, asked of the system the way the socket adapters ask
// it, so that a test expects a reply where one can come and "Cannot allocate socket." only
// where none can. Raw stays first, as in the adapters.
#include <string>

enum class TPingAccess {
    Raw,      // a raw ICMP socket of its own, or through the echo helper that keeps it
    Datagram, // the stand-in for a refused raw socket: the ICMP datagram socket, the ICMP API
    None,     // no way to ping: every ping fails with "Cannot allocate socket."
};

TPingAccess PingAccess();

// The same for IPv6: a raw ICMPv6 socket, the ICMPv6 datagram socket or ICMPv6 API, or
// nothing (Wine: no raw ICMPv6 socket and an ICMPv6 API that is only a stub).
TPingAccess Ping6Access();

// Why a test that needs AWanted skips here; empty when AWanted is what this process has.
std::string PingAccessMismatch(TPingAccess AWanted);
