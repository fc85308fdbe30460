#pragma once
// The machine's own IPv4 addresses, as the window shows them to the user: the preferred
// unicast addresses of every adapter that is up and not a loopback adapter, in the order the
// system reports the adapters, each in dotted decimal. IPv6 addresses are left out, and so
// are addresses the system does not prefer: still being checked for a duplicate, found to be
// one, or past their preferred lifetime (deprecated).

#include <string>
#include <vector>

// Raises Exception with the system's text when the list cannot be read.
std::vector<std::u16string> LocalIPv4Addresses();

// This machine's own host name as the system reports it (ASCII, as typed in an address);
// empty when the system gives none.
std::string LocalHostName();

// The DNS suffixes this machine is in: its own DNS domain and the search suffixes of its
// resolver (lower case, without dots at either end); empty when the system names none.
std::vector<std::string> LocalDnsSuffixes();
