#pragma once
// Whether a connection comes from this PC itself: its peer address is a loopback address or
// one of the addresses of any of this PC's interfaces (IPv4 or IPv6, up or not, whatever its
// state: what counts is that the address is the PC's own).

#include <string_view>

// AAddress as text ("127.0.0.1", "::1", "192.168.1.20", "fe80::1%eth0"). False for an empty
// or malformed text, and when the interface list cannot be read.
bool IsThisPCAddress(std::string_view AAddress);
// AAddress is a loopback address (127.0.0.0/8, ::1, or an IPv4 loopback address mapped into
// IPv6): only this PC can connect from one.
bool IsLoopbackAddress(std::string_view AAddress);
