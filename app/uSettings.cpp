#include "app/uSettings.h"

#include <nlohmann/json.hpp>

#include "base/uErrors.h"
#include "base/uFiles.h"
#include "base/uText.h"

using json = nlohmann::ordered_json;

namespace {

// "auto", "off" or a folder.
TGameFolderChoice ChoiceOf(const json& AValue, TGameFolderChoice ADefault) {
  if (!AValue.is_string()) return ADefault;
  const std::string text = AValue.get<std::string>();
  if (text == "auto") return {TGameFolderChoice::Automatic, {}};
  if (text == "off") return {TGameFolderChoice::Off, {}};
  std::u16string folder;
  if (text.empty() || !TryUtf8ToUtf16(text, folder)) return ADefault;
  return {TGameFolderChoice::Picked, folder};
}

json ChoiceJson(const TGameFolderChoice& AChoice) {
  switch (AChoice.Kind) {
    case TGameFolderChoice::Off: return "off";
    case TGameFolderChoice::Automatic: return "auto";
    case TGameFolderChoice::Picked: return Utf16ToUtf8(AChoice.Folder);
  }
  return "auto";
}

}  // namespace

TWindowSettings ReadWindowSettings(const std::u16string& AFile, std::u16string& AProblem) {
  AProblem.clear();
  TWindowSettings settings;
  if (AFile.empty() || !FileExists(AFile)) return settings;
  try {
    const json root = json::parse(ReadFileBytes(AFile), nullptr, false);
    if (!root.is_object()) {
      AProblem = AFile + u" is not a settings file; the defaults hold";
      return settings;
    }
    if (root.contains("statusFolder")) settings.Status = ChoiceOf(root["statusFolder"], settings.Status);
    if (root.contains("bindings")) settings.Bindings = ChoiceOf(root["bindings"], settings.Bindings);
    settings.NoJoystick = root.value("noJoystick", false);
  } catch (const Exception& e) {
    AProblem = e.Message();
  } catch (const json::exception&) {
    AProblem = AFile + u" is not a settings file; the defaults hold";
  }
  return settings;
}

void WriteWindowSettings(const std::u16string& AFile, const TWindowSettings& ASettings) {
  if (AFile.empty()) return;
  const json root = {{"tapdeckSettings", 1},
                     {"statusFolder", ChoiceJson(ASettings.Status)},
                     {"bindings", ChoiceJson(ASettings.Bindings)},
                     {"noJoystick", ASettings.NoJoystick}};
  ReplaceFileBytes(AFile, root.dump(2) + "\n");
}
