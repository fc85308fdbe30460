#include "tests/web/ChildProcess.h"

#include "base/uFiles.h"
#include "base/uText.h"

std::string HeadlessProgram() { return Utf16ToUtf8(ExtractFilePath(ExecutablePath())) + "tapdeck-headless"; }

std::vector<std::string> ReadUntilListening(TChildProcess& AChild, std::uint16_t& APort) {
  std::vector<std::string> lines;
  APort = 0;
  while (std::optional<std::string> line = AChild.ReadLine()) {
    lines.push_back(*line);
    if (line->rfind("listening IPv4 ", 0) == 0) {
      APort = static_cast<std::uint16_t>(std::stoi(line->substr(15)));
      break;
    }
  }
  return lines;
}
