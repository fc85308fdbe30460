#pragma once
// Which requests may reach the routes that act on the PC. A browser lets any web page send
// requests to any address, so a page from another site (or from a name rebound to this PC's
// address) could type keys and press joystick buttons. Browsers say where a request comes
// from (Sec-Fetch-Site, Origin); clients that are not browsers send neither header.

#include <string>
#include <string_view>
#include <vector>

#include "web/uWebRequest.h"

class TRequestGuard {
 public:
  // AGuardedPaths: the paths of the routes to guard, compared without regard to ASCII letter
  // case. AHostName: this PC's own host name; its first label is the PC's name, and what
  // follows it is one of the PC's own DNS suffixes, as are ADnsSuffixes (its DNS domain and
  // search suffixes).
  TRequestGuard(std::vector<std::u16string> AGuardedPaths, std::string_view AHostName,
                std::vector<std::string> ADnsSuffixes = {});

  // False for a request to a guarded path that a browser sent from another site or to a
  // host name that is not this PC's; true for everything else.
  bool Admits(const TWebRequest& ARequest) const;

  // The rule for a guarded path, whatever the path: the request comes from this site (as far
  // as a browser says) and every Host names this PC.
  bool AdmitsToGuardedRoute(const TWebRequest& ARequest) const;
  // Whether the path is one of the guarded ones.
  bool Guards(std::u16string_view APathInfo) const;
  // False when Sec-Fetch-Site says another site, or Origin names another origin than
  // "http://" and the Host header; true when neither header is present.
  static bool IsFromThisSite(const THeaderList& AHeaders);
  // True when an Origin is present and names "http://" and the one Host header.
  static bool HasOwnOrigin(const THeaderList& AHeaders);
  // Whether a Host header value (with or without a port, one trailing dot ignored) names this
  // PC: an IP address literal, "localhost", the PC's name alone, or its name followed by a
  // dot and a suffix the PC itself is in or a private one ("local", "lan", "home",
  // "home.arpa", "internal", "localdomain", "fritz.box"); never a name that only starts with
  // the PC's name (a site rebound to this address could be called that). An empty value (an
  // HTTP/1.0 request without Host) counts as this PC.
  bool NamesThisPC(std::string_view AHost) const;

 private:
  std::vector<std::u16string> FGuardedPaths;
  std::string FHostLabel;  // lower case
  std::vector<std::string> FSuffixes;  // lower case, without leading or trailing dots
};

// The suffixes under which a name followed by a dot may still be this PC on a home network.
inline constexpr const char* kPrivateDnsSuffixes[] = {"local", "lan", "home", "home.arpa", "internal", "localdomain",
                                                       "fritz.box"};
