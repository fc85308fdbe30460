// Fuzz target: reading a panel file. Whatever the bytes, the reader either refuses them with
// at least one problem, each message naming the file, or gives a whole panel whose model
// renders, with at least one cell.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "page/uPanelFile.h"

namespace {

[[noreturn]] void Fail(const char* AWhat) {
  std::fprintf(stderr, "panel check failed: %s\n", AWhat);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  const std::string_view bytes(reinterpret_cast<const char*>(AData), ASize);
  try {
    const TPanel panel = ParsePanel(bytes, u"fuzz.json");
    if (!panel.Model) Fail("an accepted panel has no model");
    if (panel.Model->GetHTML().find(u"<td colspan=") == std::u16string::npos) Fail("an accepted panel has no cell");
  } catch (const EPanelError& e) {
    if (e.Problems().empty()) Fail("a refusal names no problem");
    for (const TPanelProblem& problem : e.Problems())
      if (!problem.Message.starts_with(u"fuzz.json: ")) Fail("a message does not name the file");
    if (e.Message() != e.Problems().front().Message) Fail("the message is not the first problem's");
  }
  return 0;
}
