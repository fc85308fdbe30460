#include "web/uPanelEditor.h"

#include <mutex>

#include <nlohmann/json.hpp>

#include "base/uFiles.h"
#include "base/uText.h"
#include "page/uPageInfo.h"
#include "page/uPanelFile.h"

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

json ProblemsJson(const EPanelError& AError) {
  json problems = json::array();
  for (const TPanelProblem& problem : AError.Problems())
    problems.push_back({{"message", Utf16ToUtf8(problem.Message)},
                        {"place",
                         {{"part", problem.Place.Part},
                          {"tab", problem.Place.Tab},
                          {"row", problem.Place.Row},
                          {"cell", problem.Place.Cell},
                          {"member", problem.Place.Member}}}});
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
  return JsonAnswer({{"panel", std::move(root)},
                     {"source", Utf16ToUtf8(source)},
                     {"saveFile", Utf16ToUtf8(FPageInfo.PanelSaveFile())}});
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
