// Renders each page of the console as a PNG file, filled by real calls against the simulator:
// Init, then per page the page's own call, so that the output pane shows its report; the Reader
// page with the tooltip of its cut card number. The output pane alone is saved after Init and
// after ETCStatusQuery.
// Usage: console_screenshots OUTPUT_DIR (needs a display; scripts/screenshots.sh brings Xvfb).
#include <cstdio>

#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>

#include "ConsoleHarness.h"
#include "MVWrapper.h"

namespace {

constexpr int kUsage = 2;
constexpr int kFailed = 1;
// Lets the busy indicators stop turning and the scroll bars fade before the picture.
constexpr int kSettleMs = 1500;
// The vehicle entered the road two hours ago, at area 0203, gate 05, lane 12.
constexpr int kEntryAgoSeconds = 2 * 3600;

struct Shot {
  int page;
  const char* file;
  const char* pageName;
  const char* button;
  const char* hovered;     // a field whose tooltip shows, or null
  const char* outputFile;  // where the output pane alone goes too, or null
};

const Shot kShots[] = {
    {0, "console-reader.png", "crPage", "btnRead", "editCardNo", nullptr},
    {1, "console-rsu.png", "rsuPage", "btnRead", nullptr, nullptr},
    {2, "console-list.png", "listPage", "btnUpload", nullptr, nullptr},
    {3, "console-other.png", "otherPage", "btnETCStatusQuery", nullptr, "console-output-status.png"},
};
const char* const kInitOutputFile = "console-output-init.png";

// What a lane server also reports of a card's or an OBU's entry.
void answerWithEntry(LaneSimulator& sim) {
  CommandBehaviour entry;
  entry.members["PassTime"] = QDateTime::currentDateTime()
                                  .addSecs(-kEntryAgoSeconds)
                                  .toString("yyyyMMddHHmmss")
                                  .toStdString();
  entry.members["CardAreaNo"] = "0203";
  entry.members["CardGateNo"] = "05";
  entry.members["CardLaneNo"] = "12";
  entry.members["OperatorNo"] = "000042";
  entry.members["OutFlag"] = "0";
  for (const char* cardOrObuInfo : {"03011", "03026", "03025"})
    sim.setBehaviour(cardOrObuInfo, entry);
}

bool fail(const char* what) {
  std::fprintf(stderr, "console_screenshots: %s\n", what);
  return false;
}

// The whole window after the screen has settled, or only the item `crop` of it.
bool save(const consoletest::ConsoleScreens& ui, const QDir& outDir, const char* file,
          QQuickItem* crop = nullptr) {
  QTest::qWait(kSettleMs);
  QImage image = ui.window()->grabWindow();
  if (crop != nullptr) {
    const QRectF area = crop->mapRectToScene(QRectF(0, 0, crop->width(), crop->height()));
    image = image.copy(area.toAlignedRect());
  }
  if (image.isNull() || !image.save(outDir.filePath(file))) return fail(file);
  std::printf("%s\n", qPrintable(outDir.filePath(file)));
  return true;
}

bool run(const QDir& outDir) {
  consoletest::LaneWorkspace workspace;
  if (!workspace.started()) return fail("the simulator did not start");
  answerWithEntry(workspace.sim);
  MVWrapper mvclient(consoletest::libraryPath());
  consoletest::ConsoleScreens ui(mvclient);
  if (!ui.loaded()) return fail("the screens did not load");
  if (!QTest::qWaitForWindowExposed(ui.window())) return fail("the window was not shown");
  if (!ui.startLanes()) return fail("Init did not fill the lane box");
  auto* outputPane = qobject_cast<QQuickItem*>(ui.object("outputPane"));
  if (outputPane == nullptr || !save(ui, outDir, kInitOutputFile, outputPane)) return false;
  // A card read and write first, so that the List page holds a whole trade.
  if (!ui.click("crPage", "btnRead") || !ui.waitIdle()) return fail("the card read failed");
  if (!ui.click("crPage", "btnWrite") || !ui.waitIdle()) return fail("the card write failed");

  for (const Shot& shot : kShots) {
    ui.click("btnClear");
    if (!ui.click(shot.pageName, shot.button) || !ui.waitIdle()) return fail(shot.button);
    consoletest::waitFor([&] { return ui.output().contains("Return:"); });
    ui.showPage(shot.page);
    if (shot.hovered != nullptr) {
      auto* field = qobject_cast<QQuickItem*>(ui.pageItem(shot.pageName, shot.hovered));
      if (field == nullptr) return fail(shot.hovered);
      const QPointF centre = field->mapToScene(QPointF(field->width() / 2, field->height() / 2));
      QTest::mouseMove(ui.window(), centre.toPoint());
    }
    if (!save(ui, outDir, shot.file)) return false;
    if (shot.outputFile != nullptr && !save(ui, outDir, shot.outputFile, outputPane)) return false;
    QTest::mouseMove(ui.window(), QPoint(0, 0));
  }
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: console_screenshots OUTPUT_DIR\n");
    return kUsage;
  }
  const QDir outDir(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
  QGuiApplication app(argc, argv);
  app.setQuitOnLastWindowClosed(false);
  if (!outDir.exists() && !QDir().mkpath(outDir.path())) return kFailed;
  return run(outDir) ? 0 : kFailed;
}
