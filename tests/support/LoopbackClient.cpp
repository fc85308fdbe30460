#include "tests/support/LoopbackClient.h"

#include <cctype>

TLoopbackRead LoopbackExchange(std::uint16_t APort, std::string_view ARequest, std::chrono::milliseconds ATimeout) {
  TLoopbackClient client(APort);
  if (!client.Connected()) return {};
  client.Send(ARequest);
  client.ShutdownSend();
  return client.Read(ATimeout);
}

namespace {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

std::string TLoopbackReply::Header(std::string_view AName) const {
  std::string_view rest(Head);
  while (!rest.empty()) {
    const std::size_t end = rest.find("\r\n");
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !SameText(line.substr(0, colon), AName)) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    return std::string(value);
  }
  return {};
}

TLoopbackReply ParseLoopbackReply(const std::string& ABytes) {
  TLoopbackReply reply;
  const std::size_t end = ABytes.find("\r\n\r\n");
  if (end == std::string::npos || ABytes.rfind("HTTP/1.1 ", 0) != 0 || ABytes.size() < 12) return reply;
  for (std::size_t i = 9; i < 12; ++i)
    if (!std::isdigit(static_cast<unsigned char>(ABytes[i]))) return reply;
  reply.Status = std::stoi(ABytes.substr(9, 3));
  reply.Head = ABytes.substr(0, end);
  reply.Body = ABytes.substr(end + 4);
  reply.Valid = true;
  return reply;
}
