#include "page/uPanelFile.h"

#include <algorithm>
#include <functional>
#include <set>

#include <nlohmann/json.hpp>

#include "base/uFiles.h"
#include "base/uText.h"
#include "game/uBindingsWatcher.h"
#include "game/uGameState.h"
#include "game/uStatusFile.h"
#include "keys/uSendKeys.h"
#include "page/uPageInfo.h"
#include "page/uPageInfoEliteDangerous.h"

namespace {

// Members keep the order of the file, so messages name them in that order.
using json = nlohmann::ordered_json;

// Deeper than any panel needs; it keeps a hostile file from costing more than it should.
constexpr int kMaxDepth = 32;
constexpr int kMaxColspan = 16;
constexpr int kMaxButtonsPerCell = 32;
constexpr int kMaxButtonNumber = 128;
constexpr std::size_t kMaxValueLength = 80;
// The game an action names: "elite:LandingGearToggle".
constexpr std::string_view kEliteAction = "elite:";

// Thrown by the parser's callback when a file nests too deep.
struct TTooDeep {};

// Text as the page shows it: the characters HTML gives a meaning written as entities, and a
// line break in a caption as "<br>".
std::u16string HTMLText(std::u16string_view AText, bool ALineBreaks) {
  std::u16string out;
  out.reserve(AText.size());
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const char16_t c = AText[i];
    switch (c) {
      case u'&': out += u"&amp;"; break;
      case u'<': out += u"&lt;"; break;
      case u'>': out += u"&gt;"; break;
      case u'"': out += u"&quot;"; break;
      case u'\r':
      case u'\n':
        if (!ALineBreaks) {
          out += c;
          break;
        }
        if (c == u'\r' && i + 1 < AText.size() && AText[i + 1] == u'\n') ++i;
        out += u"<br>";
        break;
      default: out += c;
    }
  }
  return out;
}

bool IsWordCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool IsWord(const std::string& AText) { return !AText.empty() && std::all_of(AText.begin(), AText.end(), IsWordCharacter); }

// A value as the file shows it, cut short when long.
std::string Shown(const json& AValue) {
  std::string text = AValue.dump(-1, ' ', false, json::error_handler_t::replace);
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

std::string Quoted(const std::string& AText) { return Shown(json(AText)); }

// The key player names a character no key types "Invalid KeyName" in its log; a panel's
// messages use one spelling for both of its complaints about keys.
std::string KeyReport(const std::u16string& AReport) {
  return Utf16ToUtf8(AReport == u"Invalid KeyName" ? std::u16string(u"Invalid Key Name") : AReport);
}

// Why the bytes are not a panel file's text at all, or empty when they may be one: an image or
// an archive is named as such rather than by the JSON reader's complaint about its first byte.
std::string NotText(std::string_view ABytes) {
  if (ABytes.starts_with("\xFF\xFE") || ABytes.starts_with("\xFE\xFF"))
    return "this panel file is UTF-16 text: save it as UTF-8";
  if (ABytes.starts_with("\xEF\xBB\xBF")) ABytes.remove_prefix(3);
  const char* const kNotText = "this is not a panel file (not text)";
  // Control characters other than tab and line breaks appear in no text file.
  for (const char c : ABytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') return kNotText;
  }
  // Nor does text start with a byte that begins no UTF-8 character.
  const std::size_t first = ABytes.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto lead = static_cast<unsigned char>(ABytes[first]);
  if (lead < 0x80) return {};
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  std::u16string decoded;
  if (length == 0 || !TryUtf8ToUtf16(ABytes.substr(first, length), decoded)) return kNotText;
  return {};
}

// Checks a panel and builds its model, noting every problem on the way.
class TPanelReader {
 public:
  explicit TPanelReader(std::u16string_view AName) : FName(AName) {}

  std::vector<TPanelProblem>& Problems() { return FProblems; }

  // A problem at APlace; AWhere names the place in words (empty for the file as a whole).
  void Problem(const TPanelPlace& APlace, const std::string& AWhere, const std::string& AText) {
    std::u16string message(FName);
    message += u": ";
    if (!AWhere.empty()) message += Utf8ToUtf16(AWhere) + u": ";
    message += Utf8ToUtf16(AText);
    FProblems.push_back({std::move(message), APlace});
  }

  TPanel Read(const json& ARoot) {
    TPanel panel{u"Tapdeck", nullptr};
    auto model = std::make_shared<TPageModel>();
    if (!ARoot.is_object()) {
      Problem({}, "", "a panel file holds one object, {\"tapdeckPanel\": 1, ...}");
      return panel;
    }
    for (const auto& [name, value] : ARoot.items())
      if (name != "tapdeckPanel" && name != "title" && name != "above" && name != "below" && name != "tabs")
        Problem({"", -1, -1, -1, name}, "", "unknown member " + Quoted(name));

    const auto format = ARoot.find("tapdeckPanel");
    if (format == ARoot.end())
      Problem({"", -1, -1, -1, "tapdeckPanel"}, "",
              "tapdeckPanel is missing: a panel file starts with \"tapdeckPanel\": " + std::to_string(kPanelFormat));
    else if (!format->is_number_integer() || format->get<std::int64_t>() != kPanelFormat)
      Problem({"", -1, -1, -1, "tapdeckPanel"}, "",
              "tapdeckPanel " + Shown(*format) + ": this program reads panel format " + std::to_string(kPanelFormat));

    if (const auto title = ARoot.find("title"); title != ARoot.end()) {
      if (title->is_string())
        panel.Title = HTMLText(Utf8ToUtf16(title->get<std::string>()), false);
      else
        Problem({"", -1, -1, -1, "title"}, "", "title " + Shown(*title) + ": must be a text");
    }
    ReadRowList(ARoot, "above", "the rows above the tabs", {"above", -1, -1, -1, ""}, model->GenericPartPrefix());
    ReadTabs(ARoot, model->TabInfos());
    ReadRowList(ARoot, "below", "the rows below the tabs", {"below", -1, -1, -1, ""}, model->GenericPartPostfix());
    if (FCells == 0 && FProblems.empty()) Problem({}, "", "the panel has no cell at all");
    panel.Model = std::move(model);
    return panel;
  }

 private:
  // An optional member that must be a list; null when it is absent or not a list.
  const json* ListMember(const json& AObject, const char* AName, const TPanelPlace& APlace, const std::string& AWhere,
                         const char* AOf) {
    const auto it = AObject.find(AName);
    if (it == AObject.end()) return nullptr;
    if (it->is_array()) return &*it;
    TPanelPlace place = APlace;
    place.Member = AName;
    Problem(place, AWhere, std::string(AName) + " " + Shown(*it) + ": must be a list of " + AOf);
    return nullptr;
  }

  void ReadRowList(const json& AObject, const char* AName, const std::string& AWhere, const TPanelPlace& APlace,
                   TButtonRows& ARows) {
    FPart = AName;
    if (const json* rows = ListMember(AObject, AName, {}, "", "rows")) ReadRows(*rows, AWhere, APlace, ARows);
  }

  void ReadRows(const json& ARows, const std::string& AWhere, TPanelPlace APlace, TButtonRows& AInto) {
    for (std::size_t r = 0; r < ARows.size(); ++r) {
      APlace.Row = static_cast<int>(r);
      const std::string where = AWhere + ", row " + std::to_string(r + 1);
      TButtonRow& row = AInto.AddButtonRow();
      if (!ARows[r].is_array()) {
        Problem(APlace, where, Shown(ARows[r]) + ": a row must be a list of cells");
        continue;
      }
      for (std::size_t c = 0; c < ARows[r].size(); ++c) {
        APlace.Cell = static_cast<int>(c);
        ReadCell(ARows[r][c], where + ", cell " + std::to_string(c + 1), APlace, row);
      }
      APlace.Cell = -1;
    }
  }

  void ReadTabs(const json& ARoot, TTabInfos& ATabs) {
    const json* tabs = ListMember(ARoot, "tabs", {}, "", "tabs");
    if (!tabs) return;
    std::set<std::string> ids;
    for (std::size_t t = 0; t < tabs->size(); ++t) {
      const json& tab = (*tabs)[t];
      TPanelPlace place{"tabs", static_cast<int>(t), -1, -1, ""};
      std::string where = "tab " + std::to_string(t + 1);
      if (!tab.is_object()) {
        Problem(place, where, Shown(tab) + ": a tab must be an object with id, text, color and rows");
        continue;
      }
      const auto text = tab.find("text");
      if (text != tab.end() && text->is_string()) where = "tab " + Quoted(text->get<std::string>());
      const auto member = [&](const char* AName) {
        TPanelPlace p = place;
        p.Member = AName;
        return p;
      };
      for (const auto& [name, value] : tab.items())
        if (name != "id" && name != "text" && name != "color" && name != "rows")
          Problem(member(name.c_str()), where, "unknown member " + Quoted(name));

      std::string id;
      const auto idMember = tab.find("id");
      if (idMember == tab.end()) {
        Problem(member("id"), where, "id is missing");
      } else if (!idMember->is_string() || !IsWord(idMember->get<std::string>())) {
        Problem(member("id"), where, "id " + Shown(*idMember) + ": letters, digits, \"-\" and \"_\" only");
      } else {
        id = idMember->get<std::string>();
        if (!ids.insert(id).second) Problem(member("id"), where, "id " + Quoted(id) + ": another tab has this id");
      }
      const std::u16string caption = Caption(tab, member("text"), where);
      const std::u16string color = Color(tab, member("color"), where);
      TTabInfo& info = ATabs.AddTab(Utf8ToUtf16(id), caption, color);
      FPart = id.empty() ? "tab" + std::to_string(t + 1) : id;
      if (const json* rows = ListMember(tab, "rows", place, where, "rows")) ReadRows(*rows, where, place, info.ButtonRows());
    }
  }

  // The required caption of a tab or cell, as the page shows it.
  std::u16string Caption(const json& AObject, const TPanelPlace& APlace, const std::string& AWhere) {
    const auto text = AObject.find("text");
    if (text == AObject.end())
      Problem(APlace, AWhere, "text is missing");
    else if (!text->is_string())
      Problem(APlace, AWhere, "text " + Shown(*text) + ": must be a text");
    else
      return HTMLText(Utf8ToUtf16(text->get<std::string>()), true);
    return {};
  }

  std::u16string Color(const json& AObject, const TPanelPlace& APlace, const std::string& AWhere) {
    const auto color = AObject.find("color");
    if (color == AObject.end()) return u"black";
    if (color->is_string() && IsWord(color->get<std::string>())) return Utf8ToUtf16(color->get<std::string>());
    Problem(APlace, AWhere, "color " + Shown(*color) + ": letters, digits, \"-\" and \"_\" only");
    return u"black";
  }

  void ReadCell(const json& ACell, std::string AWhere, TPanelPlace APlace, TButtonRow& ARow) {
    ++FCells;
    if (!ACell.is_object()) {
      Problem(APlace, AWhere, Shown(ACell) + ": a cell must be an object with text and at most one action");
      return;
    }
    const TMember member = [&](const std::string& AName) {
      TPanelPlace p = APlace;
      p.Member = AName;
      return p;
    };
    const auto text = ACell.find("text");
    if (text != ACell.end() && text->is_string()) AWhere += " (" + Quoted(text->get<std::string>()) + ")";

    static const char* const kActions[] = {"keys", "buttonsDown", "buttonsUp", "buttonsPress", "buttonsHold", "action"};
    static const char* const kOthers[] = {"text", "color", "colspan", "lit", "dim", "value", "toggle"};
    const auto among = [](const auto& AList, const std::string& AName) {
      return std::find_if(std::begin(AList), std::end(AList), [&AName](const char* a) { return AName == a; }) !=
             std::end(AList);
    };
    std::vector<std::string> actions;
    for (const auto& item : ACell.items()) {
      const std::string& name = item.key();
      if (among(kActions, name))
        actions.push_back(name);
      else if (!among(kOthers, name))
        Problem(member(name), AWhere, "unknown member " + Quoted(name));
    }
    // A game action may bring the panel's own keys, for when the game's bindings are in no file:
    // they are no action of their own, and never the one named as too many.
    if (ACell.contains("action")) std::erase(actions, std::string("keys"));

    const std::u16string caption = Caption(ACell, member("text"), AWhere);
    const std::u16string color = Color(ACell, member("color"), AWhere);

    std::int32_t colspan = 1;
    if (const auto span = ACell.find("colspan"); span != ACell.end()) {
      if (span->is_number_integer() && span->get<std::int64_t>() >= 1 && span->get<std::int64_t>() <= kMaxColspan)
        colspan = static_cast<std::int32_t>(span->get<std::int64_t>());
      else
        Problem(member("colspan"), AWhere,
                "colspan " + Shown(*span) + ": must be a whole number from 1 to " + std::to_string(kMaxColspan));
    }

    if (actions.size() > 1) {
      Problem(member(actions[1]), AWhere,
              "two actions, " + actions[0] + " and " + actions[1] + ": a cell has at most one");
      return;
    }
    TCellState state = ReadCellState(ACell, member, AWhere, caption);
    std::unique_ptr<TButtonBase> cell = actions.empty() ? std::make_unique<TButtonTitle>(caption, color, colspan)
                                                        : ReadAction(ACell, actions[0], member, AWhere, caption, color, colspan);
    if (!cell) return;
    cell->SetState(std::move(state));
    ARow.Buttons().Add(std::move(cell));
  }

  // The keys of a cell, checked by playing them where nothing reaches the PC; empty after a
  // problem.
  std::u16string ReadKeys(const json& AValue, const TPanelPlace& APlace, const std::string& AWhere) {
    if (!AValue.is_string() || AValue.get<std::string>().empty()) {
      Problem(APlace, AWhere, "keys " + Shown(AValue) + ": must be a key sequence such as \"l\" or \"{F5}\"");
      return {};
    }
    const std::u16string keys = Utf8ToUtf16(AValue.get<std::string>());
    const std::vector<std::u16string> reports = TKeySequence::Check(keys);
    if (!reports.empty()) {
      Problem(APlace, AWhere, "keys " + Shown(AValue) + ": " + KeyReport(reports.front()));
      return {};
    }
    return keys;
  }

  using TMember = std::function<TPanelPlace(const std::string&)>;

  std::unique_ptr<TButtonBase> ReadAction(const json& ACell, const std::string& AAction, const TMember& AMember,
                                          const std::string& AWhere, const std::u16string& ACaption,
                                          const std::u16string& AColor, std::int32_t AColspan) {
    const json& value = ACell[AAction];
    if (AAction == "keys") {
      const std::u16string keys = ReadKeys(value, AMember(AAction), AWhere);
      if (keys.empty()) return nullptr;
      return std::make_unique<TButtonKeyPress>(HTMLText(keys, false), ACaption, AColor, AColspan);
    }
    if (AAction == "action") {
      const std::string name = value.is_string() ? value.get<std::string>() : std::string();
      if (!IsGameAction(name)) {
        Problem(AMember(AAction), AWhere,
                "action " + Shown(value) + ": must name one of the game's actions, such as \"elite:LandingGearToggle\"");
        return nullptr;
      }
      const std::string action = name.substr(kEliteAction.size());
      const std::shared_ptr<const TBindings> bindings = GetBindings().Current();
      if (const auto found = bindings->Lookup(action); found && found->Reason == TUnboundReason::NotInFile) {
        Problem(AMember(AAction), AWhere,
                "action " + Shown(value) + ": the game's bindings (" + Utf16ToUtf8(bindings->FileName()) +
                    ") have no action " + Quoted(action));
        return nullptr;
      }
      std::u16string fallback;
      if (ACell.contains("keys")) {
        fallback = ReadKeys(ACell["keys"], AMember("keys"), AWhere);
        if (fallback.empty()) return nullptr;
      }
      return std::make_unique<TButtonGameAction>(Utf8ToUtf16(name), HTMLText(fallback, false), ACaption, AColor,
                                                 AColspan);
    }
    std::vector<std::int32_t> ids;
    if (!ReadButtons(value, AMember(AAction), AWhere + ": " + AAction + " " + Shown(value), ids)) return nullptr;
    if (AAction == "buttonsDown") return std::make_unique<TButtonButtonsDown>(std::move(ids), ACaption, AColor, AColspan);
    if (AAction == "buttonsUp") return std::make_unique<TButtonButtonsUp>(std::move(ids), ACaption, AColor, AColspan);
    if (AAction == "buttonsHold") return std::make_unique<TButtonButtonsHold>(std::move(ids), ACaption, AColor, AColspan);
    return std::make_unique<TButtonButtonsPress>(std::move(ids), ACaption, AColor, AColspan);
  }

  static bool IsGameAction(std::string_view AName) {
    if (!AName.starts_with(kEliteAction) || AName.size() == kEliteAction.size() || AName.size() > 120) return false;
    return std::all_of(AName.begin() + static_cast<std::ptrdiff_t>(kEliteAction.size()), AName.end(),
                       [](char c) { return IsWordCharacter(c) && c != '-'; });
  }

  // A state name a cell shows: any name a source can give, but of the game's own names only
  // those its status file has.
  bool KnownStateName(const std::string& AName) const {
    if (!IsStateName(AName)) return false;
    if (!AName.starts_with(kElitePrefix)) return true;
    const auto& names = EliteStateNames();
    return std::any_of(names.begin(), names.end(), [&AName](const TStateName& n) { return n.Name == AName; });
  }

  // "{name}" and "{name:0.0}" in a value text: every name known, every format a number of
  // decimals; false (with a problem) otherwise.
  bool CheckValueText(const std::string& AText, const TPanelPlace& APlace, const std::string& AWhere) {
    const std::string shown = "value " + Quoted(AText) + ": ";
    if (AText.empty() || AText.size() > kMaxValueLength) {
      Problem(APlace, AWhere, shown + "must be a text of 1 to " + std::to_string(kMaxValueLength) + " characters");
      return false;
    }
    for (std::size_t open = AText.find('{'); open != std::string::npos; open = AText.find('{', open + 1)) {
      const std::size_t close = AText.find('}', open);
      if (close == std::string::npos) {
        Problem(APlace, AWhere, shown + "a \"{\" without its \"}\"");
        return false;
      }
      const std::string inside = AText.substr(open + 1, close - open - 1);
      const std::size_t colon = inside.find(':');
      const std::string name = inside.substr(0, colon);
      const std::string format = colon == std::string::npos ? "" : inside.substr(colon + 1);
      if (!KnownStateName(name)) {
        Problem(APlace, AWhere, shown + "no state is called " + Quoted(name));
        return false;
      }
      if (colon != std::string::npos && format != "0" && format != "0.0" && format != "0.00" && format != "0.000") {
        Problem(APlace, AWhere, shown + "format " + Quoted(format) + ": 0, 0.0, 0.00 or 0.000");
        return false;
      }
    }
    return true;
  }

  // The members that show the live state; a toggle cell is lit by its own state unless it
  // names another.
  TCellState ReadCellState(const json& ACell, const TMember& AMember, const std::string& AWhere,
                           const std::u16string& ACaption) {
    TCellState state;
    // One state name, or a list of them of which any one holding is enough ("dimmed while
    // mass-locked or cooling down"); each may be negated with "!".
    for (const auto& [name, into] : {std::pair{"lit", &state.Lit}, std::pair{"dim", &state.Dim}}) {
      const auto it = ACell.find(name);
      if (it == ACell.end()) continue;
      std::vector<json> names;
      if (it->is_array())
        names.assign(it->begin(), it->end());
      else
        names.push_back(*it);
      std::u16string all;
      bool good = !names.empty() && names.size() <= 8;
      for (const json& entry : names) {
        const std::string text = entry.is_string() ? entry.get<std::string>() : std::string();
        const std::string stateName = text.starts_with('!') ? text.substr(1) : text;
        good = good && KnownStateName(stateName);
        all += (all.empty() ? u"" : u" ") + Utf8ToUtf16(text);
      }
      if (good) {
        *into = all;
        continue;
      }
      const bool elite = it->dump().find(kElitePrefix) != std::string::npos;
      Problem(AMember(name), AWhere,
              std::string(name) + " " + Shown(*it) +
                  ": must name a state, or a list of up to 8, such as \"elite.LandingGearDown\" or \"!elite.LightsOn\" (" +
                  (elite ? "the game has no such state" : "letters, digits, \".\", \"_\" and \"-\"") + ")");
    }
    if (const auto it = ACell.find("value"); it != ACell.end()) {
      if (!it->is_string())
        Problem(AMember("value"), AWhere, "value " + Shown(*it) + ": must be a text such as \"Fuel {elite.Fuel.FuelMain:0.0} t\"");
      else if (CheckValueText(it->get<std::string>(), AMember("value"), AWhere))
        state.Value = HTMLText(Utf8ToUtf16(it->get<std::string>()), false);
    }
    if (const auto it = ACell.find("toggle"); it != ACell.end()) {
      if (!it->is_boolean())
        Problem(AMember("toggle"), AWhere, "toggle " + Shown(*it) + ": must be true or false");
      else if (it->get<bool>()) {
        state.Toggle = Utf8ToUtf16(ToggleName(ACaption));
        if (state.Lit.empty()) state.Lit = state.Toggle;
      }
    }
    return state;
  }

  // The state name of a toggle cell: "cell.", the part (a tab's id, "above" or "below"), "."
  // and the caption in letters, digits and "_"; a second cell of the same name gets ".2".
  std::string ToggleName(const std::u16string& ACaption) {
    std::string slug;
    for (const char c : Utf16ToUtf8(ACaption)) {
      if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        slug += c;
      else if (!slug.empty() && slug.back() != '_')
        slug += '_';
      if (slug.size() >= 48) break;
    }
    while (!slug.empty() && slug.back() == '_') slug.pop_back();
    if (slug.empty()) slug = "cell";
    std::string name = "cell." + FPart + "." + slug;
    for (int n = 2; !FToggleNames.insert(name).second; ++n) name = "cell." + FPart + "." + slug + "." + std::to_string(n);
    return name;
  }

  bool ReadButtons(const json& AValue, const TPanelPlace& APlace, const std::string& AWhere,
                   std::vector<std::int32_t>& AIds) {
    const std::string range = std::to_string(kMaxButtonNumber);
    if (!AValue.is_array() || AValue.empty() || AValue.size() > kMaxButtonsPerCell) {
      Problem(APlace, AWhere, "must be a list of 1 to " + std::to_string(kMaxButtonsPerCell) +
                                  " joystick buttons, numbers from 1 to " + range);
      return false;
    }
    for (const json& id : AValue) {
      if (!id.is_number_integer() || id.get<std::int64_t>() < 1 || id.get<std::int64_t>() > kMaxButtonNumber) {
        Problem(APlace, AWhere, "button " + Shown(id) + ": buttons are numbers from 1 to " + range);
        return false;
      }
      const auto number = static_cast<std::int32_t>(id.get<std::int64_t>());
      if (std::find(AIds.begin(), AIds.end(), number) != AIds.end()) {
        Problem(APlace, AWhere, "button " + std::to_string(number) + " is there twice");
        return false;
      }
      AIds.push_back(number);
    }
    return true;
  }

  std::u16string FName;
  std::vector<TPanelProblem> FProblems;
  int FCells = 0;
  std::string FPart;                  // the part being read, for the toggle cells' names
  std::set<std::string> FToggleNames;
};

// Line and column (from 1) of a byte offset, counting characters, not bytes.
std::pair<std::size_t, std::size_t> LineAndColumn(std::string_view ABytes, std::size_t AOffset) {
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < AOffset && i < ABytes.size(); ++i) {
    if (ABytes[i] == '\n') {
      ++line;
      column = 1;
    } else if ((static_cast<unsigned char>(ABytes[i]) & 0xC0) != 0x80) {
      ++column;
    }
  }
  return {line, column};
}

}  // namespace

EPanelError::EPanelError(std::vector<TPanelProblem> AProblems)
    : Exception(AProblems.empty() ? std::u16string(u"The panel was refused") : AProblems.front().Message),
      FProblems(std::move(AProblems)) {}

TPanel ParsePanel(std::string_view ABytes, std::u16string_view AName) {
  TPanelReader reader(AName);
  if (ABytes.size() > kMaxPanelFileSize) {
    reader.Problem({}, "", "the file is larger than " + std::to_string(kMaxPanelFileSize / 1024 / 1024) +
                               " MiB; a panel never needs that much");
    throw EPanelError(std::move(reader.Problems()));
  }
  if (const std::string notText = NotText(ABytes); !notText.empty()) {
    reader.Problem({}, "", notText);
    throw EPanelError(std::move(reader.Problems()));
  }
  json root;
  try {
    root = json::parse(ABytes.begin(), ABytes.end(), [](int ADepth, json::parse_event_t, json&) {
      if (ADepth > kMaxDepth) throw TTooDeep{};
      return true;
    });
  } catch (const json::parse_error& e) {
    // The library's message names the place; ours names it in characters from the start.
    std::string what = e.what();
    if (const std::size_t colon = what.find(": "); colon != std::string::npos) what = what.substr(colon + 2);
    const auto [line, column] = LineAndColumn(ABytes, e.byte > 0 ? e.byte - 1 : 0);
    reader.Problem({}, "line " + std::to_string(line) + ", column " + std::to_string(column), what);
    throw EPanelError(std::move(reader.Problems()));
  } catch (const json::exception& e) {
    // The reader's other refusals (a number too large for any type) name no place.
    std::string what = e.what();
    if (const std::size_t bracket = what.find("] "); bracket != std::string::npos) what = what.substr(bracket + 2);
    reader.Problem({}, "", what);
    throw EPanelError(std::move(reader.Problems()));
  } catch (const TTooDeep&) {
    reader.Problem({}, "", "nested deeper than " + std::to_string(kMaxDepth) + " levels; a panel never needs that");
    throw EPanelError(std::move(reader.Problems()));
  }
  TPanel panel = reader.Read(root);
  if (!reader.Problems().empty()) throw EPanelError(std::move(reader.Problems()));
  return panel;
}

TPanel ReadPanelFile(const std::u16string& AFileName) {
  // Messages name the file with its full path: the user must find the file to put it right.
  const std::u16string& name = AFileName;
  std::string bytes;
  try {
    bytes = ReadFileBytes(AFileName);
  } catch (const Exception& e) {
    throw EPanelError({{e.Message(), {}}});
  }
  return ParsePanel(bytes, name);
}

void UsePanel(TPageInfo& APageInfo, const TPanel& APanel) {
  APageInfo.SetPageTitle(APanel.Title);
  APageInfo.SetModel(APanel.Model);
}

namespace {

// The text a panel file wrote, from the text as the page shows it (HTMLText undone).
std::string PlainText(std::u16string_view AText) {
  static const std::pair<std::u16string_view, char16_t> kEntities[] = {
      {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"<br>", u'\n'}};
  std::u16string out;
  out.reserve(AText.size());
  for (std::size_t i = 0; i < AText.size();) {
    bool replaced = false;
    for (const auto& [entity, c] : kEntities)
      if (AText.substr(i, entity.size()) == entity) {
        out += c;
        i += entity.size();
        replaced = true;
        break;
      }
    if (!replaced) out += AText[i++];
  }
  return Utf16ToUtf8(out);
}

json RowsJson(const TButtonRows& ARows) {
  json rows = json::array();
  for (const auto& row : ARows) {
    json cells = json::array();
    for (const auto& button : row->Buttons()) {
      json cell = json::object();
      cell["text"] = PlainText(button->Text());
      cell["color"] = Utf16ToUtf8(button->Color());
      if (button->Colspan() != 1) cell["colspan"] = button->Colspan();
      if (const auto* key = dynamic_cast<const TButtonKeyPress*>(button.get())) {
        cell["keys"] = PlainText(key->Key());
      } else if (const auto* action = dynamic_cast<const TButtonGameAction*>(button.get())) {
        cell["action"] = PlainText(action->Action());
        if (!action->FallbackKeys().empty()) cell["keys"] = PlainText(action->FallbackKeys());
      } else if (const auto* buttons = dynamic_cast<const TButtonButtons*>(button.get())) {
        const char* kind = dynamic_cast<const TButtonButtonsDown*>(buttons)   ? "buttonsDown"
                           : dynamic_cast<const TButtonButtonsUp*>(buttons)   ? "buttonsUp"
                           : dynamic_cast<const TButtonButtonsHold*>(buttons) ? "buttonsHold"
                                                                             : "buttonsPress";
        cell[kind] = buttons->ButtonsIds();
      }
      const TCellState& state = button->State();
      // A toggle cell's own lighting is implied by the toggle.
      // Several names were a list in the file.
      const auto names = [](const std::u16string& AText) {
        json list = json::array();
        for (std::size_t start = 0; start <= AText.size();) {
          const std::size_t blank = std::min(AText.find(u' ', start), AText.size());
          list.push_back(PlainText(AText.substr(start, blank - start)));
          start = blank + 1;
        }
        return list.size() == 1 ? list[0] : list;
      };
      if (!state.Lit.empty() && state.Lit != state.Toggle) cell["lit"] = names(state.Lit);
      if (!state.Dim.empty()) cell["dim"] = names(state.Dim);
      if (!state.Value.empty()) cell["value"] = PlainText(state.Value);
      if (!state.Toggle.empty()) cell["toggle"] = true;
      cells.push_back(std::move(cell));
    }
    rows.push_back(std::move(cells));
  }
  return rows;
}

}  // namespace

std::string PanelJson(const TPanel& APanel) {
  json root = json::object();
  root["tapdeckPanel"] = kPanelFormat;
  root["title"] = PlainText(APanel.Title);
  const TPageModel empty;
  const TPageModel& model = APanel.Model ? *APanel.Model : empty;
  root["above"] = RowsJson(model.GenericPartPrefix());
  json tabs = json::array();
  for (const auto& tab : model.TabInfos())
    tabs.push_back({{"id", Utf16ToUtf8(tab->Id())},
                    {"text", PlainText(tab->Text())},
                    {"color", Utf16ToUtf8(tab->Color())},
                    {"rows", RowsJson(tab->ButtonRows())}});
  root["tabs"] = std::move(tabs);
  root["below"] = RowsJson(model.GenericPartPostfix());
  return root.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::u16string PlainPanelText(std::u16string_view AText) { return Utf8ToUtf16(PlainText(AText)); }

TPanel BuiltInPanel() {
  auto model = std::make_shared<TPageModel>();
  FillEliteDangerousModel(*model);
  return {kEliteDangerousTitle, std::move(model)};
}

TPanel FindPanel(const std::vector<std::u16string>& ACandidates, std::u16string& AFileName) {
  AFileName.clear();
  for (const std::u16string& candidate : ACandidates) {
    if (candidate.empty() || !FileExists(candidate)) continue;
    TPanel panel = ReadPanelFile(candidate);
    AFileName = candidate;
    return panel;
  }
  return BuiltInPanel();
}
