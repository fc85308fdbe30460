#pragma once
// The main window on Qt 6 Widgets: a thin view over TfrmMain. It builds the controls at
// their fixed places, forwards every event to the controller and otherwise only stores
// texts and enabled states.

#include <QWidget>
#include <array>
#include <memory>

#include "app/fMain.h"

class QDialog;
class QLabel;
class QLineEdit;
class QTableWidget;
class QTimer;

class TfrmMainQt : public QWidget, public IMainView {
 public:
  // Creates the controls and the controller, then runs FormCreate (an error there is shown
  // in the error box; the window is still created). Not shown yet.
  explicit TfrmMainQt(TfrmMainPlatform APlatform = {});
  // Destroys the controller first: FormDestroy, then the service stops and waits for its
  // connections, while the controls still exist.
  ~TfrmMainQt() override;

  TfrmMain& Form() { return *FForm; }
  // Places the window, with its frame, in the middle of its screen's free area. Done by the
  // window itself when it is first shown.
  void CenterOnScreen();

  std::u16string Text(TMainControl AControl) const override;
  void SetText(TMainControl AControl, const std::u16string& AText) override;
  void SetEnabled(TMainControl AControl, bool AEnabled) override;
  void ShowErrorBox(const std::u16string& AMessage, const std::u16string& ATitle) override;
  void ShellOpen(const std::u16string& AUrl) override;
  void SetHint(TMainControl AControl, const std::u16string& AText) override;
  bool Checked(TMainControl AControl) const override;
  void SetChecked(TMainControl AControl, bool AChecked) override;
  void SetWarning(TMainControl AControl, bool AWarning) override;
  void ShowPairingCard(const TPairingCardView& ACard) override;
  void HidePairingCard() override;
  void ShowDevices(const std::vector<TDeviceRow>& ARows, bool AOpen) override;
  void ShowScriptKey(const std::u16string& AName, const std::u16string& AKey) override;
  std::optional<std::u16string> PickFolder(const std::u16string& ATitle, const std::u16string& AStart) override;

  static constexpr int kHeight = kMainWindowHeight;

 protected:
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

 private:
  QWidget* Control(TMainControl AControl) const;
  QLabel* AddLabel(const char* AName, const char* AText, int ALeft, int ATop);
  QLineEdit* AddEdit(const char* AName, int ALeft, int ATop, int AWidth, int AHeight);
  void StepDeviceId(int ADelta);
  void LeaveDeviceId();

  void BuildPairingCard();
  void BuildDevices();
  // The id of the device list's selected row; empty when none is selected.
  std::string SelectedDevice() const;

  std::array<QWidget*, static_cast<std::size_t>(TMainControl::lblBindings) + 1> FControls{};
  std::unique_ptr<TfrmMain> FForm;
  QDialog* FCard = nullptr;
  QWidget* FCardCode = nullptr;  // draws the QR code
  QLabel* FCardDigits = nullptr;
  QLabel* FCardNote = nullptr;
  QDialog* FDevices = nullptr;
  QTableWidget* FDeviceTable = nullptr;
  std::vector<TDeviceRow> FDeviceRows;
  // Wakes the event loop now and then, so the idle refresh sees a pairing end without input.
  QTimer* FRefresh = nullptr;
  QMetaObject::Connection FIdleHook;
  bool FCentred = false;
};
