#pragma once
// Panel files: a page model of the user's own, written as JSON. Reading one checks all of it
// first, so a panel is either used whole or not at all, and every problem is named by its
// place in words ("tab "Flight", row 2, cell 3 ("Engine Boost")") and for the editor.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/uErrors.h"
#include "page/uPageModel.h"

// The format version this program reads.
inline constexpr int kPanelFormat = 1;

// Where in a panel a problem is. Positions count from 0; -1 where they do not apply.
struct TPanelPlace {
  std::string Part;  // "" (the file as a whole), "above", "below" or "tabs"
  int Tab = -1;
  int Row = -1;
  int Cell = -1;
  std::string Member;  // the member at fault, when there is one
  bool operator==(const TPanelPlace&) const = default;
};

struct TPanelProblem {
  std::u16string Message;  // the whole message, starting with the file's name
  TPanelPlace Place;
};

// A panel that passed every check: the page title and the model, ready to be put in use.
struct TPanel {
  std::u16string Title;
  std::shared_ptr<const TPageModel> Model;
};

// A panel that was refused; the message is its first problem's.
class EPanelError : public Exception {
 public:
  explicit EPanelError(std::vector<TPanelProblem> AProblems);
  const std::vector<TPanelProblem>& Problems() const { return FProblems; }

 private:
  std::vector<TPanelProblem> FProblems;
};

// Panel files larger than this are refused unread.
inline constexpr std::size_t kMaxPanelFileSize = 1024 * 1024;

// Checks and builds a panel from a file's bytes; AName is the name messages give the file.
// Raises EPanelError naming every problem found.
TPanel ParsePanel(std::string_view ABytes, std::u16string_view AName);
// Reads the file and parses it; a file that cannot be read raises EPanelError as well.
TPanel ReadPanelFile(const std::u16string& AFileName);

// A panel written as a panel file (UTF-8 JSON, two-space indent): parsing it gives the same
// panel back.
std::string PanelJson(const TPanel& APanel);

// A text as the panel file wrote it, from the text as the page shows it (HTML's entities and
// "<br>" undone): what the window shows of a panel's title.
std::u16string PlainPanelText(std::u16string_view AText);

// The built-in page as a panel.
TPanel BuiltInPanel();
// The panel of the first of ACandidates that exists, or the built-in page when none does;
// AFileName gets the file used (empty for the built-in page). Raises EPanelError when that
// file is refused: the next candidate is never taken instead of a broken file.
TPanel FindPanel(const std::vector<std::u16string>& ACandidates, std::u16string& AFileName);

class TPageInfo;
// Puts a panel in use: its title becomes the page title, its model the page model.
void UsePanel(TPageInfo& APageInfo, const TPanel& APanel);
