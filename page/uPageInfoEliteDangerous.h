#pragma once
// The built-in page: a control panel for the game Elite Dangerous.

class TPageInfo;
class TPageModel;

inline constexpr const char16_t* kEliteDangerousTitle = u"Elite Dangerous Tapdeck";

// Fills an empty model with the row of general controls shown on every tab, and the tabs
// "flight", "landing" (thrusters) and "ui" (interface panels).
void FillEliteDangerousModel(TPageModel& AModel);
// Sets the built-in page's title and model on the page object.
void FillEliteDangerousPage(TPageInfo& APageInfo);
