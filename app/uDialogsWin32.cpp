#include "app/uDialogsWin32.h"

#include <shobjidl.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "app/uWin32Window.h"
#include "base/uErrors.h"

namespace {

// The classes of a dialog template's controls, by their predefined atoms.
constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;
constexpr int kTextId = 100;

// A dialog template in memory: the dialog and its controls, in dialog units, in the system's
// message font (which Windows scales to the owner's DPI).
class TDialogTemplate {
 public:
  TDialogTemplate(const std::u16string& ATitle, short AWidth, short AHeight) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, 96);
    Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
    Dword(0);
    Word(0);  // the number of controls, counted by Add
    Words({0, 0, AWidth, AHeight});
    Words({0, 0});  // no menu; the standard dialog class
    Text(ATitle);
    Word(static_cast<WORD>(::MulDiv(std::abs(metrics.lfMessageFont.lfHeight), 72, 96)));
    Text(FromWide(metrics.lfMessageFont.lfFaceName));
  }

  void Add(WORD AClass, int AId, DWORD AStyle, short ALeft, short ATop, short AWidth, short AHeight,
           const std::u16string& AText = u"") {
    if (FData.size() % 2 != 0) Word(0);  // each control starts on a DWORD boundary
    Dword(WS_CHILD | WS_VISIBLE | AStyle);
    Dword(0);
    Words({ALeft, ATop, AWidth, AHeight});
    Word(static_cast<WORD>(AId));
    Word(0xFFFF);  // a predefined class, by its atom
    Word(AClass);
    Text(AText);
    Word(0);  // no creation data
    ++FData[4];
  }

  // Runs the dialog; its result (IDOK, IDCANCEL).
  INT_PTR Run(HWND AOwner, DLGPROC AProcedure, void* AData) const {
    const INT_PTR result =
        ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(FData.data()),
                                  AOwner, AProcedure, reinterpret_cast<LPARAM>(AData));
    if (result == -1) throw Exception(u"Cannot show a dialog: " + SystemErrorText(::GetLastError()));
    return result;
  }

 private:
  void Word(WORD AValue) { FData.push_back(AValue); }
  void Words(std::initializer_list<short> AValues) {
    for (short value : AValues) Word(static_cast<WORD>(value));
  }
  void Dword(DWORD AValue) {
    Word(LOWORD(AValue));
    Word(HIWORD(AValue));
  }
  void Text(std::u16string_view AText) {
    FData.insert(FData.end(), AText.begin(), AText.end());
    Word(0);
  }

  std::vector<WORD> FData;
};

bool CopyToClipboard(HWND AOwner, const std::u16string& AText) {
  if (!::OpenClipboard(AOwner)) return false;
  ::EmptyClipboard();
  const std::size_t bytes = (AText.size() + 1) * sizeof(char16_t);
  bool copied = false;
  if (const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    std::memcpy(::GlobalLock(memory), AText.c_str(), bytes);
    ::GlobalUnlock(memory);
    copied = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    if (!copied) ::GlobalFree(memory);  // the clipboard took it only when it succeeded
  }
  ::CloseClipboard();
  return copied;
}

// What a text dialog starts with and ends with.
struct TTextDialog {
  std::u16string Text;
  bool Copy = false;  // OK copies the text to the clipboard
};

void CentreOnOwner(HWND ADialog) {
  RECT self{}, owner{};
  ::GetWindowRect(ADialog, &self);
  const HWND ownerWindow = ::GetWindow(ADialog, GW_OWNER);
  if (!ownerWindow || !::GetWindowRect(ownerWindow, &owner)) return;
  MoveOnScreen(ADialog, (owner.left + owner.right - (self.right - self.left)) / 2,
               (owner.top + owner.bottom - (self.bottom - self.top)) / 2);
}

INT_PTR CALLBACK TextDialogProcedure(HWND ADialog, UINT AMessage, WPARAM AWParam, LPARAM ALParam) {
  auto* data = reinterpret_cast<TTextDialog*>(::GetWindowLongPtrW(ADialog, DWLP_USER));
  switch (AMessage) {
    case WM_INITDIALOG: {
      ::SetWindowLongPtrW(ADialog, DWLP_USER, ALParam);
      data = reinterpret_cast<TTextDialog*>(ALParam);
      const HWND edit = ::GetDlgItem(ADialog, kTextId);
      ::SetWindowTextW(edit, ToWide(data->Text).c_str());
      ::SendMessageW(edit, EM_SETSEL, 0, -1);
      ::SetFocus(edit);
      CentreOnOwner(ADialog);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND: {
      const WORD id = LOWORD(AWParam);
      if (id == IDOK) {
        data->Text = WindowText(::GetDlgItem(ADialog, kTextId));
        // The key is shown only now: where the clipboard fails, the dialog stays for Ctrl+C.
        if (data->Copy && !CopyToClipboard(ADialog, data->Text)) {
          ::MessageBeep(MB_ICONWARNING);
          return TRUE;
        }
      }
      if (id == IDOK || id == IDCANCEL) {
        ::EndDialog(ADialog, id);
        return TRUE;
      }
      break;
    }
    default: break;
  }
  return FALSE;
}

struct TRelease {
  void operator()(IUnknown* AObject) const { AObject->Release(); }
};
template <class T>
using TComPointer = std::unique_ptr<T, TRelease>;

// The picker is a COM object in the UI thread's apartment, joined for as long as it is used.
struct TApartment {
  const bool Joined = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
  TApartment() = default;
  TApartment(const TApartment&) = delete;
  TApartment& operator=(const TApartment&) = delete;
  ~TApartment() {
    if (Joined) ::CoUninitialize();
  }
};

}  // namespace

std::optional<std::u16string> AskText(HWND AOwner, const std::u16string& ATitle, const std::u16string& APrompt,
                                      const std::u16string& AText) {
  TDialogTemplate dialog(ATitle, 200, 61);
  dialog.Add(kStatic, -1, SS_LEFT | SS_NOPREFIX, 7, 7, 186, 9, APrompt);
  dialog.Add(kEdit, kTextId, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 7, 18, 186, 13);
  dialog.Add(kButton, IDOK, WS_TABSTOP | BS_DEFPUSHBUTTON, 89, 40, 50, 14, u"OK");
  dialog.Add(kButton, IDCANCEL, WS_TABSTOP | BS_PUSHBUTTON, 143, 40, 50, 14, u"Cancel");
  TTextDialog data{AText};
  if (dialog.Run(AOwner, TextDialogProcedure, &data) != IDOK) return std::nullopt;
  return data.Text;
}

void ShowTextToCopy(HWND AOwner, const std::u16string& ATitle, const std::u16string& AExplanation,
                    const std::u16string& AText) {
  TDialogTemplate dialog(ATitle, 260, 67);
  dialog.Add(kStatic, -1, SS_LEFT | SS_NOPREFIX, 7, 7, 246, 17, AExplanation);
  dialog.Add(kEdit, kTextId, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY, 7, 26, 246, 13);
  dialog.Add(kButton, IDOK, WS_TABSTOP | BS_DEFPUSHBUTTON, 183, 46, 70, 14, u"Copy and close");
  TTextDialog data{AText, true};
  dialog.Run(AOwner, TextDialogProcedure, &data);
}

std::optional<std::u16string> PickFolderDialog(HWND AOwner, const std::u16string& ATitle,
                                               const std::u16string& AStart) {
  const TApartment apartment;
  IFileOpenDialog* created = nullptr;
  HRESULT result = ::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&created));
  if (FAILED(result)) throw Exception(u"Cannot show the folder picker: " + SystemErrorText(static_cast<DWORD>(result)));
  const TComPointer<IFileOpenDialog> dialog(created);
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  dialog->SetTitle(ToWide(ATitle).c_str());
  IShellItem* start = nullptr;
  if (!AStart.empty() &&
      SUCCEEDED(::SHCreateItemFromParsingName(ToWide(AStart).c_str(), nullptr, IID_PPV_ARGS(&start)))) {
    dialog->SetFolder(start);
    start->Release();
  }
  result = dialog->Show(AOwner);
  if (result == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return std::nullopt;
  if (FAILED(result)) throw Exception(u"The folder picker failed: " + SystemErrorText(static_cast<DWORD>(result)));
  IShellItem* picked = nullptr;
  if (FAILED(dialog->GetResult(&picked))) return std::nullopt;
  const TComPointer<IShellItem> item(picked);
  PWSTR path = nullptr;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) return std::nullopt;
  std::u16string folder = FromWide(path);
  ::CoTaskMemFree(path);
  return folder;
}
