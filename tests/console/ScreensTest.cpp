// The screens driven as a person drives them, against the built library and the simulator.
#include <memory>

#include <QDateTime>
#include <QFile>
#include <QQuickTextDocument>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTextDocument>
#include <QtTest>

#include "ConsoleHarness.h"
#include "MVWrapper.h"

namespace {

using consoletest::waitFor;
constexpr const char* kCardNo = "44011001220000123456";
// The first lane of the workspace: province 44, city 1, area 101, gate 2, lane 1.
constexpr const char* kFirstLaneIdentity = "440101010201";
constexpr const char* kReadPassTime = "20261206173005";
constexpr int kLoadTestIntervalMs = 20;
constexpr int kLoadTestCycles = 3;

int lineCount(const QString& text, const QString& line) {
  return text.split('\n')
      .filter(QRegularExpression("^" + QRegularExpression::escape(line) + "$"))
      .size();
}

}  // namespace

class ScreensTest : public QObject {
  Q_OBJECT

 private:
  consoletest::LaneWorkspace workspace_;
  std::unique_ptr<MVWrapper> mvclient_;
  std::unique_ptr<consoletest::ConsoleScreens> screens_;

  consoletest::ConsoleScreens& ui() { return *screens_; }

  bool outputHas(const QString& piece) {
    return waitFor([&] { return ui().output().contains(piece); });
  }

  bool clickAndWaitIdle(const char* page, const char* button) {
    return ui().click(page, button) && ui().waitIdle();
  }

 private slots:
  void initTestCase() {
    QVERIFY(workspace_.started());
    mvclient_ = std::make_unique<MVWrapper>(consoletest::libraryPath());
    screens_ = std::make_unique<consoletest::ConsoleScreens>(*mvclient_);
    QVERIFY(ui().loaded());
    // Closing the window is a test of its own, not the end of the run.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    QVERIFY(QTest::qWaitForWindowExposed(ui().window()));
    QCOMPARE(ui().window()->title(), QString("Quenlow"));
    QCOMPARE(ui().window()->size(), QSize(800, 640));
    // The output pane keeps no undo history: a long load test would only grow it.
    auto* output = ui().object("output")->property("textDocument").value<QQuickTextDocument*>();
    QVERIFY(output != nullptr && !output->textDocument()->isUndoRedoEnabled());
  }

  void cleanup() {
    for (const char* timer : {"swtReaderOnOff", "swtRSUOnOff"})
      ui().setChecked("otherPage", timer, false);
    QVERIFY(ui().waitIdle());
    workspace_.sim.clearBehaviours();
    QVERIFY(ui().click("btnClear"));
  }

  void initFillsTheLaneBoxAndUnInitEmptiesIt() {
    QVERIFY(ui().click("btnInit"));
    QVERIFY(waitFor([&] { return ui().laneCount() == 2; }));
    QObject* laneBox = ui().object("laneBox");
    QCOMPARE(laneBox->property("currentIndex").toInt(), 0);
    QCOMPARE(laneBox->property("displayText").toString(), QString("LaneNo:1 / IP: 127.0.0.1"));
    QCOMPARE(ui().rootInt("provinceNo"), 44);
    QCOMPARE(ui().rootInt("cityNo"), 1);
    QCOMPARE(ui().rootInt("areaNo"), 101);
    QCOMPARE(ui().rootInt("gateNo"), 2);
    QCOMPARE(ui().rootInt("laneNo"), 1);
    QVERIFY(outputHas("Initialize ------------------->\nReturn: 0\nTime Consume: "));

    laneBox->setProperty("currentIndex", 1);
    QCOMPARE(laneBox->property("displayText").toString(), QString("LaneNo:2 / IP: 127.0.0.1"));
    QCOMPARE(ui().rootInt("laneNo"), 2);

    QVERIFY(ui().click("btnUnInit"));
    QVERIFY(outputHas("Uninstall ------------------->\nReturn: 0\nTime Consume: "));
    QVERIFY(waitFor([&] { return ui().laneCount() == 0; }));
    QCOMPARE(laneBox->property("displayText").toString(), QString());
  }

  void aFailedInitKeepsTheLaneList() {
    QVERIFY(ui().startLanes());
    workspace_.writeConfig("[Global]\nMvLaneNum=0\n");
    QVERIFY(ui().click("btnInit"));
    QVERIFY(outputHas("Initialize ------------------->\nReturn: -1\n"));
    QVERIFY(ui().waitIdle());
    workspace_.writeLaneConfig();
    QCOMPARE(ui().laneCount(), 2);
    QCOMPARE(ui().rootInt("laneNo"), 1);
  }

  void aCardReadFillsTheReaderListAndNonCashFields() {
    QVERIFY(ui().startLanes());
    CommandBehaviour info;
    info.members["PassTime"] = kReadPassTime;
    info.members["OperatorNo"] = "0007";
    info.members["CheckCode"] = "C0DE";
    workspace_.sim.setBehaviour("03026", info);
    // Members the answer lacks leave their fields empty.
    ui().setText("crPage", "editOutFlag", "stale");
    ui().setText("crPage", "editOfferTime", "stale");

    QVERIFY(clickAndWaitIdle("crPage", "btnRead"));
    QVERIFY(outputHas("ReaderRead ------------------->\nReturn: 0\nTime Consume: "));
    const QString plate = QString::fromUtf8(consoletest::kChinesePlate);
    QCOMPARE(ui().text("crPage", "editCardNo"), QString(kCardNo));
    QCOMPARE(ui().text("crPage", "editVehPlate"), plate);
    QCOMPARE(ui().text("crPage", "editOperatorNo"), QString("0007"));
    QCOMPARE(ui().text("crPage", "editCheckCode"), QString("C0DE"));
    QCOMPARE(ui().text("crPage", "editPassTime"), QString("20261206180005"));
    QCOMPARE(ui().text("crPage", "editOutFlag"), QString());
    QCOMPARE(ui().text("crPage", "editOfferTime"), QString());

    QCOMPARE(ui().text("listPage", "editCardNo"), QString(kCardNo));
    QVERIFY(!ui().text("listPage", "editBalance").isEmpty());
    for (const char* side : {"En", "Ex"}) {
      const auto field = [&](const char* name) {
        return ui().text("listPage", qPrintable(QString("edit") + side + name));
      };
      QCOMPARE(field("AreaNo"), QString("101"));
      QCOMPARE(field("GateNo"), QString("2"));
      QCOMPARE(field("LaneNo"), QString("1"));
      QCOMPARE(field("Time"), QString(kReadPassTime));
      QCOMPARE(field("VehPlate"), plate);
      QCOMPARE(field("OperatorNo"), QString("0007"));
    }

    QCOMPARE(ui().text("otherPage", "editNonCashCardNo"), QString(kCardNo));
    QCOMPARE(ui().text("otherPage", "editVehPlate"), plate);
    const QString requestTime = ui().text("otherPage", "editRequestTime");
    QVERIFY(QDateTime::fromString(requestTime, "yyyyMMddHHmmss").isValid());
    QCOMPARE(ui().text("otherPage", "editNonCashTsSn"),
             QString(kFirstLaneIdentity) + requestTime + "00");
  }

  void anObuReadFillsTheRsuAndListPagesOnly() {
    QVERIFY(ui().startLanes());
    ui().setText("otherPage", "editRequestTime", "untouched");
    QVERIFY(clickAndWaitIdle("rsuPage", "btnRead"));
    QVERIFY(outputHas("RSURead ------------------->\nReturn: 0\n"));
    for (const char* page : {"rsuPage", "listPage"}) {
      QCOMPARE(ui().text(page, "editOBUID"), QString("0A1B2C3D"));
      QCOMPARE(ui().text(page, "editOBUNO"), QString("4401000012345678"));
      QCOMPARE(ui().text(page, "editCardNo"), QString(kCardNo));
    }
    QCOMPARE(ui().text("rsuPage", "editVehPlate"), QString::fromUtf8(consoletest::kChinesePlate));
    QCOMPARE(ui().text("otherPage", "editRequestTime"), QString("untouched"));
  }

  void aWriteFillsTheListData_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("tradeDevice");
    QTest::newRow("card reader") << "crPage"
                                 << "1";
    QTest::newRow("roadside unit") << "rsuPage"
                                   << "0";
  }

  void aWriteFillsTheListData() {
    QFETCH(QString, page);
    QFETCH(QString, tradeDevice);
    const QByteArray p = page.toLatin1();
    QVERIFY(ui().startLanes());
    QVERIFY(clickAndWaitIdle(p, "btnRead"));
    ui().setText(p, "editCashMoney", "1500");
    ui().setText("listPage", "editListType", "");
    QVERIFY(clickAndWaitIdle(p, "btnWrite"));

    QCOMPARE(ui().text("listPage", "editListType"), QString("1"));
    QCOMPARE(ui().text("listPage", "editTradeDevice"), tradeDevice);
    QCOMPARE(ui().text("listPage", "editCashMoney"), QString("1500"));
    for (const char* member : {"editKeyServiceNo", "editTermTradeNo", "editCardTradeNo", "editTac"})
      QVERIFY2(!ui().text("listPage", member).isEmpty(), member);
    const QString passTime = ui().text(p, "editPassTime");
    QCOMPARE(ui().text("listPage", "editEnTime"), passTime);
    QCOMPARE(ui().text("listPage", "editExTime"), passTime);
    const QString listNo = ui().text("listPage", "editListNo");
    QCOMPARE(listNo.size(), 28);
    QVERIFY2(listNo.startsWith(kFirstLaneIdentity) && listNo.endsWith("00"), qPrintable(listNo));
  }

  // A cycle is read, then write if its switch is on, then a timing line, then an upload if its
  // switch is on; the timer starts a read only while none is in flight, so no read finds its
  // device channel busy.
  void theLoadTestRunsCyclesAndLogsTheirTimes_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("upload");
    QTest::newRow("reader, read only") << "Reader" << false << false;
    QTest::newRow("reader, write and upload") << "Reader" << true << true;
    QTest::newRow("RSU, write") << "RSU" << true << false;
  }

  void theLoadTestRunsCyclesAndLogsTheirTimes() {
    QFETCH(QString, device);
    QFETCH(bool, write);
    QFETCH(bool, upload);
    QVERIFY(ui().startLanes());
    QVERIFY(ui().click("btnClear"));
    CommandBehaviour slowSearch;
    slowSearch.delayMs = 5 * kLoadTestIntervalMs;
    workspace_.sim.setBehaviour(device == "Reader" ? "03010" : "03005", slowSearch);
    workspace_.sim.clearReceived();
    const QString logName = device + "-timing.txt";
    QFile::remove(logName);
    const auto alias = [&](const char* name) { return (QString(name).arg(device)).toLatin1(); };
    ui().setText("otherPage", alias("edit%1Log"), logName);
    ui().setText("otherPage", alias("edit%1Interval"), QString::number(kLoadTestIntervalMs));
    ui().setChecked("otherPage", alias("swt%1Write"), write);
    ui().setChecked("otherPage", alias("swt%1UpLoad"), upload);

    ui().setChecked("otherPage", alias("swt%1OnOff"), true);
    const auto timingLines = [&] {
      QFile log(logName);
      return log.open(QIODevice::ReadOnly) ? QString::fromLatin1(log.readAll()) : QString();
    };
    QVERIFY(waitFor([&] { return timingLines().count('\n') >= kLoadTestCycles; }));
    ui().setChecked("otherPage", alias("swt%1OnOff"), false);
    QVERIFY(ui().waitIdle());

    const QString lines = timingLines();
    const QString writeTime = write ? "\\d+" : "-1";
    const QRegularExpression cycle("^(\\d{14}:\\t\\d+\\t" + writeTime + "\\r\\n)+$");
    QVERIFY2(cycle.match(lines).hasMatch(), qPrintable(lines));

    const QString out = ui().output();
    const int cycles = lines.count('\n');
    const QString read = device == "Reader" ? "ReaderRead" : "RSURead";
    const QString written = device == "Reader" ? "ReaderWrite" : "RSUWrite";
    QCOMPARE(lineCount(out, read + " Return: 0"), cycles);
    QCOMPARE(lineCount(out, written + " Return: 0"), write ? cycles : 0);
    QCOMPARE(lineCount(out, "ListUpLoad Return: 0"), upload ? cycles : 0);
    QVERIFY2(!out.contains(" ------------------->"), qPrintable(out));
    QCOMPARE(workspace_.sim.receivedWith("03013").size(), std::size_t(upload ? cycles : 0));
  }

  void etcStatusQuerySendsAnEmptyObject() {
    QVERIFY(ui().startLanes());
    QVERIFY(ui().click("otherPage", "btnETCStatusQuery"));
    QVERIFY(outputHas("EtcStatusQuery ------------------->\nReturn: 0\n"));
    const QRegularExpression input(":1 ETCStatusQuery input=\\{\\}\n");
    QVERIFY(waitFor(
        [&] { return input.match(QString::fromStdString(workspace_.logText())).hasMatch(); }));
  }

  void closingTheWindowStopsTheTimers() {
    ui().setText("otherPage", "editReaderInterval", "60000");
    ui().setText("otherPage", "editRSUInterval", "60000");
    ui().setChecked("otherPage", "swtReaderOnOff", true);
    ui().setChecked("otherPage", "swtRSUOnOff", true);
    ui().object("swtAutoClear")->setProperty("checked", true);
    const char* const timers[] = {"readerTimer", "rsuTimer", "autoClearTimer"};
    for (const char* timer : timers) QVERIFY(ui().object(timer)->property("running").toBool());

    QVERIFY(ui().window()->close());
    for (const char* timer : timers)
      QVERIFY2(!ui().object(timer)->property("running").toBool(), timer);
  }
};

CONSOLE_TEST_MAIN(ScreensTest, QGuiApplication)

#include "ScreensTest.moc"
