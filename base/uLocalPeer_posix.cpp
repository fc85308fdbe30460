#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>
#include <string>

#include "base/uLocalPeer.h"

bool IsThisPCAddress(std::string_view AAddress) {
  // A zone ("%eth0") is not part of the address.
  const std::string text(AAddress.substr(0, AAddress.find('%')));
  in_addr v4{};
  in6_addr v6{};
  const bool isV4 = inet_pton(AF_INET, text.c_str(), &v4) == 1;
  const bool isV6 = !isV4 && inet_pton(AF_INET6, text.c_str(), &v6) == 1;
  if (!isV4 && !isV6) return false;
  if (isV4 && (ntohl(v4.s_addr) >> 24) == 127) return true;
  if (isV6 && IN6_IS_ADDR_LOOPBACK(&v6)) return true;
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
