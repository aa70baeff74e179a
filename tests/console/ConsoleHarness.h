// The console as the tests and the screenshot program drive it: the controller bound to the built
// library in a scratch working directory whose lanes an in-process simulator serves, and the
// screens loaded from the resources as mvclient loads them.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <QByteArray>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QString>
#include <QtTest>

#include "LaneSimulator.h"
#include "MVWrapper.h"
#include "TestSupport.h"

class QQuickItem;
class QQuickWindow;

namespace consoletest {

// How long a test waits for an answer or a screen change on a loaded machine.
constexpr int kDeadlineMs = 20000;
// The lanes of the workspace, as the library's Init summary names them.
constexpr int kFirstLane = 1;
constexpr int kSecondLane = 2;
// The plate the simulator reports, and how the library receives it: GBK bytes.
extern const char* const kChinesePlate;  // UTF-8 source text of the plate
QByteArray gbkBytes(const QString& text);

// The built Marovex library, beside the test programs.
std::string libraryPath();

// Sets QT_QPA_PLATFORM=offscreen and QT_QUICK_BACKEND=software unless they are set already.
void useHeadlessDefaults();

// Spins the event loop until `condition` holds or `deadlineMs` passes; true when it held.
bool waitFor(const std::function<bool()>& condition, int deadlineMs = kDeadlineMs);

// Records the emissions of one controller signal on the thread that waits for them. The controller
// emits on pool threads; QSignalSpy would append there while the test thread reads.
class DoneRecorder : public QObject {
 public:
  template <typename... Args>
  DoneRecorder(MVWrapper& controller, void (MVWrapper::*signal)(Args...)) {
    connect(
        &controller, signal, this,
        [this](Args... args) { calls_.append(QVariantList{QVariant::fromValue(args)...}); },
        Qt::QueuedConnection);
  }

  int count() const { return calls_.size(); }
  // Waits until `n` emissions have arrived; true when they have.
  bool waitForCount(int n) { return waitFor([&] { return count() >= n; }); }
  // The arguments of the first emission, or nothing when none arrived.
  QVariantList first() const { return calls_.value(0); }

 private:
  QList<QVariantList> calls_;
};

// A scratch working directory with EtcConfig/Marovex.ini for lanes 1 and 2 (device ids 0) served
// by the in-process simulator, which reports kChinesePlate. The library logs into logs/.
class LaneWorkspace {
 public:
  LaneWorkspace();
  LaneWorkspace(const LaneWorkspace&) = delete;
  LaneWorkspace& operator=(const LaneWorkspace&) = delete;

  bool started() const { return started_; }
  std::string file(const std::string& name) const { return dir_.file(name); }
  void writeLaneConfig() const;
  void writeConfig(const std::string& text) const;
  // Every log file of the library, concatenated.
  std::string logText() const;

  LaneSimulator sim;

 private:
  testsupport::ScratchDir dir_;
  testsupport::CurrentDirGuard cwd_;
  bool started_ = false;
};

// The screens on the controller, loaded from "qrc:/main.qml".
class ConsoleScreens {
 public:
  explicit ConsoleScreens(MVWrapper& controller);
  ConsoleScreens(const ConsoleScreens&) = delete;
  ConsoleScreens& operator=(const ConsoleScreens&) = delete;

  bool loaded() const { return window() != nullptr; }
  QQuickWindow* window() const;
  // An object of the window by objectName ("root", "laneBox", "output", "readerTimer", ...).
  QObject* object(const char* name) const;
  // An item a page exposes by alias, such as ("crPage", "editCardNo").
  QObject* pageItem(const char* page, const char* alias) const;
  QString text(const char* page, const char* alias) const;
  void setText(const char* page, const char* alias, const QString& text) const;
  void setChecked(const char* page, const char* alias, bool checked) const;
  // A property of the root rectangle, such as "busyReader" or "laneNo".
  int rootInt(const char* name) const;
  QString output() const;
  int laneCount() const;

  // Shows the tab of a page (0 Reader, 1 RSU, 2 List, 3 Other) and waits until it stands still.
  bool showPage(int index) const;
  // A mouse click in the middle of a button; a page button's page is shown first.
  bool click(QObject* button) const;
  // The mouse moved onto the middle of an item, its page shown first.
  bool hover(QObject* item) const;
  // True while a tooltip shows exactly `text`.
  bool toolTipShows(const QString& text) const;
  bool click(const char* objectName) const { return click(object(objectName)); }
  bool click(const char* page, const char* alias) const { return click(pageItem(page, alias)); }
  // Clicks Init and waits until the lane box holds both lanes.
  bool startLanes() const;
  // Waits until no call of any page is in flight.
  bool waitIdle() const;

 private:
  // Shows the page that holds `item`, if one does; false when that page did not come to rest.
  bool showPageOf(QQuickItem* item) const;

  QQmlApplicationEngine engine_;
};

// The test program's main: one Qt Test object run in an application of the given class
// (QCoreApplication where no window is made, QGuiApplication for the screens).
#define CONSOLE_TEST_MAIN(TestObject, Application) \
  int main(int argc, char* argv[]) {               \
    consoletest::useHeadlessDefaults();            \
    Application app(argc, argv);                   \
    TestObject test;                               \
    return QTest::qExec(&test, argc, argv);        \
  }

}  // namespace consoletest
