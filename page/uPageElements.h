#pragma once
// The elements of the control page: cells, rows and tabs, with the HTML each one renders.
//
// Rendered markup is built by filling fixed templates; nothing is escaped, so a value holding
// quotes or angle brackets goes into the page as it is. Elements are read-only once built and
// may be rendered by several threads at once.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/uErrors.h"
#include "page/uOwningList.h"

// Rendering an element that has no such rendering (a tab without its hidden flag).
class EAbstractError : public Exception {
  using Exception::Exception;
};

// Markup line break.
inline constexpr std::u16string_view kCrLf = u"\r\n";

// AOpen, one line per entry, AClose, every line followed by CR LF; empty text for no entries.
template <typename TList, typename TRender>
std::u16string LinesAround(std::u16string_view AOpen, const TList& AList, TRender ARender,
                           std::u16string_view AClose) {
  if (AList.Count() == 0) return {};
  std::u16string result(AOpen);
  result += kCrLf;
  for (const auto& entry : AList) {
    result += ARender(entry);
    result += kCrLf;
  }
  result += AClose;
  result += kCrLf;
  return result;
}

// What every visible element has: a caption and a colour word (the CSS class
// "background-" followed by the word).
class TPageItem {
 public:
  TPageItem(std::u16string AText, std::u16string AColor);
  virtual ~TPageItem() = default;
  TPageItem(const TPageItem&) = delete;
  TPageItem& operator=(const TPageItem&) = delete;

  const std::u16string& Text() const { return FText; }
  void SetText(std::u16string value) { FText = std::move(value); }
  const std::u16string& Color() const { return FColor; }
  void SetColor(std::u16string value) { FColor = std::move(value); }

  virtual std::u16string AsHTML() const = 0;

 private:
  std::u16string FText;
  std::u16string FColor;
};

// What a cell shows of the live state, as a panel file gives it (every text as the page
// shows it); all empty for a cell that shows none, which then renders as it always has.
struct TCellState {
  // State names ("name" or "!name"), separated by blanks: drawn lit while any one holds.
  std::u16string Lit;
  std::u16string Dim;     // the same: drawn dimmed while any one holds
  std::u16string Value;   // a text under the caption with "{name}" or "{name:0.0}" filled in
  std::u16string Toggle;  // the state name of a cell that keeps its own on/off state
  bool Empty() const { return Lit.empty() && Dim.empty() && Value.empty() && Toggle.empty(); }
  bool operator==(const TCellState&) const = default;
};

// One cell of a button row.
class TButtonBase : public TPageItem {
 public:
  TButtonBase(std::u16string AText, std::u16string AColor, std::int32_t AColspan);

  std::int32_t Colspan() const { return FColspan; }
  void SetColspan(std::int32_t value) { FColspan = value; }
  const TCellState& State() const { return FState; }
  void SetState(TCellState value) { FState = std::move(value); }

 protected:
  // The attributes of the live state (lit, dim, value, toggle), each with a leading blank;
  // empty for a cell that shows none.
  std::u16string StateAttributes() const;

 private:
  std::int32_t FColspan;
  TCellState FState;
};

// A cell that sends a key sequence.
class TButtonKeyPress : public TButtonBase {
 public:
  TButtonKeyPress(std::u16string AKey, std::u16string AText, std::u16string AColor, std::int32_t AColspan);

  const std::u16string& Key() const { return FKey; }
  void SetKey(std::u16string value) { FKey = std::move(value); }

  std::u16string AsHTML() const override;

 private:
  std::u16string FKey;
};

// A caption cell without action.
class TButtonTitle : public TButtonBase {
 public:
  using TButtonBase::TButtonBase;
  std::u16string AsHTML() const override;
};

// A cell that acts on virtual-joystick buttons; the subclasses name the action.
class TButtonButtons : public TButtonBase {
 public:
  TButtonButtons(std::vector<std::int32_t> AButtonIds, std::u16string AText, std::u16string AColor,
                 std::int32_t AColspan);

  // In the order given, a repeated id stored again.
  const std::vector<std::int32_t>& ButtonsIds() const { return FButtonsIds; }
  // Every id preceded by a comma: ids 1 and 5 give ",1,5", no ids give empty text.
  std::u16string ButtonsIdsAsString() const;

  std::u16string AsHTML() const override;

 protected:
  virtual std::u16string GetAction() const = 0;

 private:
  std::vector<std::int32_t> FButtonsIds;
};

// Presses the buttons and keeps them pressed.
class TButtonButtonsDown : public TButtonButtons {
 public:
  using TButtonButtons::TButtonButtons;

 protected:
  std::u16string GetAction() const override;
};

// Releases the buttons.
class TButtonButtonsUp : public TButtonButtons {
 public:
  using TButtonButtons::TButtonButtons;

 protected:
  std::u16string GetAction() const override;
};

// Presses and releases the buttons.
class TButtonButtonsPress : public TButtonButtons {
 public:
  using TButtonButtons::TButtonButtons;

 protected:
  std::u16string GetAction() const override;
};

// Presses the buttons while the finger is on the cell, and releases them when it lifts.
class TButtonButtonsHold : public TButtonButtons {
 public:
  using TButtonButtons::TButtonButtons;

 protected:
  std::u16string GetAction() const override;
};

// A cell that names one of the game's actions ("elite:LandingGearToggle"): it plays whatever
// the player bound to it, held as long as the finger; AFallbackKeys (may be empty) are the
// panel's own keys for when the game's bindings are not in a file.
class TButtonGameAction : public TButtonBase {
 public:
  TButtonGameAction(std::u16string AAction, std::u16string AFallbackKeys, std::u16string AText,
                    std::u16string AColor, std::int32_t AColspan);

  const std::u16string& Action() const { return FAction; }
  const std::u16string& FallbackKeys() const { return FFallbackKeys; }

  std::u16string AsHTML() const override;

 private:
  std::u16string FAction;
  std::u16string FFallbackKeys;
};

// The cells of a row, left to right.
using TButtons = TOwningList<TButtonBase>;

// One table row.
class TButtonRow {
 public:
  TButtonRow() = default;
  TButtonRow(const TButtonRow&) = delete;
  TButtonRow& operator=(const TButtonRow&) = delete;

  TButtons& Buttons() { return FButtons; }
  const TButtons& Buttons() const { return FButtons; }

  // "<tr>", every cell on a line of its own, "</tr>"; empty text for a row without cells.
  std::u16string AsHTML() const;

 private:
  TButtons FButtons;
};

// Table rows, top to bottom.
class TButtonRows : public TOwningList<TButtonRow> {
 public:
  // A new empty row at the end; the list keeps it, the caller fills its cells.
  TButtonRow& AddButtonRow();
  // Every row followed by CR LF.
  std::u16string AsHTML() const;
};

// One tab: its cell in the tab bar and the table of rows it shows.
class TTabInfo : public TPageItem {
 public:
  TTabInfo(std::u16string AId, std::u16string AText, std::u16string AColor);

  const std::u16string& Command() const { return FCommand; }
  void SetCommand(std::u16string value) { FCommand = std::move(value); }
  const std::u16string& OnClick() const { return FOnClick; }
  void SetOnClick(std::u16string value) { FOnClick = std::move(value); }
  const std::u16string& Id() const { return FId; }
  void SetId(std::u16string value) { FId = std::move(value); }
  TButtonRows& ButtonRows() { return FButtonRows; }
  const TButtonRows& ButtonRows() const { return FButtonRows; }

  // A tab has no rendering without its hidden flag: raises EAbstractError.
  std::u16string AsHTML() const override;
  // The tab's table; a hidden one carries class="hidden".
  virtual std::u16string AsHTML(bool AHidden) const;
  // The tab's cell in the tab bar, without a line break.
  std::u16string AsTabsHTML() const;

 private:
  std::u16string FCommand;
  std::u16string FOnClick;
  std::u16string FId;
  TButtonRows FButtonRows;
};

// The tabs, left to right.
class TTabInfos : public TOwningList<TTabInfo> {
 public:
  TTabInfo& AddTab(std::u16string AId, std::u16string AText, std::u16string AColor);
};
