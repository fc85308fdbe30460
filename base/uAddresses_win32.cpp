#include "base/uAddresses.h"

// winsock2.h must come before windows.h, which iphlpapi.h includes.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstdio>
#include <iterator>
#include <vector>

#include "base/uErrors.h"
#include "base/uText.h"

namespace {

// The reference on the network stack, released on every way out.
struct TWinsockReference {
  TWinsockReference() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) throw Exception(u"Cannot start the network stack.");
  }
  ~TWinsockReference() { ::WSACleanup(); }
};

std::u16string Dotted(const sockaddr_in& address) {
  const auto* b = reinterpret_cast<const unsigned char*>(&address.sin_addr);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return AsciiToUtf16(text);
}

}  // namespace

std::vector<std::u16string> LocalIPv4Addresses() {
  const TWinsockReference reference;
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG size = static_cast<ULONG>(buffer.size());
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list may grow between the calls; ask again with the size the system names.
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = ::GetAdaptersAddresses(AF_INET, flags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  std::vector<std::u16string> addresses;
  if (result == ERROR_NO_DATA) return addresses;
  if (result != NO_ERROR) throw Exception(u"Cannot list the local addresses (error " + IntToStr(result) + u").");

  for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter;
       adapter = adapter->Next) {
    if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK || (adapter->Flags & IP_ADAPTER_RECEIVE_ONLY)) continue;
    if (adapter->OperStatus != IfOperStatusUp) continue;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
      if (unicast->DadState != IpDadStatePreferred) continue;
      const SOCKADDR* address = unicast->Address.lpSockaddr;
      if (address && address->sa_family == AF_INET)
        addresses.push_back(Dotted(*reinterpret_cast<const sockaddr_in*>(address)));
    }
  }
  return addresses;
}

std::string LocalHostName() {
  wchar_t name[256] = {};
  DWORD size = static_cast<DWORD>(std::size(name));
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
  return Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(name), size));
}

std::vector<std::string> LocalDnsSuffixes() {
  std::vector<std::string> suffixes;
  const auto add = [&suffixes](const wchar_t* text) {
    if (!text || !*text) return;
    std::string suffix = Utf16ToUtf8(reinterpret_cast<const char16_t*>(text));
    for (char& c : suffix)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    while (!suffix.empty() && suffix.back() == '.') suffix.pop_back();
    if (!suffix.empty()) suffixes.push_back(suffix);
  };
  wchar_t domain[256] = {};
  DWORD size = static_cast<DWORD>(std::size(domain));
  if (::GetComputerNameExW(ComputerNameDnsDomain, domain, &size)) add(domain);
  // Each adapter's connection-specific suffix, as its DHCP server handed it out.
  std::vector<unsigned char> buffer(16 * 1024);
  ULONG length = static_cast<ULONG>(buffer.size());
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(length);
    result = ::GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_UNICAST,
                                    nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &length);
  }
  if (result == NO_ERROR)
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter; adapter = adapter->Next)
      add(adapter->DnsSuffix);
  return suffixes;
}
