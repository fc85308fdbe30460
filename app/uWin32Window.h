#pragma once
// What the program's own Win32 windows share: a window class whose procedure hands every
// message to the C++ object, sizes scaled to the DPI of the window's monitor, and the
// system's message font (plain and bold) at that DPI, made again when the DPI changes.

#include <cstdint>
#include <string>

#include "base/uSystem_win32.h"

// The window's text (a control's, a caption).
std::u16string WindowText(HWND AWindow);
// Moves a top-level window to ALeft, ATop, or as near as its monitor's work area allows.
void MoveOnScreen(HWND AWindow, int ALeft, int ATop);

class TWin32Window {
 public:
  TWin32Window(const TWin32Window&) = delete;
  TWin32Window& operator=(const TWin32Window&) = delete;

  // Null before Create and once the window is destroyed.
  HWND Window() const { return FWindow; }
  bool Visible() const { return FWindow && ::IsWindowVisible(FWindow); }

 protected:
  TWin32Window() = default;
  // Destroys the window if it still exists. A class that handles WM_DESTROY destroys it in
  // its own destructor, while its own part still answers.
  virtual ~TWin32Window();

  // Creates the window, hidden, with the class AClass (registered on first use), owned by
  // AOwner (null: a window of its own). Its size and place come later.
  void Create(const wchar_t* AClass, HWND AOwner, const std::u16string& ATitle, DWORD AStyle);
  void Destroy();
  // Every message of the window; the default is Windows' own handling.
  virtual LRESULT Handle(UINT AMessage, WPARAM AWParam, LPARAM ALParam);
  // Sizes and places the controls for the current DPI and fonts; run again when the DPI changes.
  virtual void Layout() = 0;

  // Pixels at 96 DPI, in pixels of the window's DPI.
  int Scale(int APixels) const { return ::MulDiv(APixels, static_cast<int>(FDpi), 96); }
  UINT Dpi() const { return FDpi; }
  HFONT Font(bool ABold = false) const { return ABold ? FBoldFont : FFont; }
  // A child control with the window's plain font; AId is its command id.
  HWND AddControl(const wchar_t* AClass, const std::u16string& AText, DWORD AStyle, DWORD AExStyle, int AId);
  // The client area's size, in pixels of the window's DPI; the window keeps its place.
  void SetClientSize(int AWidth, int AHeight);
  // Shows and activates the window: a hidden one beside its owner (to the right where the
  // owner's monitor has room, else to the left, never off that monitor's work area); a shown
  // one where it is.
  void ShowBesideOwner();

 private:
  static LRESULT CALLBACK Procedure(HWND AWindow, UINT AMessage, WPARAM AWParam, LPARAM ALParam);
  // The fonts for the current DPI; the old ones are deleted once Layout (when asked for) has
  // handed the new ones to the controls.
  void MakeFonts(bool ALayout);

  HWND FWindow = nullptr;
  UINT FDpi = 96;
  HFONT FFont = nullptr;
  HFONT FBoldFont = nullptr;
};
