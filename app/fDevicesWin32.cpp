#include "app/fDevicesWin32.h"

#include <commctrl.h>

#include <algorithm>

#include "app/uDialogsWin32.h"

namespace {

enum : int { kRename = 101, kForget, kForgetAll, kScriptKey };

// The buttons under the list, left to right, with their widths at 96 DPI.
const struct {
  int Id;
  const char16_t* Text;
  int Width;
} kButtons[] = {
    {kRename, u"Rename\u2026", 80},
    {kForget, u"Forget", 80},
    {kForgetAll, u"Forget all", 80},
    {kScriptKey, u"Key for a script\u2026", 120},
};

// The list's columns, with their widths at 96 DPI.
const struct {
  const wchar_t* Title;
  int Width;
} kColumns[] = {{L"Name", 180}, {L"Kind", 80}, {L"Last seen", 116}};

constexpr int kListWidth = 400, kListHeight = 180;

}  // namespace

TfrmDevicesWin32::TfrmDevicesWin32(HWND AOwner, TfrmMain& AForm) : FForm(AForm) {
  Create(L"TapdeckDevices", AOwner, u"Devices that may press keys", WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU);
  FList =
      AddControl(WC_LISTVIEWW, u"", WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE, 100);
  ::SendMessageW(FList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  for (const auto& column : kColumns) {
    LVCOLUMNW item{};
    item.mask = LVCF_TEXT | LVCF_WIDTH;
    item.pszText = const_cast<wchar_t*>(column.Title);
    item.cx = Scale(column.Width);
    ::SendMessageW(FList, LVM_INSERTCOLUMNW, static_cast<WPARAM>(&column - kColumns), reinterpret_cast<LPARAM>(&item));
  }
  for (const auto& button : kButtons)
    FButtons.push_back(AddControl(L"BUTTON", button.Text, WS_TABSTOP | BS_PUSHBUTTON, 0, button.Id));
  Layout();
}

TfrmDevicesWin32::~TfrmDevicesWin32() { Destroy(); }

void TfrmDevicesWin32::Layout() {
  const int margin = Scale(12), gap = Scale(8);
  ::SendMessageW(FList, WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
  ::SetWindowPos(FList, nullptr, margin, margin, Scale(kListWidth), Scale(kListHeight), SWP_NOZORDER | SWP_NOACTIVATE);
  for (const auto& column : kColumns)
    ::SendMessageW(FList, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(&column - kColumns), Scale(column.Width));
  // The last column takes the rest of the list's width.
  ::SendMessageW(FList, LVM_SETCOLUMNWIDTH, std::size(kColumns) - 1, LVSCW_AUTOSIZE_USEHEADER);
  const int top = margin + Scale(kListHeight) + gap;
  int left = margin;
  for (std::size_t i = 0; i < FButtons.size(); ++i) {
    ::SendMessageW(FButtons[i], WM_SETFONT, reinterpret_cast<WPARAM>(Font()), FALSE);
    ::SetWindowPos(FButtons[i], nullptr, left, top, Scale(kButtons[i].Width), Scale(25), SWP_NOZORDER | SWP_NOACTIVATE);
    left += Scale(kButtons[i].Width) + gap;
  }
  SetClientSize(Scale(kListWidth) + 2 * margin, top + Scale(25) + margin);
}

void TfrmDevicesWin32::SetRows(const std::vector<TDeviceRow>& ARows) {
  const std::string selected = SelectedDevice();
  FRows = ARows;
  ::SendMessageW(FList, WM_SETREDRAW, FALSE, 0);
  ::SendMessageW(FList, LVM_DELETEALLITEMS, 0, 0);
  for (std::size_t i = 0; i < FRows.size(); ++i) {
    const TDeviceRow& row = FRows[i];
    std::wstring texts[] = {ToWide(row.Name), ToWide(row.Kind), ToWide(row.LastSeen)};
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = texts[0].data();
    ::SendMessageW(FList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    for (int column = 1; column < 3; ++column) {
      item.iSubItem = column;
      item.pszText = texts[column].data();
      ::SendMessageW(FList, LVM_SETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
    }
    if (row.Id == selected) {
      item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
      ::SendMessageW(FList, LVM_SETITEMSTATE, i, reinterpret_cast<LPARAM>(&item));
    }
  }
  ::SendMessageW(FList, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(FList, nullptr, TRUE);
}

void TfrmDevicesWin32::Show() {
  const bool shown = Visible();
  ShowBesideOwner();
  if (!shown) ::SetFocus(FList);
}

std::string TfrmDevicesWin32::SelectedDevice() const {
  const auto row = ::SendMessageW(FList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
  return row >= 0 && static_cast<std::size_t>(row) < FRows.size() ? FRows[static_cast<std::size_t>(row)].Id : "";
}

void TfrmDevicesWin32::Rename() {
  const std::string id = SelectedDevice();
  const auto row = std::find_if(FRows.begin(), FRows.end(), [&id](const TDeviceRow& r) { return r.Id == id; });
  if (row == FRows.end()) return;
  if (const auto name = AskText(Window(), u"Rename", u"Name:", row->Name)) FForm.RenameDevice(id, *name);
}

void TfrmDevicesWin32::ForgetAll() {
  if (::MessageBoxW(Window(), L"Forget every paired phone and script key?", L"Forget all",
                    MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES)
    FForm.ForgetAllDevices();
}

void TfrmDevicesWin32::AddScriptKey() {
  if (const auto name = AskText(Window(), u"Key for a script", u"Name of the script:", u"")) FForm.NewScriptKey(*name);
}

LRESULT TfrmDevicesWin32::Handle(UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
  switch (AMessage) {
    case WM_COMMAND:
      switch (LOWORD(AWParam)) {
        case kRename: FForm.HandleToolkitEvent([this] { Rename(); }); break;
        case kForget:
          FForm.HandleToolkitEvent([this] {
            if (const std::string id = SelectedDevice(); !id.empty()) FForm.ForgetDevice(id);
          });
          break;
        case kForgetAll: FForm.HandleToolkitEvent([this] { ForgetAll(); }); break;
        case kScriptKey: FForm.HandleToolkitEvent([this] { AddScriptKey(); }); break;
        case IDCANCEL: ::ShowWindow(Window(), SW_HIDE); break;  // Escape
        default: break;
      }
      return 0;
    case WM_CLOSE: ::ShowWindow(Window(), SW_HIDE); return 0;
    default: return TWin32Window::Handle(AMessage, AWParam, ALParam);
  }
}
