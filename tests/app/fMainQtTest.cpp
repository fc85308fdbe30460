// The Qt view: its controls, and the service started and stopped through real clicks. Runs
// on the offscreen platform unless another is asked for.

#include "app/fMainQt.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEventLoop>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "base/uFiles.h"
#include "joystick/vJoyClass.h"
#include "joystick/vJoySimulated.h"
#include "page/uPageInfo.h"
#include "tests/app/WindowTestSupport.h"
#include "web/uHTTPWebBrokerBridge.h"
#include "web/uMainPage.h"
#include "web/uWebRequestHandler.h"

// Readable failure messages.
void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

struct TShownBox {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the next modal message box with OK and reports what it showed; looks for it a
// limited number of times, so a box that never comes leaves no timer behind.
void AnswerNextMessageBox(TShownBox& shown, int tries = 1000) {
  QTimer::singleShot(1, [&shown, tries] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      if (tries > 0) AnswerNextMessageBox(shown, tries - 1);
      return;
    }
    shown.title = box->windowTitle();
    shown.text = box->text();
    shown.icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
}

class QtMainWindow : public ::testing::Test {
 protected:
  void SetUp() override { joy = &StartAsANewProcess(options); }
  void TearDown() override {
    window.reset();
    ForgetProcessObjects();
  }
  void Show() {
    TfrmMainPlatform platform;
    platform.LocalAddresses = [] { return std::vector<std::u16string>{u"192.0.2.7"}; };
    platform.DevicesFile = platform.SettingsFile = platform.TogglesFile = [] { return std::u16string(); };
    window = std::make_unique<TfrmMainQt>(std::move(platform));
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  template <class T>
  T* Find(const char* name) {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void Retype(const char* name, const QString& text) {
    auto* edit = Find<QLineEdit>(name);
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  // Runs the event loop until it is about to wait for events: every pending event has been
  // handled, and the window's idle refresh, hooked to that moment before this, has run.
  void Settle() {
    QEventLoop loop;
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, &loop,
                     &QEventLoop::quit);
    loop.exec();
  }
  TIdHTTPWebBrokerBridge& Server() { return *window->Form().Server(); }

  TvJoySimulatedOptions options;
  TvJoySimulated* joy = nullptr;
  std::unique_ptr<TfrmMainQt> window;
};

TEST_F(QtMainWindow, ControlsHaveTheirNamesKindsTextsAndPlaces) {
  Show();
  EXPECT_EQ(window->windowTitle(), "Tapdeck");
  EXPECT_EQ(window->size(), QSize(322, TfrmMainQt::kHeight));
  EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "the window must not be resizable";

  const struct {
    const char* name;
    QRect place;
  } fields[] = {
      {"EditPort", {136, 8, 121, 21}},
      {"edtvJoyDeviceId", {136, 35, 121, 22}},
      {"edtWebpageTitle", {24, 154, 273, 21}},
      {"edtURL", {24, 197, 273, 21}},
  };
  for (const auto& f : fields) {
    if (auto* w = Find<QLineEdit>(f.name)) {
      EXPECT_EQ(w->geometry(), f.place) << f.name;
    }
  }

  const struct {
    const char* name;
    const char* text;
    QRect place;
  } buttons[] = {
      {"ButtonStart", "Start", {24, 92, 75, 25}},
      {"ButtonStop", "Stop", {105, 92, 75, 25}},
      {"ButtonOpenBrowser", "Open Browser", {24, 123, 107, 25}},
  };
  for (const auto& b : buttons)
    if (auto* w = Find<QPushButton>(b.name)) {
      EXPECT_EQ(w->geometry(), b.place) << b.name;
      EXPECT_EQ(w->text(), b.text);
    }

  const struct {
    const char* name;
    const char* text;
    QPoint place;
  } labels[] = {
      {"Label1", "Port", {24, 11}},
      {"Label2", "Virtual Joystick #id", {24, 38}},
      {"lblVJoyStatus", "Status: Not Acquired", {136, 63}},
      {"Label3", "Open the following url in a browser on your  device:", {24, 181}},
  };
  for (const auto& l : labels)
    if (auto* w = Find<QLabel>(l.name)) {
      EXPECT_EQ(w->pos(), l.place) << l.name;
      EXPECT_EQ(w->text(), l.text);
      EXPECT_LE(w->geometry().right(), 322) << l.name << " reaches past the window";
    }

  // The keyboard line's longest text fits the window.
  window->SetText(TMainControl::lblKeyboardStatus, KeyboardStatusText(false, u""));
  EXPECT_LE(Find<QLabel>("lblKeyboardStatus")->sizeHint().width() + 24, 322);
  EXPECT_LE(Find<QLabel>("lblKeyboardStatus")->geometry().bottom(), 92) << "it overlaps the buttons";

  EXPECT_EQ(Find<QLineEdit>("edtWebpageTitle")->placeholderText(), "Webpage title");
  EXPECT_EQ(Find<QLineEdit>("edtWebpageTitle")->text().toStdU16String(), GetPageInfo().PageTitle());
  EXPECT_TRUE(Find<QLineEdit>("edtURL")->isReadOnly());
  EXPECT_EQ(Find<QLineEdit>("edtURL")->text(), "http://192.0.2.7:8080");
  EXPECT_EQ(Find<QLineEdit>("edtvJoyDeviceId")->text(), "2");
  EXPECT_EQ(Find<QLineEdit>("EditPort")->text(), "8080");
  EXPECT_NE(Find<QToolButton>("edtvJoyDeviceIdUp"), nullptr);
  EXPECT_NE(Find<QToolButton>("edtvJoyDeviceIdDown"), nullptr);
}

// The icon is built into the program: every size is there, read from the program's own
// resources (so a resource that failed to link shows as missing sizes, not as a blank icon).
TEST_F(QtMainWindow, TheWindowCarriesTheProgramsIconInEverySize) {
  Show();
  const QIcon icon = window->windowIcon();
  ASSERT_FALSE(icon.isNull());
  QList<int> widths;
  for (const QSize& size : icon.availableSizes()) widths.append(size.width());
  EXPECT_EQ(widths, (QList<int>{16, 24, 32, 48, 64, 128, 256}));
  EXPECT_EQ(icon.pixmap(QSize(48, 48)).size(), QSize(48, 48));
}

TEST_F(QtMainWindow, StartServesThePageAndStopEndsTheService) {
  Show();
  const std::uint16_t port = FreePort();
  Retype("EditPort", QString::number(port));
  EXPECT_EQ(Find<QLineEdit>("edtURL")->text(), "http://192.0.2.7:" + QString::number(port));
  QTest::mouseClick(Find<QPushButton>("ButtonStart"), Qt::LeftButton);
  ASSERT_TRUE(Server().Active());
  Settle();
  EXPECT_FALSE(Find<QPushButton>("ButtonStart")->isEnabled());
  EXPECT_TRUE(Find<QPushButton>("ButtonStop")->isEnabled());
  EXPECT_FALSE(Find<QLineEdit>("EditPort")->isEnabled());
  EXPECT_FALSE(Find<QLineEdit>("edtvJoyDeviceId")->isEnabled());
  EXPECT_EQ(Find<QLabel>("lblVJoyStatus")->text(), "Status: Acquired");

  EXPECT_EQ(BoundIPv4Port(Server()), port);
  const std::string response = LoopbackGet(port, "/");
  EXPECT_EQ(response.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << response.substr(0, 200);

  QTest::mouseClick(Find<QPushButton>("ButtonStop"), Qt::LeftButton);
  EXPECT_FALSE(Server().Active());
  EXPECT_FALSE(LoopbackConnects(port));
  Settle();
  EXPECT_TRUE(Find<QPushButton>("ButtonStart")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("ButtonStop")->isEnabled());
  EXPECT_EQ(Find<QLabel>("lblVJoyStatus")->text(), "Status: Acquired") << "Stop keeps the device";
}

TEST_F(QtMainWindow, ClosingTheWindowWithAConnectionOpenReturns) {
  Show();
  Retype("EditPort", QString::number(FreePort()));
  QTest::mouseClick(Find<QPushButton>("ButtonStart"), Qt::LeftButton);
  ASSERT_TRUE(Server().Active());
  const std::uint16_t port = BoundIPv4Port(Server());
  TTestClient silent(port);
  ASSERT_TRUE(silent.Connected());
  window->close();
  window.reset();
  EXPECT_FALSE(LoopbackConnects(port));
}

TEST_F(QtMainWindow, TheDeviceFieldTypesUnlimitedRefusesLettersStepsAndClampsOnLeaving) {
  Show();
  auto* field = Find<QLineEdit>("edtvJoyDeviceId");
  Retype("edtvJoyDeviceId", "9");
  EXPECT_EQ(GetvJoy().Id(), 9);
  QTest::keyClicks(field, "9a");
  EXPECT_EQ(field->text(), "99") << "letters are refused";
  EXPECT_EQ(GetvJoy().Id(), 99);
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(field, &out);
  EXPECT_EQ(field->text(), "16");
  EXPECT_EQ(GetvJoy().Id(), 16);
  QTest::keyClick(field, Qt::Key_Up);
  EXPECT_EQ(field->text(), "16");
  QTest::keyClick(field, Qt::Key_Down);
  EXPECT_EQ(field->text(), "15");
  QTest::mouseClick(Find<QToolButton>("edtvJoyDeviceIdDown"), Qt::LeftButton);
  EXPECT_EQ(field->text(), "14");
  EXPECT_EQ(GetvJoy().Id(), 14);
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(field->text(), "14");
}

// A key press as X11 delivers it: Delete comes with the DEL character, Backspace with BS.
void PressAsX11(QWidget* AWidget, Qt::Key AKey, const QString& AText = {}) {
  QKeyEvent press(QEvent::KeyPress, AKey, Qt::NoModifier, AText);
  QApplication::sendEvent(AWidget, &press);
  QKeyEvent release(QEvent::KeyRelease, AKey, Qt::NoModifier, AText);
  QApplication::sendEvent(AWidget, &release);
}

TEST_F(QtMainWindow, TheDeviceFieldTakesTheEditingKeysAsAnyField) {
  Show();
  auto* field = Find<QLineEdit>("edtvJoyDeviceId");
  Retype("edtvJoyDeviceId", "123");
  const struct {
    Qt::Key key;
    QString text;
    QString after;
  } steps[] = {
      {Qt::Key_Home, {}, "123"},
      {Qt::Key_Delete, QString(QChar(0x7F)), "23"},
      {Qt::Key_End, {}, "23"},
      {Qt::Key_Backspace, QString(QChar(0x08)), "2"},
      {Qt::Key_Left, {}, "2"},
      {Qt::Key_Delete, QString(QChar(0x7F)), ""},
  };
  for (const auto& step : steps) {
    PressAsX11(field, step.key, step.text);
    EXPECT_EQ(field->text(), step.after) << QKeySequence(step.key).toString().toStdString();
  }
  EXPECT_EQ(GetvJoy().Id(), 1) << "an empty field reads as the lower limit";
  QTest::keyClicks(field, "x4");
  EXPECT_EQ(field->text(), "4") << "letters are still refused";
  QTest::keyClick(field, Qt::Key_Right);
  PressAsX11(field, Qt::Key_Left);
  QTest::keyClicks(field, "1");
  EXPECT_EQ(field->text(), "14");
  EXPECT_EQ(GetvJoy().Id(), 14);
}

TEST_F(QtMainWindow, TheWindowCentresItsFrameOnTheScreenOnceShown) {
  Show();
  Settle();
  ASSERT_NE(window->screen(), nullptr);
  const QPoint centre = window->screen()->availableGeometry().center();
  const QRect frame = window->frameGeometry();
  EXPECT_LE(std::abs(frame.center().x() - centre.x()), 1) << frame.x() << "," << frame.y();
  EXPECT_LE(std::abs(frame.center().y() - centre.y()), 1) << frame.x() << "," << frame.y();
  // Only the first showing centres: a window the user moved stays where it was put.
  window->move(frame.topLeft() + QPoint(40, 30));
  window->hide();
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  Settle();
  EXPECT_EQ(window->frameGeometry().topLeft(), frame.topLeft() + QPoint(40, 30));
}

TEST_F(QtMainWindow, AnErrorGoesToAnErrorBoxAndTheWindowGoesOn) {
  options.MissingDevice = 2;
  SetUp();
  Show();
  Retype("EditPort", QString::number(FreePort()));
  TShownBox shown;
  AnswerNextMessageBox(shown);
  QTest::mouseClick(Find<QPushButton>("ButtonStart"), Qt::LeftButton);
  EXPECT_EQ(shown.text, "vJoy Device 2 is missing.");
  EXPECT_EQ(shown.title.toStdU16String(), ApplicationTitle(ExecutablePath()));
  EXPECT_EQ(shown.icon, QMessageBox::Critical);
  EXPECT_FALSE(Server().Active());
  QTest::mouseClick(Find<QToolButton>("edtvJoyDeviceIdUp"), Qt::LeftButton);
  QTest::mouseClick(Find<QPushButton>("ButtonStart"), Qt::LeftButton);
  EXPECT_TRUE(Server().Active());
}

TEST_F(QtMainWindow, VersionMismatchAtStartUpShowsTheBoxAndTheWindowStillOpens) {
  options.VersionMismatch = true;
  SetUp();
  TShownBox shown;
  AnswerNextMessageBox(shown);
  Show();
  EXPECT_EQ(shown.text, "Version of Driver (534) does NOT match DLL Version (537)");
  EXPECT_EQ(Find<QLineEdit>("EditPort")->text(), "8080");
  EXPECT_EQ(Find<QLineEdit>("edtvJoyDeviceId")->text(), "2");
  EXPECT_EQ(Find<QLineEdit>("edtURL")->text(), "");
  EXPECT_TRUE(window->isVisible());
  window->SetText(TMainControl::lblVJoyStatus, u"");
  Settle();
  EXPECT_EQ(Find<QLabel>("lblVJoyStatus")->text(), "Status: Not Acquired");
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
