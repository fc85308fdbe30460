#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <string>

#include "base/uLocalPeer.h"

namespace {

// The address without its zone ("%eth0"), parsed as IPv4 or IPv6; false for neither.
bool ParseAddress(std::string_view AAddress, in_addr& AV4, in6_addr& AV6, bool& AIsV4) {
  const std::string text(AAddress.substr(0, AAddress.find('%')));
  AIsV4 = inet_pton(AF_INET, text.c_str(), &AV4) == 1;
  return AIsV4 || inet_pton(AF_INET6, text.c_str(), &AV6) == 1;
}

}  // namespace

bool IsLoopbackAddress(std::string_view AAddress) {
  in_addr v4{};
  in6_addr v6{};
  bool isV4 = false;
  if (!ParseAddress(AAddress, v4, v6, isV4)) return false;
  if (isV4) return (ntohl(v4.s_addr) >> 24) == 127;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  char dotted[INET_ADDRSTRLEN] = {};
  return IN6_IS_ADDR_V4MAPPED(&v6) && inet_ntop(AF_INET, &v6.s6_addr[12], dotted, sizeof dotted) && IsLoopbackAddress(dotted);
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
    return inet_ntop(AF_INET, &v6.s6_addr[12], dotted, sizeof dotted) && IsThisPCAddress(dotted);
  }

  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return false;
  bool found = false;
  for (const ifaddrs* entry = list; entry && !found; entry = entry->ifa_next) {
    if (!entry->ifa_addr) continue;
    if (isV4 && entry->ifa_addr->sa_family == AF_INET)
      found = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr == v4.s_addr;
    else if (isV6 && entry->ifa_addr->sa_family == AF_INET6)
      found = std::memcmp(&reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr)->sin6_addr, &v6, sizeof v6) == 0;
  }
  ::freeifaddrs(list);
  return found;
}
