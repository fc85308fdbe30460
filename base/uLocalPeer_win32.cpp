// winsock2.h must come before windows.h, which iphlpapi.h includes.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/uLocalPeer.h"

namespace {

// The address without its zone ("%eth0"), parsed as IPv4 or IPv6; false for neither.
bool ParseAddress(std::string_view AAddress, in_addr& AV4, in6_addr& AV6, bool& AIsV4) {
  const std::string text(AAddress.substr(0, AAddress.find('%')));
  AIsV4 = ::inet_pton(AF_INET, text.c_str(), &AV4) == 1;
  return AIsV4 || ::inet_pton(AF_INET6, text.c_str(), &AV6) == 1;
}

}  // namespace

bool IsLoopbackAddress(std::string_view AAddress) {
  in_addr v4{};
  in6_addr v6{};
  bool isV4 = false;
  if (!ParseAddress(AAddress, v4, v6, isV4)) return false;
  if (isV4) return v4.S_un.S_un_b.s_b1 == 127;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  char dotted[INET_ADDRSTRLEN] = {};
  return IN6_IS_ADDR_V4MAPPED(&v6) && ::inet_ntop(AF_INET, &v6.s6_addr[12], dotted, sizeof dotted) && IsLoopbackAddress(dotted);
}

bool IsThisPCAddress(std::string_view AAddress) {
  if (IsLoopbackAddress(AAddress)) return true;
  in_addr v4{};
  in6_addr v6{};
  bool isV4 = false;
  if (!ParseAddress(AAddress, v4, v6, isV4)) return false;
  const bool isV6 = !isV4;
  if (isV6 && IN6_IS_ADDR_V4MAPPED(&v6)) {
    char dotted[INET_ADDRSTRLEN] = {};
    return ::inet_ntop(AF_INET, &v6.s6_addr[12], dotted, sizeof dotted) && IsThisPCAddress(dotted);
  }

  // Every adapter, whatever its state: the list is asked for until the buffer is big enough.
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer.resize(size);
    result = ::GetAdaptersAddresses(AF_UNSPEC, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                    nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result != NO_ERROR) return false;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter; adapter = adapter->Next)
    for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
      const sockaddr* address = unicast->Address.lpSockaddr;
      if (!address) continue;
      if (isV4 && address->sa_family == AF_INET &&
          reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr == v4.s_addr)
        return true;
      if (isV6 && address->sa_family == AF_INET6 &&
          std::memcmp(&reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, &v6, sizeof v6) == 0)
        return true;
    }
  return false;
}
