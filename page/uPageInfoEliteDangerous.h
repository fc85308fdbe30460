#pragma once
// The built-in page: a control panel for the game Elite Dangerous.

class TPageInfo;

// Fills a freshly constructed page object with the title, the row of general controls shown
// on every tab, and the tabs "flight", "landing" (thrusters) and "ui" (interface panels).
void FillEliteDangerousPage(TPageInfo& APageInfo);
