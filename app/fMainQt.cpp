#include "app/fMainQt.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
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
#include <functional>

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

}  // namespace

TfrmMainQt::TfrmMainQt(TfrmMainPlatform APlatform) {
  setObjectName("frmMain");
  setWindowTitle("Tapdeck");
  // The program's icon, built into the program (app/icons, listed in app/app.cmake).
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addFile(QString(":/icons/tapdeck-%1.png").arg(size));
  setWindowIcon(icon);
  setFixedSize(322, 234);
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

  FForm = std::make_unique<TfrmMain>(*this, std::move(APlatform));
  TfrmMain& form = *FForm;
  connect(port, &QLineEdit::textChanged, this, [&form] { form.Fire(TMainEvent::EditPortChange); });
  connect(device, &QLineEdit::textChanged, this, [&form] { form.Fire(TMainEvent::edtvJoyDeviceIdChange); });
  connect(start, &QPushButton::clicked, this, [&form] { form.Fire(TMainEvent::ButtonStartClick); });
  connect(stop, &QPushButton::clicked, this, [&form] { form.Fire(TMainEvent::ButtonStopClick); });
  connect(open, &QPushButton::clicked, this, [&form] { form.Fire(TMainEvent::ButtonOpenBrowserClick); });
  // The idle refresh: the UI thread is about to wait, so every pending event has been handled.
  FIdleHook = connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
                      [&form] { form.Fire(TMainEvent::ApplicationEvents1Idle); });

  form.Fire(TMainEvent::FormCreate);
}

TfrmMainQt::~TfrmMainQt() {
  // The controls outlive this body (QWidget destroys them, and closing moves the focus out
  // of the device field), so first cut every way from them back to the controller.
  disconnect(FIdleHook);
  for (QWidget* control : FControls) control->disconnect(this);
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
  if (FForm && AWatched == FControls[Index(TMainControl::lblPanel)] && AEvent->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(AEvent)->button() == Qt::LeftButton) {
    FForm->Fire(TMainEvent::lblPanelClick);
    return true;
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
  if (auto* button = qobject_cast<QPushButton*>(w)) return button->text().toStdU16String();
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
    if (AControl != TMainControl::lblKeyboardStatus && AControl != TMainControl::lblPanel) label->adjustSize();
  }
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
