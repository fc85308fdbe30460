#include "web/uPanelEditor.h"

#include <algorithm>
#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <set>

#include <nlohmann/json.hpp>

#include "base/uFiles.h"
#include "base/uText.h"
#include "game/uBindingsWatcher.h"
#include "game/uGameState.h"
#include "game/uStatusFile.h"
#include "keys/uKeyboardRecorder.h"
#include "keys/uSendKeys.h"
#include "page/uPageInfo.h"
#include "page/uPanelFile.h"
#include "web/uEventStreams.h"

using json = nlohmann::ordered_json;

namespace {

constexpr const char16_t* kJson = u"application/json; charset=utf-8";
// The name messages give a panel that comes from the editor rather than from a file.
constexpr const char16_t* kEditedName = u"panel";

// Two editors saving at once write one after the other, so the file and its backup are each
// one whole panel.
std::mutex SaveLock;

TEditorAnswer JsonAnswer(const json& AValue, std::int32_t AStatus = 200) {
  return {AStatus, kJson, AValue.dump(-1, ' ', false, json::error_handler_t::replace)};
}

json PlaceJson(const TPanelPlace& APlace) {
  return {{"part", APlace.Part}, {"tab", APlace.Tab}, {"row", APlace.Row}, {"cell", APlace.Cell}, {"member", APlace.Member}};
}

json ProblemsJson(const EPanelError& AError) {
  json problems = json::array();
  for (const TPanelProblem& problem : AError.Problems())
    problems.push_back({{"message", Utf16ToUtf8(problem.Message)}, {"place", PlaceJson(problem.Place)}});
  return {{"ok", false}, {"problems", std::move(problems)}};
}

// A file's text with a placeholder line replaced; the placeholder is found once.
void Insert(std::string& AText, std::string_view APlaceholder, const std::string& AValue) {
  const std::size_t at = AText.find(APlaceholder);
  if (at != std::string::npos) AText.replace(at, APlaceholder.size(), AValue);
}

std::string ReadIfExists(const std::u16string& AFileName) {
  return FileExists(AFileName) ? ReadFileBytes(AFileName) : std::string();
}

// --- What a panel's buttons would do ---

// A panel's JSON as written, whatever is wrong with it; nothing for bytes that are no JSON, or
// nest deeper than the panel reader reads.
std::optional<json> ParseLoosely(std::string_view ABytes) {
  constexpr int kMaxDepth = 32;
  if (ABytes.size() > kMaxPanelFileSize) return std::nullopt;
  if (ABytes.starts_with("\xEF\xBB\xBF")) ABytes.remove_prefix(3);
  try {
    return json::parse(ABytes.begin(), ABytes.end(), [](int ADepth, json::parse_event_t, json&) {
      if (ADepth > kMaxDepth) throw std::length_error("nested too deep");
      return true;
    });
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Every cell object of a panel, with its place; rows and cells of the wrong kind are passed over.
void ForEachCell(const json& ARoot, const std::function<void(const TPanelPlace&, const json&)>& AVisit) {
  if (!ARoot.is_object()) return;
  const auto rows = [&AVisit](const json& AObject, const char* AMember, TPanelPlace APlace) {
    const auto list = AObject.find(AMember);
    if (list == AObject.end() || !list->is_array()) return;
    for (std::size_t r = 0; r < list->size(); ++r) {
      const json& row = (*list)[r];
      if (!row.is_array()) continue;
      for (std::size_t c = 0; c < row.size(); ++c) {
        if (!row[c].is_object()) continue;
        APlace.Row = static_cast<int>(r);
        APlace.Cell = static_cast<int>(c);
        AVisit(APlace, row[c]);
      }
    }
  };
  rows(ARoot, "above", {"above", -1, -1, -1, ""});
  if (const auto tabs = ARoot.find("tabs"); tabs != ARoot.end() && tabs->is_array())
    for (std::size_t t = 0; t < tabs->size(); ++t)
      if ((*tabs)[t].is_object()) rows((*tabs)[t], "rows", {"tabs", static_cast<int>(t), -1, -1, ""});
  rows(ARoot, "below", {"below", -1, -1, -1, ""});
}

// Plays a sequence where nothing reaches the PC, to see the keys it presses.
class TDryRun : public TKeySequence {
 public:
  explicit TDryRun(std::shared_ptr<TKeyboard> AKeyboard) : TKeySequence(std::move(AKeyboard)) {}
  void Play() { Execute(); }
};

struct TKeysReview {
  std::vector<std::string> Holds;  // of "Win", "Ctrl", "Alt"
  bool Enter = false;              // the last key pressed is Enter
};

// What a sequence does as the program plays it; nothing for one that does not play cleanly
// (the check names it).
std::optional<TKeysReview> ReviewKeys(const std::u16string& ASequence) {
  if (!TKeySequence::Check(ASequence).empty()) return std::nullopt;
  auto keyboard = std::make_shared<TKeyboardRecorder>(false);
  TDryRun player(keyboard);
  player.SetSequence(ASequence);
  player.Play();
  // The virtual keys of each modifier: either side, or the side-less key.
  static const std::pair<const char*, std::array<std::uint8_t, 3>> kHeld[] = {
      {"Win", {0x5B, 0x5C, 0x5B}}, {"Ctrl", {0x11, 0xA2, 0xA3}}, {"Alt", {0x12, 0xA4, 0xA5}}};
  constexpr std::uint8_t kShifts[] = {0x10, 0xA0, 0xA1};
  constexpr std::uint32_t kKeyUp = 2;
  constexpr std::uint8_t kEnter = 0x0D;
  TKeysReview review;
  std::uint8_t lastKey = 0;
  for (const TKeyEvent& event : keyboard->Events()) {
    if (event.Flags & kKeyUp) continue;
    bool modifier = std::find(std::begin(kShifts), std::end(kShifts), event.Vk) != std::end(kShifts);
    for (const auto& [word, keys] : kHeld)
      if (std::find(keys.begin(), keys.end(), event.Vk) != keys.end()) {
        modifier = true;
        if (std::find(review.Holds.begin(), review.Holds.end(), word) == review.Holds.end()) review.Holds.push_back(word);
      }
    if (!modifier) lastKey = event.Vk;
  }
  review.Enter = lastKey == kEnter;
  return review;
}

// The save file while the reader refuses it, with its problems and its text; null otherwise.
json RefusedFile(const TPageInfo& APageInfo) {
  const std::u16string file = APageInfo.PanelSaveFile();
  if (file.empty() || !FileExists(file)) return nullptr;
  std::string bytes;
  try {
    bytes = ReadFileBytes(file);
    ParsePanel(bytes, file.substr(ExtractFilePath(file).size()));
    return nullptr;
  } catch (const EPanelError& e) {
    json refused = ProblemsJson(e);
    refused.erase("ok");
    refused["file"] = Utf16ToUtf8(file);
    if (bytes.size() <= kMaxPanelFileSize) refused["text"] = bytes;
    if (const std::optional<json> written = ParseLoosely(bytes); written && written->is_object()) refused["panel"] = *written;
    return refused;
  } catch (const Exception&) {
    return nullptr;  // unreadable: the window has said so
  }
}

const char* KindWord(TStateKind AKind) {
  switch (AKind) {
    case TStateKind::Bool: return "bool";
    case TStateKind::Number: return "number";
    case TStateKind::Text: break;
  }
  return "text";
}

}  // namespace

TPanelEditor::TPanelEditor(TPageInfo& APageInfo, std::u16string ABasePath)
    : FPageInfo(APageInfo), FBasePath(std::move(ABasePath)) {}

bool TPanelEditor::IsEditorPath(std::u16string_view APathInfo) {
  std::u16string path(APathInfo);
  for (char16_t& c : path) c = LowerCaseAscii(c);
  return path == u"/edit" || path.starts_with(u"/edit/");
}

TEditorAnswer TPanelEditor::Page() const {
  const std::u16string page = FBasePath + u"edit.html";
  if (!FileExists(page)) return {404, u"text/plain; charset=utf-8", "The editor's page file edit.html is missing."};
  std::string text = ReadFileBytes(page);
  // The style first: the script may hold any text, the placeholder of the style included.
  Insert(text, "$$EDITSTYLES$$", ReadIfExists(FBasePath + u"edit.css"));
  Insert(text, "$$EDITSCRIPT$$", ReadIfExists(FBasePath + u"edit.js"));
  return {200, u"text/html; charset=utf-8", std::move(text)};
}

TEditorAnswer TPanelEditor::Panel() const {
  const std::u16string source = FPageInfo.PanelFile();
  TPanel panel{FPageInfo.PageTitle(), FPageInfo.Model()};
  json root = json::parse(PanelJson(panel));
  // The file as written keeps what the model does not (its member order, its layout); it is
  // used when it still reads as a panel.
  if (!source.empty() && FileExists(source)) {
    try {
      const std::string bytes = ReadFileBytes(source);
      ParsePanel(bytes, kEditedName);
      root = json::parse(bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes);
    } catch (const std::exception&) {
      // A file changed or broken since it was put in use: the model stands for it.
    }
  }
  json answer = {{"panel", std::move(root)},
                 {"source", Utf16ToUtf8(source)},
                 {"saveFile", Utf16ToUtf8(FPageInfo.PanelSaveFile())}};
  json refused = source.empty() ? RefusedFile(FPageInfo) : json();
  if (!refused.is_null()) answer["refused"] = std::move(refused);
  return JsonAnswer(answer);
}


TEditorAnswer TPanelEditor::BuiltIn() const {
  return JsonAnswer({{"panel", json::parse(PanelJson(BuiltInPanel()))}});
}

TEditorAnswer TPanelEditor::Check(std::string_view ABody) const {
  try {
    ParsePanel(ABody, kEditedName);
    return JsonAnswer({{"ok", true}});
  } catch (const EPanelError& e) {
    return JsonAnswer(ProblemsJson(e));
  }
}

TEditorAnswer TPanelEditor::Preview(std::string_view ABody) const {
  TPanel panel;
  try {
    panel = ParsePanel(ABody, kEditedName);
  } catch (const EPanelError& e) {
    return JsonAnswer(ProblemsJson(e), 422);
  }
  const std::u16string templateName = FBasePath + u"index.html";
  if (!FileExists(templateName)) return {404, u"text/plain; charset=utf-8", "The page file index.html is missing."};
  // A page object of its own, so the panel in use and its cached page stay as they are.
  TPageInfo preview;
  UsePanel(preview, panel);
  const std::shared_ptr<const std::string> page = preview.AssemblePage(FBasePath, ReadFileBytes(templateName));
  return {200, u"text/html", *page};
}

TEditorAnswer TPanelEditor::Save(std::string_view ABody) const {
  TPanel panel;
  try {
    panel = ParsePanel(ABody, kEditedName);
  } catch (const EPanelError& e) {
    return JsonAnswer(ProblemsJson(e), 422);
  }
  const std::u16string file = FPageInfo.PanelSaveFile();
  if (file.empty()) return JsonAnswer({{"ok", false}, {"error", "There is no panel file to save to."}}, 409);
  std::lock_guard lock(SaveLock);
  try {
    ReplaceFileBytes(file, ABody, file + u".bak");
  } catch (const Exception& e) {
    return JsonAnswer({{"ok", false}, {"error", Utf16ToUtf8(e.Message())}}, 500);
  }
  UsePanel(FPageInfo, panel);
  FPageInfo.SetPanelFile(file);
  return JsonAnswer({{"ok", true}, {"file", Utf16ToUtf8(file)}});
}

TEditorAnswer TPanelEditor::Examples() const {
  const std::u16string dir = FBasePath + u"panels" + PathDelimiter();
  json list = json::array();
  for (const std::u16string& name : FilesIn(dir, u".json")) {
    try {
      std::string bytes = ReadFileBytes(dir + name);
      ParsePanel(bytes, name);
      if (bytes.starts_with("\xEF\xBB\xBF")) bytes.erase(0, 3);
      list.push_back({{"name", Utf16ToUtf8(name)}, {"panel", json::parse(bytes)}});
    } catch (const std::exception&) {
      // An example that does not read is not offered.
    }
  }
  return JsonAnswer(list);
}

TEditorAnswer TPanelEditor::State() const {
  const std::map<std::string, TStateValue> values = GetGameState().Snapshot();
  json names = json::array();
  std::set<std::string> listed;
  for (const TStateName& name : EliteStateNames()) {
    names.push_back({{"name", name.Name}, {"kind", KindWord(name.Kind)}});
    listed.insert(name.Name);
  }
  for (const auto& [name, value] : values)
    if (!listed.contains(name))
      names.push_back({{"name", name}, {"kind", KindWord(static_cast<TStateKind>(value.Data.index()))}});
  json answer = json::parse(TEventStreams::StateJson(values));
  answer["names"] = std::move(names);
  return JsonAnswer(answer);
}

TEditorAnswer TPanelEditor::Actions() const {
  const std::shared_ptr<const TBindings> bindings = GetBindings().Current();
  json actions = json::array();
  for (const TActionBinding& action : bindings->Actions())
    actions.push_back({{"action", "elite:" + action.Action},
                       {"group", Utf16ToUtf8(GroupName(action.Group))},
                       {"label", Utf16ToUtf8(action.Label)},
                       {"bound", action.Bound()},
                       {"reading", Utf16ToUtf8(action.Reading)},
                       {"why", Utf16ToUtf8(action.Why)},
                       {"fix", Utf16ToUtf8(action.Fix)}});
  return JsonAnswer({{"inUse", bindings->InUse()},
                     {"file", Utf16ToUtf8(bindings->FileName())},
                     {"status", Utf16ToUtf8(bindings->Status())},
                     {"actions", std::move(actions)}});
}

TEditorAnswer TPanelEditor::Review(std::string_view ABody) const {
  json keys = json::array();
  json unbound = json::array();
  const std::optional<json> root = ParseLoosely(ABody);
  const std::shared_ptr<const TBindings> bindings = GetBindings().Current();
  constexpr std::string_view kElite = "elite:";
  ForEachCell(root ? *root : json(), [&](TPanelPlace APlace, const json& ACell) {
    const auto action = ACell.find("action");
    const bool isAction = action != ACell.end() && action->is_string();
    if (const auto sequence = ACell.find("keys"); sequence != ACell.end() && sequence->is_string()) {
      const std::optional<TKeysReview> review = ReviewKeys(Utf8ToUtf16(sequence->get<std::string>()));
      if (review && (!review->Holds.empty() || review->Enter)) {
        APlace.Member = "keys";
        keys.push_back({{"place", PlaceJson(APlace)},
                        {"keys", *sequence},
                        {"action", isAction},
                        {"holds", review->Holds},
                        {"enter", review->Enter}});
      }
    }
    if (!isAction || !action->get<std::string>().starts_with(kElite)) return;
    const std::optional<TActionBinding> binding = bindings->Lookup(action->get<std::string>().substr(kElite.size()));
    if (!binding || binding->Bound()) return;
    APlace.Member = "action";
    unbound.push_back({{"place", PlaceJson(APlace)},
                       {"action", *action},
                       {"label", Utf16ToUtf8(binding->Label)},
                       {"why", Utf16ToUtf8(binding->Why)},
                       {"fix", Utf16ToUtf8(binding->Fix)}});
  });
  return JsonAnswer({{"keys", std::move(keys)}, {"unbound", std::move(unbound)}});
}
