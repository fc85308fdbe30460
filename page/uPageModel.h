#pragma once
// The page model: the tabs and the two groups of rows shown on every tab, and the button
// panel they render. A model is filled once; the page object then shares it as a snapshot
// that is never changed again, so a page being rendered always shows one whole panel.

#include <string>
#include <vector>

#include "page/uPageElements.h"

class TPageModel {
 public:
  TPageModel() = default;
  TPageModel(const TPageModel&) = delete;
  TPageModel& operator=(const TPageModel&) = delete;

  // The tabs, left to right.
  TTabInfos& TabInfos() { return FTabInfos; }
  const TTabInfos& TabInfos() const { return FTabInfos; }
  // Rows shown below the tabs' tables, on every tab.
  TButtonRows& GenericPartPostfix() { return FGenericPartPostfix; }
  const TButtonRows& GenericPartPostfix() const { return FGenericPartPostfix; }
  // Rows shown between the tab bar and the tabs' tables, on every tab.
  TButtonRows& GenericPartPrefix() { return FGenericPartPrefix; }
  const TButtonRows& GenericPartPrefix() const { return FGenericPartPrefix; }

  // The button panel: tab bar, prefix rows, every tab's table (only the first visible),
  // postfix rows.
  std::u16string GetHTML() const;

  // Every game action the cells name ("elite:LandingGearToggle"), each once, in order.
  std::vector<std::u16string> GameActions() const;

 private:
  std::u16string GetTabsHTML() const;
  std::u16string GetGenericPartPrefixHTML() const;
  std::u16string GetTabInfosHTML() const;
  std::u16string GetGenericPartPostfixHTML() const;

  // Declared in construction order; destroyed in reverse.
  TTabInfos FTabInfos;
  TButtonRows FGenericPartPostfix;
  TButtonRows FGenericPartPrefix;
};
