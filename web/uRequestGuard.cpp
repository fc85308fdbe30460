#include "web/uRequestGuard.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "base/uText.h"
#include "web/uHTTPRequestReader.h"

namespace {

std::string LowerCaseBytes(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return result;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Four dotted decimal numbers of 0 to 255, as browsers write every IPv4 address.
bool IsIPv4Literal(std::string_view text) {
  int parts = 0;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const std::size_t end = std::min(text.find('.', pos), text.size());
    const std::string_view part = text.substr(pos, end - pos);
    if (part.empty() || part.size() > 3 || !std::all_of(part.begin(), part.end(), IsDigit)) return false;
    if (std::stoi(std::string(part)) > 255) return false;
    ++parts;
    pos = end + 1;
  }
  return parts == 4;
}

// The inside of "[...]": hexadecimal groups and colons, an IPv4 tail allowed. A name can
// never be written this way, which is what matters here.
bool IsIPv6Literal(std::string_view text) {
  if (std::count(text.begin(), text.end(), ':') < 2) return false;
  return std::all_of(text.begin(), text.end(), [](char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' || c == '.';
  });
}

struct THostAndPort {
  std::string Host;  // lower case; IPv6 literals keep their brackets
  std::string Port;  // "80" when none is given
};

// "name", "name:port", "[v6]" or "[v6]:port"; nothing when the value has another shape.
std::optional<THostAndPort> SplitHostAndPort(std::string_view AValue) {
  std::string_view host = AValue;
  std::string_view port;
  if (!AValue.empty() && AValue.front() == '[') {
    const std::size_t close = AValue.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = AValue.substr(0, close + 1);
    const std::string_view rest = AValue.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
    }
  } else if (const std::size_t colon = AValue.find(':'); colon != std::string_view::npos) {
    host = AValue.substr(0, colon);
    port = AValue.substr(colon + 1);
    if (port.empty()) return std::nullopt;
  }
  if (host.empty() || !std::all_of(port.begin(), port.end(), IsDigit)) return std::nullopt;
  return THostAndPort{LowerCaseBytes(host), port.empty() ? std::string("80") : std::string(port)};
}

// Every value of the headers of that name.
std::vector<std::string_view> HeaderValues(const THeaderList& AHeaders, std::string_view AName) {
  std::vector<std::string_view> values;
  for (const auto& [name, value] : AHeaders)
    if (SameTextBytes(name, AName)) values.push_back(TrimBytes(value));
  return values;
}

bool OriginMatchesHost(std::string_view AOrigin, const std::vector<std::string_view>& AHosts) {
  constexpr std::string_view kScheme = "http://";
  if (AHosts.size() != 1 || AOrigin.size() <= kScheme.size() ||
      !SameTextBytes(AOrigin.substr(0, kScheme.size()), kScheme))
    return false;
  const auto origin = SplitHostAndPort(AOrigin.substr(kScheme.size()));
  const auto host = SplitHostAndPort(AHosts.front());
  return origin && host && origin->Host == host->Host && origin->Port == host->Port;
}

}  // namespace

TRequestGuard::TRequestGuard(std::vector<std::u16string> AGuardedPaths, std::string_view AHostName,
                             std::vector<std::string> ADnsSuffixes)
    : FGuardedPaths(std::move(AGuardedPaths)), FHostLabel(LowerCaseBytes(AHostName.substr(0, AHostName.find('.')))) {
  if (const std::size_t dot = AHostName.find('.'); dot != std::string_view::npos)
    ADnsSuffixes.emplace_back(AHostName.substr(dot + 1));
  for (const char* suffix : kPrivateDnsSuffixes) ADnsSuffixes.emplace_back(suffix);
  for (const std::string& suffix : ADnsSuffixes) {
    std::string clean = LowerCaseBytes(suffix);
    while (!clean.empty() && clean.front() == '.') clean.erase(clean.begin());
    while (!clean.empty() && clean.back() == '.') clean.pop_back();
    if (!clean.empty() && std::find(FSuffixes.begin(), FSuffixes.end(), clean) == FSuffixes.end())
      FSuffixes.push_back(std::move(clean));
  }
}

bool TRequestGuard::Guards(std::u16string_view APathInfo) const {
  return std::any_of(FGuardedPaths.begin(), FGuardedPaths.end(),
                     [APathInfo](const std::u16string& path) { return SameText(path, APathInfo); });
}

bool TRequestGuard::IsFromThisSite(const THeaderList& AHeaders) {
  for (const std::string_view site : HeaderValues(AHeaders, "Sec-Fetch-Site"))
    if (!SameTextBytes(site, "same-origin") && !SameTextBytes(site, "none")) return false;
  const std::vector<std::string_view> hosts = HeaderValues(AHeaders, "Host");
  for (const std::string_view origin : HeaderValues(AHeaders, "Origin"))
    if (!OriginMatchesHost(origin, hosts)) return false;
  return true;
}

bool TRequestGuard::HasOwnOrigin(const THeaderList& AHeaders) {
  const std::vector<std::string_view> origins = HeaderValues(AHeaders, "Origin");
  return origins.size() == 1 && OriginMatchesHost(origins.front(), HeaderValues(AHeaders, "Host"));
}

bool TRequestGuard::NamesThisPC(std::string_view AHost) const {
  if (AHost.empty()) return true;
  const auto split = SplitHostAndPort(AHost);
  if (!split) return false;
  std::string_view host = split->Host;
  if (host.front() == '[') return host.back() == ']' && IsIPv6Literal(host.substr(1, host.size() - 2));
  // "name." is the same name, written as fully qualified.
  if (host.size() > 1 && host.back() == '.') host.remove_suffix(1);
  if (IsIPv4Literal(host) || host == "localhost") return true;
  if (FHostLabel.empty() || FHostLabel == "localhost") return false;
  if (host == FHostLabel) return true;
  if (host.size() <= FHostLabel.size() + 1 || !host.starts_with(FHostLabel) || host[FHostLabel.size()] != '.')
    return false;
  const std::string_view suffix = host.substr(FHostLabel.size() + 1);
  return std::find(FSuffixes.begin(), FSuffixes.end(), suffix) != FSuffixes.end();
}

bool TRequestGuard::Admits(const TWebRequest& ARequest) const {
  return !Guards(ARequest.PathInfo()) || AdmitsToGuardedRoute(ARequest);
}

bool TRequestGuard::AdmitsToGuardedRoute(const TWebRequest& ARequest) const {
  if (!IsFromThisSite(ARequest.Headers())) return false;
  const std::vector<std::string_view> hosts = HeaderValues(ARequest.Headers(), "Host");
  return std::all_of(hosts.begin(), hosts.end(), [this](std::string_view host) { return NamesThisPC(host); });
}
