#include "base/uAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "base/uErrors.h"
#include "base/uText.h"

namespace {

struct IfAddrsDeleter {
  void operator()(ifaddrs* list) const { ::freeifaddrs(list); }
};

}  // namespace

std::vector<std::u16string> LocalIPv4Addresses() {
  ifaddrs* raw = nullptr;
  if (::getifaddrs(&raw) != 0)
    throw Exception(u"Cannot list the local addresses. " + Utf8ToUtf16(std::strerror(errno)));
  // Released on every way out, also when a step below raises.
  const std::unique_ptr<ifaddrs, IfAddrsDeleter> list(raw);

  std::vector<std::u16string> result;
  for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
    if (!(entry->ifa_flags & IFF_UP) || (entry->ifa_flags & IFF_LOOPBACK)) continue;
    in_addr address;
    std::memcpy(&address, &reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr, sizeof address);
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &address, text, sizeof text)) result.push_back(AsciiToUtf16(text));
  }
  return result;
}

std::string LocalHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}
