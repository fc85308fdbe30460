#include "app/fMainQt.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QPainter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QDesktopServices>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolButton>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <functional>

#include "app/uQRCode.h"

namespace {

QString ToQString(const std::u16string& text) { return QString::fromStdU16String(text); }

// The device-number field: a one-line field with up and down arrow buttons inside its right
// edge. What the keys, the arrows and leaving the field do is decided by the window (and
// the rules it shares with the controller); this class only reports them.
class TSpinLineEdit : public QLineEdit {
 public:
  std::function<void(int)> OnStep;
  std::function<void()> OnExit;

  explicit TSpinLineEdit(QWidget* AParent) : QLineEdit(AParent) {
    FUp = AddArrow(Qt::UpArrow, +1);
    FDown = AddArrow(Qt::DownArrow, -1);
  }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QLineEdit::resizeEvent(e);
    const int w = 16, h = height() / 2;
    FUp->setGeometry(width() - w - 1, 1, w, h - 1);
    FDown->setGeometry(width() - w - 1, h, w, height() - h - 1);
    setTextMargins(0, 0, w, 0);
  }

  void keyPressEvent(QKeyEvent* e) override {
    switch (e->key()) {
      case Qt::Key_Up:
        if (OnStep) OnStep(+1);
        return;
      case Qt::Key_Down:
        if (OnStep) OnStep(-1);
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter: return QApplication::beep();
      // Keys that edit or move the caret rather than type: the filter below is for typed
      // characters, and X11 hands Delete over with the DEL character.
      case Qt::Key_Delete:
      case Qt::Key_Backspace:
      case Qt::Key_Left:
      case Qt::Key_Right:
      case Qt::Key_Home:
      case Qt::Key_End:
      case Qt::Key_Insert: return QLineEdit::keyPressEvent(e);
      default: break;
    }
    const QString text = e->text();
    const char16_t separator = QLocale().decimalPoint().front().unicode();
    if (!text.isEmpty() && !TSpinEditRules::AcceptsChar(text.front().unicode(), separator))
      return QApplication::beep();
    QLineEdit::keyPressEvent(e);
  }

  void focusOutEvent(QFocusEvent* e) override {
    QLineEdit::focusOutEvent(e);
    if (OnExit) OnExit();
  }

 private:
  QToolButton* AddArrow(Qt::ArrowType AArrow, int ADelta) {
    auto* button = new QToolButton(this);
    button->setArrowType(AArrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCursor(Qt::ArrowCursor);
    button->setObjectName(AArrow == Qt::UpArrow ? "edtvJoyDeviceIdUp" : "edtvJoyDeviceIdDown");
    connect(button, &QToolButton::clicked, this, [this, ADelta] {
      if (OnStep) OnStep(ADelta);
    });
    return button;
  }

  QToolButton* FUp;
  QToolButton* FDown;
};

std::size_t Index(TMainControl c) { return static_cast<std::size_t>(c); }

// The pairing card's QR code: black modules on white with the quiet zone around them, as
// large as the widget allows in whole pixels per module.
class TQRWidget : public QWidget {
 public:
  explicit TQRWidget(QWidget* AParent) : QWidget(AParent) { setMinimumSize(232, 232); }
  void SetCode(std::vector<bool> AModules, int ASize) {
    FModules = std::move(AModules);
    FSize = ASize;
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (FSize <= 0) return;
    const int total = FSize + 2 * TQRCode::kQuietZone;
    const int unit = std::max(1, std::min(width(), height()) / total);
    const int left = (width() - unit * total) / 2 + unit * TQRCode::kQuietZone;
    const int top = (height() - unit * total) / 2 + unit * TQRCode::kQuietZone;
    for (int row = 0; row < FSize; ++row)
      for (int column = 0; column < FSize; ++column)
        if (FModules[static_cast<std::size_t>(row * FSize + column)])
          painter.fillRect(left + column * unit, top + row * unit, unit, unit, Qt::black);
  }

 private:
  std::vector<bool> FModules;
  int FSize = 0;
};

}  // namespace

TfrmMainQt::TfrmMainQt(TfrmMainPlatform APlatform) {
  setObjectName("frmMain");
  setWindowTitle("Tapdeck");
  // The program's icon, built into the program (app/icons, listed in app/app.cmake).
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addFile(QString(":/icons/tapdeck-%1.png").arg(size));
  setWindowIcon(icon);
  setFixedSize(322, kHeight);
  // The sizes and places of the controls are made for a small font (as the platform's
  // default dialog font is on Windows); larger ones would run past the window's edge.
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);

  // Created in the order of keyboard focus.
  QLineEdit* port = AddEdit("EditPort", 136, 8, 121, 21);
  port->setText("8080");
  auto* device = new TSpinLineEdit(this);
  device->setObjectName("edtvJoyDeviceId");
  device->setGeometry(136, 35, 121, 22);
  device->setText("1");
  device->OnStep = [this](int delta) { StepDeviceId(delta); };
  device->OnExit = [this] { LeaveDeviceId(); };
  FControls[Index(TMainControl::edtvJoyDeviceId)] = device;

  auto addButton = [this](TMainControl c, const char* name, const char* text, int left, int top, int width) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    button->setGeometry(left, top, width, 25);
    button->setAutoDefault(false);
    FControls[Index(c)] = button;
    return button;
  };
  QPushButton* start = addButton(TMainControl::ButtonStart, "ButtonStart", "Start", 24, 92, 75);
  QPushButton* stop = addButton(TMainControl::ButtonStop, "ButtonStop", "Stop", 105, 92, 75);
  QPushButton* open = addButton(TMainControl::ButtonOpenBrowser, "ButtonOpenBrowser", "Open Browser", 24, 123, 107);

  QLineEdit* title = AddEdit("edtWebpageTitle", 24, 154, 273, 21);
  title->setPlaceholderText("Webpage title");
  QLineEdit* url = AddEdit("edtURL", 24, 197, 273, 21);
  url->setReadOnly(true);

  FControls[Index(TMainControl::EditPort)] = port;
  FControls[Index(TMainControl::edtWebpageTitle)] = title;
  FControls[Index(TMainControl::edtURL)] = url;
  FControls[Index(TMainControl::Label1)] = AddLabel("Label1", "Port", 24, 11);
  FControls[Index(TMainControl::Label2)] = AddLabel("Label2", "Virtual Joystick #id", 24, 38);
  FControls[Index(TMainControl::lblVJoyStatus)] = AddLabel("lblVJoyStatus", "Status: Not Acquired", 136, 63);
  FControls[Index(TMainControl::Label3)] =
      AddLabel("Label3", "Open the following url in a browser on your  device:", 24, 181);
  QLabel* keyboard = AddLabel("lblKeyboardStatus", "", 24, 76);
  keyboard->setFixedWidth(292);
  FControls[Index(TMainControl::lblKeyboardStatus)] = keyboard;
  QLabel* panel = AddLabel("lblPanel", "Panel: built-in", 140, 128);
  panel->setFixedWidth(157);
  FControls[Index(TMainControl::lblPanel)] = panel;
  // A click on the label opens the panel editor.
  panel->setCursor(Qt::PointingHandCursor);
  panel->installEventFilter(this);

  // Below the specified controls: who may press keys.
  QPushButton* pair = addButton(TMainControl::ButtonPair, "ButtonPair", "Pair a phone", 24, 226, 107);
  QPushButton* devices = addButton(TMainControl::ButtonDevices, "ButtonDevices", "Devices\u2026", 137, 226, 80);
  const auto addCheckBox = [this](TMainControl c, const char* name, const char* text, int top, int height) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName(name);
    box->setGeometry(24, top, 292, height);
    FControls[Index(c)] = box;
    return box;
  };
  QCheckBox* openMode =
      addCheckBox(TMainControl::chkOpenMode, "chkOpenMode", "Any device on this network may press keys\n(no pairing)", 256, 30);
  const auto addLine = [this](TMainControl c, const char* name, int top, bool clickable) {
    QLabel* label = AddLabel(name, "", 24, top);
    label->setFixedWidth(292);
    FControls[Index(c)] = label;
    if (clickable) {
      label->setCursor(Qt::PointingHandCursor);
      label->installEventFilter(this);
    }
    return label;
  };
  addLine(TMainControl::lblAccess, "lblAccess", 290, false);
  QCheckBox* noJoystick = addCheckBox(TMainControl::chkNoJoystick, "chkNoJoystick", "No joystick (keys only)", 308, 20);
  addLine(TMainControl::lblGame, "lblGame", 332, true);
  addLine(TMainControl::lblBindings, "lblBindings", 350, true);

  FForm = std::make_unique<TfrmMain>(*this, std::move(APlatform));
  TfrmMain& form = *FForm;
  connect(port, &QLineEdit::textChanged, this, [&form] { form.Fire(TMainEvent::EditPortChange); });
  connect(device, &QLineEdit::textChanged, this, [&form] { form.Fire(TMainEvent::edtvJoyDeviceIdChange); });
  connect(start, &QPushButton::clicked, this, [&form] { form.Fire(TMainEvent::ButtonStartClick); });
  connect(stop, &QPushButton::clicked, this, [&form] { form.Fire(TMainEvent::ButtonStopClick); });
  connect(open, &QPushButton::clicked, this, [&form] { form.Fire(TMainEvent::ButtonOpenBrowserClick); });
  connect(pair, &QPushButton::clicked, this, [&form] { form.Fire(TMainEvent::ButtonPairClick); });
  connect(devices, &QPushButton::clicked, this, [&form] { form.Fire(TMainEvent::ButtonDevicesClick); });
  connect(openMode, &QCheckBox::clicked, this, [&form] { form.Fire(TMainEvent::chkOpenModeClick); });
  connect(noJoystick, &QCheckBox::clicked, this, [&form] { form.Fire(TMainEvent::chkNoJoystickClick); });
  FRefresh = new QTimer(this);
  FRefresh->start(1000);
  // The idle refresh: the UI thread is about to wait, so every pending event has been handled.
  FIdleHook = connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                      [&form] { form.Fire(TMainEvent::ApplicationEvents1Idle); });

  form.Fire(TMainEvent::FormCreate);
}

TfrmMainQt::~TfrmMainQt() {
  // The controls outlive this body (QWidget destroys them, and closing moves the focus out
  // of the device field), so first cut every way from them back to the controller.
  disconnect(FIdleHook);
  FRefresh->stop();
  for (QWidget* control : FControls) control->disconnect(this);
  if (FCard) FCard->disconnect(this);
  auto* device = static_cast<TSpinLineEdit*>(Control(TMainControl::edtvJoyDeviceId));
  device->OnStep = nullptr;
  device->OnExit = nullptr;
  FForm.reset();
}

void TfrmMainQt::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  // The frame (title bar and borders) is known only once the window system has shown the
  // window, which it tells by exposing it: the first exposure centres it, once.
  if (!FCentred && windowHandle()) windowHandle()->installEventFilter(this);
}

bool TfrmMainQt::eventFilter(QObject* AWatched, QEvent* AEvent) {
  // A click on one of the labels that open something.
  if (FForm && AEvent->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(AEvent)->button() == Qt::LeftButton) {
    for (const auto& [control, event] : {std::pair{TMainControl::lblPanel, TMainEvent::lblPanelClick},
                                         std::pair{TMainControl::lblGame, TMainEvent::lblGameClick},
                                         std::pair{TMainControl::lblBindings, TMainEvent::lblBindingsClick}})
      if (AWatched == FControls[Index(control)]) {
        FForm->Fire(event);
        return true;
      }
  }
  if (!FCentred && AWatched == windowHandle() && AEvent->type() == QEvent::Expose && windowHandle()->isExposed()) {
    FCentred = true;
    windowHandle()->removeEventFilter(this);
    CenterOnScreen();
  }
  return QWidget::eventFilter(AWatched, AEvent);
}

void TfrmMainQt::CenterOnScreen() {
  if (const QScreen* s = screen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(s->availableGeometry().center());
    move(frame.topLeft());
  }
}

QLabel* TfrmMainQt::AddLabel(const char* AName, const char* AText, int ALeft, int ATop) {
  auto* label = new QLabel(AText, this);
  label->setObjectName(AName);
  label->move(ALeft, ATop);
  label->adjustSize();
  return label;
}

QLineEdit* TfrmMainQt::AddEdit(const char* AName, int ALeft, int ATop, int AWidth, int AHeight) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(AName);
  edit->setGeometry(ALeft, ATop, AWidth, AHeight);
  return edit;
}

QWidget* TfrmMainQt::Control(TMainControl AControl) const { return FControls[Index(AControl)]; }

std::u16string TfrmMainQt::Text(TMainControl AControl) const {
  QWidget* w = Control(AControl);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text().toStdU16String();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) return button->text().toStdU16String();
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text().toStdU16String();
  return {};
}

void TfrmMainQt::SetText(TMainControl AControl, const std::u16string& AText) {
  QWidget* w = Control(AControl);
  const QString text = ToQString(AText);
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    if (edit->text() == text) return;
    {
      // The change event is fired below, outside Qt's signal delivery, so that an error it
      // raises passes to the handler that set the text.
      const QSignalBlocker blocker(edit);
      edit->setText(text);
    }
    if (AControl == TMainControl::EditPort) FForm->FireChange(TMainEvent::EditPortChange);
    if (AControl == TMainControl::edtvJoyDeviceId) FForm->FireChange(TMainEvent::edtvJoyDeviceIdChange);
  } else if (auto* button = qobject_cast<QPushButton*>(w)) {
    button->setText(text);
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    if (label->text() == text) return;
    label->setText(text);
    // Labels of a fixed width keep it; the others take their text's size.
    if (label->minimumWidth() != label->maximumWidth()) label->adjustSize();
  }
}

bool TfrmMainQt::Checked(TMainControl AControl) const {
  auto* box = qobject_cast<QCheckBox*>(Control(AControl));
  return box && box->isChecked();
}

void TfrmMainQt::SetChecked(TMainControl AControl, bool AChecked) {
  if (auto* box = qobject_cast<QCheckBox*>(Control(AControl))) {
    const QSignalBlocker blocker(box);
    box->setChecked(AChecked);
  }
}

void TfrmMainQt::SetWarning(TMainControl AControl, bool AWarning) {
  // Amber on the window's own background, and bold: not told by the colour alone.
  Control(AControl)->setStyleSheet(AWarning ? "color: #b35c00; font-weight: bold;" : "");
}

void TfrmMainQt::BuildPairingCard() {
  FCard = new QDialog(this);
  FCard->setObjectName("PairingCard");
  FCard->setWindowTitle("Pair a phone");
  auto* layout = new QVBoxLayout(FCard);
  auto* code = new TQRWidget(FCard);
  code->setObjectName("PairingQRCode");
  FCardCode = code;
  FCardDigits = new QLabel(FCard);
  FCardDigits->setObjectName("PairingCode");
  QFont big = FCardDigits->font();
  big.setPixelSize(32);
  big.setBold(true);
  FCardDigits->setFont(big);
  FCardDigits->setAlignment(Qt::AlignCenter);
  FCardDigits->setTextInteractionFlags(Qt::TextSelectableByMouse);
  FCardNote = new QLabel(FCard);
  FCardNote->setObjectName("PairingNote");
  FCardNote->setWordWrap(true);
  FCardNote->setFixedWidth(260);
  auto* close = new QPushButton("Close", FCard);
  close->setObjectName("PairingClose");
  connect(close, &QPushButton::clicked, FCard, &QDialog::reject);
  layout->addWidget(code, 0, Qt::AlignHCenter);
  layout->addWidget(FCardDigits);
  layout->addWidget(FCardNote);
  layout->addWidget(close, 0, Qt::AlignRight);
  // Closed by the user (the button, Escape or the title bar): the code is void.
  connect(FCard, &QDialog::rejected, this, [this] { FForm->Fire(TMainEvent::PairingCardClose); });
}

void TfrmMainQt::ShowPairingCard(const TPairingCardView& ACard) {
  if (!FCard) BuildPairingCard();
  static_cast<TQRWidget*>(FCardCode)->SetCode(ACard.QRModules, ACard.QRSize);
  FCardCode->setVisible(ACard.Live);
  FCardDigits->setText(ToQString(ACard.Code));
  FCardDigits->setVisible(ACard.Live);
  FCardNote->setText(ToQString(ACard.Note));
  FCard->adjustSize();
  FCard->show();
  FCard->raise();
}

void TfrmMainQt::HidePairingCard() {
  if (!FCard) return;
  const QSignalBlocker blocker(FCard);
  FCard->hide();
}

void TfrmMainQt::BuildDevices() {
  FDevices = new QDialog(this);
  FDevices->setObjectName("Devices");
  FDevices->setWindowTitle("Devices that may press keys");
  auto* layout = new QVBoxLayout(FDevices);
  FDeviceTable = new QTableWidget(0, 3, FDevices);
  FDeviceTable->setObjectName("DeviceTable");
  FDeviceTable->setHorizontalHeaderLabels({"Name", "Kind", "Last seen"});
  FDeviceTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  FDeviceTable->setSelectionMode(QAbstractItemView::SingleSelection);
  FDeviceTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  FDeviceTable->verticalHeader()->hide();
  FDeviceTable->horizontalHeader()->setStretchLastSection(true);
  FDeviceTable->setColumnWidth(0, 180);
  FDeviceTable->setMinimumSize(380, 160);
  layout->addWidget(FDeviceTable);
  auto* buttons = new QHBoxLayout();
  const auto add = [&](const char* name, const char* text, auto action) {
    auto* button = new QPushButton(text, FDevices);
    button->setObjectName(name);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, action] { FForm->HandleToolkitEvent([this, action] { action(); }); });
    buttons->addWidget(button);
  };
  add("DeviceRename", "Rename\u2026", [this] {
    const std::string id = SelectedDevice();
    for (const TDeviceRow& row : FDeviceRows)
      if (row.Id == id) {
        bool ok = false;
        const QString name = QInputDialog::getText(FDevices, "Rename", "Name:", QLineEdit::Normal, ToQString(row.Name), &ok);
        if (ok) FForm->RenameDevice(id, name.toStdU16String());
      }
  });
  add("DeviceForget", "Forget", [this] {
    if (const std::string id = SelectedDevice(); !id.empty()) FForm->ForgetDevice(id);
  });
  add("DeviceForgetAll", "Forget all", [this] {
    if (QMessageBox::question(FDevices, "Forget all", "Forget every paired phone and script key?") == QMessageBox::Yes)
      FForm->ForgetAllDevices();
  });
  add("DeviceScriptKey", "Key for a script\u2026", [this] {
    bool ok = false;
    const QString name = QInputDialog::getText(FDevices, "Key for a script", "Name of the script:", QLineEdit::Normal, "", &ok);
    if (ok) FForm->NewScriptKey(name.toStdU16String());
  });
  layout->addLayout(buttons);
}

std::string TfrmMainQt::SelectedDevice() const {
  const int row = FDeviceTable ? FDeviceTable->currentRow() : -1;
  return row >= 0 && row < static_cast<int>(FDeviceRows.size()) ? FDeviceRows[static_cast<std::size_t>(row)].Id : "";
}

void TfrmMainQt::ShowDevices(const std::vector<TDeviceRow>& ARows, bool AOpen) {
  if (!AOpen && (!FDevices || !FDevices->isVisible())) return;
  if (!FDevices) BuildDevices();
  const std::string selected = SelectedDevice();
  FDeviceRows = ARows;
  FDeviceTable->setRowCount(static_cast<int>(ARows.size()));
  for (int i = 0; i < static_cast<int>(ARows.size()); ++i) {
    const TDeviceRow& row = ARows[static_cast<std::size_t>(i)];
    FDeviceTable->setItem(i, 0, new QTableWidgetItem(ToQString(row.Name)));
    FDeviceTable->setItem(i, 1, new QTableWidgetItem(ToQString(row.Kind)));
    FDeviceTable->setItem(i, 2, new QTableWidgetItem(ToQString(row.LastSeen)));
    if (row.Id == selected) FDeviceTable->selectRow(i);
  }
  if (AOpen) {
    FDevices->show();
    FDevices->raise();
  }
}

void TfrmMainQt::ShowScriptKey(const std::u16string& AName, const std::u16string& AKey) {
  QDialog dialog(FDevices ? static_cast<QWidget*>(FDevices) : this);
  dialog.setObjectName("ScriptKey");
  dialog.setWindowTitle("Key for " + ToQString(AName));
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QLabel("Send it in the header \"Tapdeck-Device\". It is shown only now: copy it.", &dialog);
  text->setWordWrap(true);
  auto* key = new QLineEdit(ToQString(AKey), &dialog);
  key->setObjectName("ScriptKeyText");
  key->setReadOnly(true);
  key->setMinimumWidth(320);
  key->selectAll();
  auto* copy = new QPushButton("Copy and close", &dialog);
  connect(copy, &QPushButton::clicked, &dialog, [&dialog, key] {
    QApplication::clipboard()->setText(key->text());
    dialog.accept();
  });
  layout->addWidget(text);
  layout->addWidget(key);
  layout->addWidget(copy, 0, Qt::AlignRight);
  dialog.exec();
}

void TfrmMainQt::SetHint(TMainControl AControl, const std::u16string& AText) {
  Control(AControl)->setToolTip(ToQString(AText));
}

void TfrmMainQt::SetEnabled(TMainControl AControl, bool AEnabled) { Control(AControl)->setEnabled(AEnabled); }

void TfrmMainQt::ShowErrorBox(const std::u16string& AMessage, const std::u16string& ATitle) {
  QMessageBox::critical(this, ToQString(ATitle), ToQString(AMessage), QMessageBox::Ok);
}

void TfrmMainQt::ShellOpen(const std::u16string& AUrl) {
  QDesktopServices::openUrl(QUrl(ToQString(AUrl), QUrl::TolerantMode));
}

void TfrmMainQt::StepDeviceId(int ADelta) {
  FForm->HandleToolkitEvent([this, ADelta] {
    SetText(TMainControl::edtvJoyDeviceId,
            TfrmMain::DeviceIdRules().SteppedText(Text(TMainControl::edtvJoyDeviceId), ADelta));
  });
}

void TfrmMainQt::LeaveDeviceId() {
  // Also reached while a handler runs, when disabling the field moves the focus away.
  FForm->HandleToolkitEvent([this] {
    if (auto text = TfrmMain::DeviceIdRules().TextOnExit(Text(TMainControl::edtvJoyDeviceId)))
      SetText(TMainControl::edtvJoyDeviceId, *text);
  });
}

std::optional<std::u16string> TfrmMainQt::PickFolder(const std::u16string& ATitle, const std::u16string& AStart) {
  const QString folder = QFileDialog::getExistingDirectory(this, ToQString(ATitle), ToQString(AStart));
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdU16String();
}
