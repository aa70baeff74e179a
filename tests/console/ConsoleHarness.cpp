#include "ConsoleHarness.h"

#include <cmath>

#include <QDir>
#include <QElapsedTimer>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTextCodec>

#include "LaneConfigText.h"
#include "platform/Platform.h"

namespace consoletest {

const char* const kChinesePlate = "粤A12345";

namespace {

constexpr const char* kLogDirName = "logs";
constexpr int kPollMs = 5;
const char* const kPages[] = {"crPage", "rsuPage", "listPage", "otherPage"};

}  // namespace

QByteArray gbkBytes(const QString& text) {
  return QTextCodec::codecForName("gbk")->fromUnicode(text);
}

std::string libraryPath() {
  return std::string(MAROVEX_BIN_DIR) + "/" + platform::sharedLibraryFileName("Marovex");
}

void useHeadlessDefaults() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) qputenv("QT_QUICK_BACKEND", "software");
}

bool waitFor(const std::function<bool()>& condition, int deadlineMs) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > deadlineMs) return condition();
    QTest::qWait(kPollMs);
  }
  return true;
}

// ---- LaneWorkspace ------------------------------------------------------------------------------

LaneWorkspace::LaneWorkspace() : cwd_(dir_.path()) {
  started_ = sim.start("127.0.0.1");
  SimSettings settings = sim.settings();
  settings.plate = gbkBytes(QString::fromUtf8(kChinesePlate)).toStdString();
  sim.setSettings(settings);
  writeLaneConfig();
}

void LaneWorkspace::writeLaneConfig() const {
  std::vector<testsupport::LaneConfig> lanes(2);
  lanes[0].laneNo = kFirstLane;
  lanes[1].laneNo = kSecondLane;
  for (auto& lane : lanes) {
    lane.port = sim.port();
    lane.readerId = 0;
    lane.rsuId = 0;
  }
  writeConfig(testsupport::laneConfigText(lanes, dir_.file(kLogDirName)));
}

void LaneWorkspace::writeConfig(const std::string& text) const {
  testsupport::writeFile(dir_.file("EtcConfig/Marovex.ini"), text);
}

std::string LaneWorkspace::logText() const {
  const QDir logs(QString::fromStdString(dir_.file(kLogDirName)));
  std::string text;
  for (const QString& name : logs.entryList({"*.log"}, QDir::Files, QDir::Name))
    text += testsupport::readFile(logs.filePath(name).toStdString());
  return text;
}

// ---- ConsoleScreens -----------------------------------------------------------------------------

ConsoleScreens::ConsoleScreens(MVWrapper& controller) {
  engine_.rootContext()->setContextProperty("mvclient", &controller);
  engine_.load(QUrl(QStringLiteral("qrc:/main.qml")));
}

QQuickWindow* ConsoleScreens::window() const {
  const auto roots = engine_.rootObjects();
  return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.first());
}

QObject* ConsoleScreens::object(const char* name) const {
  QQuickWindow* w = window();
  if (w == nullptr) return nullptr;
  return w->objectName() == name ? w : w->findChild<QObject*>(QString::fromLatin1(name));
}

QObject* ConsoleScreens::pageItem(const char* page, const char* alias) const {
  QObject* p = object(page);
  return p != nullptr ? p->property(alias).value<QObject*>() : nullptr;
}

QString ConsoleScreens::text(const char* page, const char* alias) const {
  QObject* item = pageItem(page, alias);
  return item != nullptr ? item->property("text").toString() : QString();
}

void ConsoleScreens::setText(const char* page, const char* alias, const QString& text) const {
  if (QObject* item = pageItem(page, alias)) item->setProperty("text", text);
}

void ConsoleScreens::setChecked(const char* page, const char* alias, bool checked) const {
  if (QObject* item = pageItem(page, alias)) item->setProperty("checked", checked);
}

int ConsoleScreens::rootInt(const char* name) const {
  return object("root")->property(name).toInt();
}

QString ConsoleScreens::output() const { return object("output")->property("text").toString(); }

int ConsoleScreens::laneCount() const { return object("laneBox")->property("count").toInt(); }

bool ConsoleScreens::showPage(int index) const {
  object("tabBar")->setProperty("currentIndex", index);
  auto* view = qobject_cast<QQuickItem*>(object("swipeView"));
  auto* page = qobject_cast<QQuickItem*>(object(kPages[index]));
  return waitFor([&] { return std::abs(page->mapToItem(view, QPointF(0, 0)).x()) < 0.5; });
}

bool ConsoleScreens::showPageOf(QQuickItem* item) const {
  for (int i = 0; i < 4; ++i) {
    auto* page = qobject_cast<QQuickItem*>(object(kPages[i]));
    if (page->isAncestorOf(item)) return showPage(i);
  }
  return true;
}

bool ConsoleScreens::click(QObject* button) const {
  auto* item = qobject_cast<QQuickItem*>(button);
  if (item == nullptr || !item->isEnabled() || !showPageOf(item)) return false;
  // The middle of the label: a control may hold others (the clear button holds a switch).
  auto* label = item->property("contentItem").value<QQuickItem*>();
  if (label != nullptr) item = label;
  const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
  QTest::mouseClick(window(), Qt::LeftButton, Qt::NoModifier, centre.toPoint());
  return true;
}

bool ConsoleScreens::hover(QObject* target) const {
  auto* item = qobject_cast<QQuickItem*>(target);
  if (item == nullptr || !showPageOf(item)) return false;
  const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
  QTest::mouseMove(window(), centre.toPoint());
  return true;
}

bool ConsoleScreens::toolTipShows(const QString& text) const {
  // A tooltip's text is a plain Text item in the window's overlay, unlike the fields' own texts.
  std::function<bool(QQuickItem*)> shows = [&](QQuickItem* item) {
    if (!item->isVisible()) return false;
    if (item->inherits("QQuickText") && item->property("text").toString() == text) return true;
    for (QQuickItem* child : item->childItems()) {
      if (shows(child)) return true;
    }
    return false;
  };
  return window() != nullptr && shows(window()->contentItem());
}

bool ConsoleScreens::startLanes() const {
  if (laneCount() == 2) return true;
  return click("btnInit") && waitFor([&] { return laneCount() == 2; });
}

bool ConsoleScreens::waitIdle() const {
  return waitFor([&] {
    return rootInt("busyInit") + rootInt("busyReader") + rootInt("busyRSU") + rootInt("busyList") ==
           0;
  });
}

}  // namespace consoletest
