// Fuzz target: reading a .binds file. Whatever the bytes, the reader either refuses them with
// a message naming the file, or gives actions each of which resolves to something playable or
// to an unbound action with its reason and the words to fix it; every key sequence it makes
// plays cleanly.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "game/uBindings.h"
#include "game/uBindsFile.h"
#include "keys/uSendKeys.h"

namespace {

[[noreturn]] void Fail(const char* AWhat) {
  std::fprintf(stderr, "binds check failed: %s\n", AWhat);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* AData, std::size_t ASize) {
  const std::string_view bytes(reinterpret_cast<const char*>(AData), ASize);
  const std::vector<std::string> ours{"1234BEAD"};
  try {
    const TBindsFile file = ParseBindsFile(bytes, u"fuzz.binds");
    for (const TBindsAction& action : file.Actions) {
      if (file.Find(action.Name) == nullptr) Fail("an action is not found by its name");
      const TActionBinding binding = ResolveAction(action, file.KeyboardLayout, ours);
      if (binding.Label.empty() || binding.Reading.empty()) Fail("an action has no label or reading");
      switch (binding.Kind) {
        case TBindingKind::Keys:
          if (binding.Key.empty()) Fail("keys without a key");
          if (!TKeySequence::Check(binding.Sequence()).empty()) Fail("a sequence does not play cleanly");
          if (binding.ModifierKeys().size() * 2 < binding.Modifiers.size()) Fail("a modifier has no key");
          break;
        case TBindingKind::Joystick:
          if (binding.Button < 1 || binding.Button > 128) Fail("a joystick button out of range");
          break;
        case TBindingKind::Unbound:
          if (binding.Why.empty() || !binding.Fix.starts_with(u"Options, Controls, ")) Fail("an unbound action says not why");
          break;
      }
    }
  } catch (const EBindsError& e) {
    if (!e.Message().starts_with(u"fuzz.binds: ")) Fail("a message does not name the file");
  }
  return 0;
}
