#include "base/uAddresses.h"

#include <arpa/inet.h>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>

#include "base/uErrors.h"
#include "base/uText.h"

// The kernel's routing socket tells what getifaddrs leaves out: the state of each address.
// An address that is still being checked for duplicates (tentative), was found to be one
// (failed duplicate detection) or is past its preferred lifetime (deprecated) is not offered.
// The first two are IPv6 states that Linux never gives an IPv4 address, whose conflict
// checks happen in user space before the address is added; an IPv4 address becomes
// deprecated when its preferred lifetime runs out (a DHCP lease past its renewal, or
// "preferred_lft 0" given by hand), as an IPv6 one does.

namespace {

[[noreturn]] void RaiseListError(int error) {
  throw Exception(u"Cannot list the local addresses. " + Utf8ToUtf16(std::strerror(error)));
}

// A routing socket, closed on every way out.
class TRouteSocket {
 public:
  TRouteSocket() : fFd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {
    if (fFd < 0) RaiseListError(errno);
  }
  ~TRouteSocket() { ::close(fFd); }
  TRouteSocket(const TRouteSocket&) = delete;
  TRouteSocket& operator=(const TRouteSocket&) = delete;

  // Asks for a dump of AType (RTM_GETLINK, RTM_GETADDR) of AFamily and hands each message of
  // the answer to AOnMessage, in the order the kernel sends them.
  void Dump(std::uint16_t AType, unsigned char AFamily, const std::function<void(const nlmsghdr&)>& AOnMessage) {
    struct {
      nlmsghdr Header;
      rtgenmsg Body;
    } request{};
    request.Header.nlmsg_len = sizeof request;
    request.Header.nlmsg_type = AType;
    request.Header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.Header.nlmsg_seq = ++fSequence;
    request.Body.rtgen_family = AFamily;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(fFd, &request, sizeof request, 0, reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel) < 0)
      RaiseListError(errno);

    alignas(nlmsghdr) char buffer[32 * 1024];
    for (;;) {
      const ssize_t got = ::recv(fFd, buffer, sizeof buffer, 0);
      if (got < 0) {
        if (errno == EINTR) continue;
        RaiseListError(errno);
      }
      if (got == 0) RaiseListError(EPROTO);
      auto left = static_cast<unsigned int>(got);
      for (auto* message = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(message, left);
           message = NLMSG_NEXT(message, left)) {
        if (message->nlmsg_seq != fSequence) continue;
        if (message->nlmsg_type == NLMSG_DONE) return;
        if (message->nlmsg_type == NLMSG_ERROR) {
          const auto* error = static_cast<const nlmsgerr*>(NLMSG_DATA(message));
          RaiseListError(error->error < 0 ? -error->error : EPROTO);
        }
        AOnMessage(*message);
      }
    }
  }

 private:
  int fFd;
  std::uint32_t fSequence = 0;
};

}  // namespace

std::vector<std::u16string> LocalIPv4Addresses() {
  TRouteSocket socket;

  // The interfaces' flags (up, loopback), by index.
  std::map<int, unsigned int> interfaceFlags;
  socket.Dump(RTM_GETLINK, AF_UNSPEC, [&](const nlmsghdr& AMessage) {
    if (AMessage.nlmsg_type != RTM_NEWLINK || AMessage.nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) return;
    const auto* link = static_cast<const ifinfomsg*>(NLMSG_DATA(&AMessage));
    interfaceFlags[link->ifi_index] = link->ifi_flags;
  });

  // The addresses in the order the kernel lists them: by interface, then as added.
  std::vector<std::u16string> result;
  socket.Dump(RTM_GETADDR, AF_INET, [&](const nlmsghdr& AMessage) {
    if (AMessage.nlmsg_type != RTM_NEWADDR || AMessage.nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg))) return;
    const auto* address = static_cast<const ifaddrmsg*>(NLMSG_DATA(&AMessage));
    if (address->ifa_family != AF_INET) return;
    const auto flags = interfaceFlags.find(static_cast<int>(address->ifa_index));
    if (flags == interfaceFlags.end() || !(flags->second & IFF_UP) || (flags->second & IFF_LOOPBACK)) return;

    // IFA_FLAGS holds all 32 bits of the address flags where the kernel sends it.
    std::uint32_t addressFlags = address->ifa_flags;
    const void* local = nullptr;     // the interface's own address
    const void* assigned = nullptr;  // the same, or the peer's on a point-to-point link
    unsigned int left = IFA_PAYLOAD(&AMessage);
    for (auto* attribute = IFA_RTA(address); RTA_OK(attribute, left); attribute = RTA_NEXT(attribute, left)) {
      const std::size_t size = RTA_PAYLOAD(attribute);
      if (attribute->rta_type == IFA_FLAGS && size >= sizeof(std::uint32_t))
        std::memcpy(&addressFlags, RTA_DATA(attribute), sizeof addressFlags);
      else if (attribute->rta_type == IFA_LOCAL && size >= sizeof(in_addr))
        local = RTA_DATA(attribute);
      else if (attribute->rta_type == IFA_ADDRESS && size >= sizeof(in_addr))
        assigned = RTA_DATA(attribute);
    }
    if (addressFlags & (IFA_F_TENTATIVE | IFA_F_DADFAILED | IFA_F_DEPRECATED)) return;
    const void* own = local ? local : assigned;
    if (!own) return;
    in_addr raw;
    std::memcpy(&raw, own, sizeof raw);
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &raw, text, sizeof text)) result.push_back(AsciiToUtf16(text));
  });
  return result;
}

std::string LocalHostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

std::vector<std::string> LocalDnsSuffixes() {
  // The resolver's "domain" and "search" lines; the host name's own domain is added by callers
  // that have the name.
  std::vector<std::string> suffixes;
  std::FILE* file = std::fopen("/etc/resolv.conf", "r");
  if (!file) return suffixes;
  char line[1024];
  while (std::fgets(line, sizeof line, file)) {
    std::istringstream words(line);
    std::string keyword, word;
    words >> keyword;
    if (keyword != "domain" && keyword != "search") continue;
    while (words >> word) {
      if (word.front() == '#' || word.front() == ';') break;
      for (char& c : word)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      while (!word.empty() && word.back() == '.') word.pop_back();
      if (!word.empty()) suffixes.push_back(word);
    }
  }
  std::fclose(file);
  return suffixes;
}
