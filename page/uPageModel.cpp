#include "page/uPageModel.h"

#include <algorithm>

namespace {

// The table that holds the rows shown on every tab; empty text without rows.
std::u16string GenericPartHTML(const TButtonRows& ARows) {
  if (ARows.Count() == 0) return {};
  std::u16string result = u"<table>";
  result += kCrLf;
  result += ARows.AsHTML();
  result += kCrLf;
  result += u"</table>";
  result += kCrLf;
  return result;
}

}  // namespace

std::u16string TPageModel::GetHTML() const {
  std::u16string result = GetTabsHTML();
  result += GetGenericPartPrefixHTML();
  result += GetTabInfosHTML();
  result += GetGenericPartPostfixHTML();
  return result;
}

// All tab cells stand in one table row.
std::u16string TPageModel::GetTabsHTML() const {
  return LinesAround(u"<table><tr>", FTabInfos, [](const auto& tab) { return tab->AsTabsHTML(); },
                     u"</tr></table>");
}

std::u16string TPageModel::GetGenericPartPrefixHTML() const { return GenericPartHTML(FGenericPartPrefix); }

std::u16string TPageModel::GetGenericPartPostfixHTML() const { return GenericPartHTML(FGenericPartPostfix); }

std::u16string TPageModel::GetTabInfosHTML() const {
  std::u16string result;
  bool first = true;
  for (const auto& tab : FTabInfos) {
    result += tab->AsHTML(!first);
    result += kCrLf;
    first = false;
  }
  return result;
}

std::vector<std::u16string> TPageModel::GameActions() const {
  std::vector<std::u16string> actions;
  const auto collect = [&actions](const TButtonRows& ARows) {
    for (const auto& row : ARows)
      for (const auto& cell : row->Buttons())
        if (const auto* action = dynamic_cast<const TButtonGameAction*>(cell.get()))
          if (std::find(actions.begin(), actions.end(), action->Action()) == actions.end())
            actions.push_back(action->Action());
  };
  collect(FGenericPartPrefix);
  for (const auto& tab : FTabInfos) collect(tab->ButtonRows());
  collect(FGenericPartPostfix);
  return actions;
}
