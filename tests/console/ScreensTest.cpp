// The screens driven as a person drives them, against the built library and the simulator.
#include <chrono>
#include <memory>

#include <QDateTime>
#include <QFile>
#include <QMetaProperty>
#include <QQuickItem>
#include <QQuickTextDocument>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTextBlock>
#include <QTextLayout>
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

constexpr const char* kFailureCode = "7";
constexpr std::chrono::milliseconds kPacketDeadline(consoletest::kDeadlineMs);

int lineCount(const QString& text, const QString& line) {
  return text.split('\n')
      .filter(QRegularExpression("^" + QRegularExpression::escape(line) + "$"))
      .size();
}

// A member of a request and the field it comes from: "Key" names the field editKey of the
// button's page, "Key=page.alias" a field elsewhere.
struct SentMember {
  QString key;
  QByteArray page;
  QByteArray alias;
};

SentMember sentMember(const QString& entry, const QString& buttonPage) {
  const QStringList parts = entry.split(QRegularExpression("[=.]"));
  if (parts.size() == 3) return {parts[0], parts[1].toLatin1(), parts[2].toLatin1()};
  return {entry, buttonPage.toLatin1(), ("edit" + entry).toLatin1()};
}

// A text for the nth member of a request that the wire encodings leave as it is: digits where
// the member goes as a number, a zero and one digit where it goes as two hex digits, seven zeros
// and one digit for eight, a card number that asks for the "44" commands. The time-outs keep
// their fields' defaults, which the library checks; null: keep the field's text.
QString distinctText(const QString& key, int n) {
  if (key == "TimeOut" || key == "Timeout") return QString();
  if (key == "CardNo") return QString("44%1").arg(n, 18, 10, QLatin1Char('0'));
  if (key == "VehType" || key == "VehClass" || key == "OutFlag") return QString("0%1").arg(n % 10);
  if (key == "LittleCashMoney" || key == "LittleTime") return QString("0000000%1").arg(n % 10);
  return QString::number(1000 + n);
}

// A member as the simulator received it, as text: numbers in decimal.
QString wireText(const Json::Value& request, const QString& key) {
  const Json::Value& value = request[key.toStdString()];
  if (value.isString()) return QString::fromStdString(value.asString());
  if (value.isIntegral()) return QString::number(value.asInt64());
  return value.isNull() ? QString("(missing)") : QString("(not text)");
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
    // Away from every field, so that no tooltip lies over the next test's buttons.
    QTest::mouseMove(ui().window(), QPoint(1, 1));
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

  // A cycle is read, then write if its switch is on and the read returned 0, then a timing line,
  // then an upload if its switch is on and a write was made, whatever the write returned; the
  // timer starts a read only while none is in flight, so no read finds its device channel busy.
  void theLoadTestRunsCyclesAndLogsTheirTimes_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("write");
    QTest::addColumn<bool>("upload");
    QTest::addColumn<QString>("failing");  // the step answered with an error code, or none
    QTest::newRow("reader, read only") << "Reader" << false << false << "";
    QTest::newRow("reader, write and upload") << "Reader" << true << true << "";
    QTest::newRow("RSU, write") << "RSU" << true << false << "";
    QTest::newRow("reader, the read fails") << "Reader" << true << true << "read";
    QTest::newRow("reader, the write fails") << "Reader" << true << true << "write";
    QTest::newRow("RSU, the write fails") << "RSU" << true << true << "write";
  }

  void theLoadTestRunsCyclesAndLogsTheirTimes() {
    QFETCH(QString, device);
    QFETCH(bool, write);
    QFETCH(bool, upload);
    QFETCH(QString, failing);
    const bool reader = device == "Reader";
    const std::string writeCommand = reader ? "03024" : "03023";
    QVERIFY(ui().startLanes());
    QVERIFY(ui().click("btnClear"));
    CommandBehaviour slowSearch;
    slowSearch.delayMs = 5 * kLoadTestIntervalMs;
    if (failing == "read") slowSearch.errorCode = kFailureCode;
    workspace_.sim.setBehaviour(reader ? "03010" : "03005", slowSearch);
    if (failing == "write") {
      CommandBehaviour refused;
      refused.errorCode = kFailureCode;
      workspace_.sim.setBehaviour(writeCommand, refused);
    }
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

    const bool readOk = failing != "read";
    const bool wrote = write && readOk;
    const bool writeOk = wrote && failing != "write";
    const QString lines = timingLines();
    const QString readTime = readOk ? "\\d+" : "-1";
    const QString writeTime = writeOk ? "\\d+" : "-1";
    const QRegularExpression cycle("^(\\d{14}:\\t" + readTime + "\\t" + writeTime + "\\r\\n)+$");
    QVERIFY2(cycle.match(lines).hasMatch(), qPrintable(lines));

    const QString out = ui().output();
    const int cycles = lines.count('\n');
    const QString read = reader ? "ReaderRead" : "RSURead";
    const QString written = reader ? "ReaderWrite" : "RSUWrite";
    QCOMPARE(lineCount(out, read + " Return: " + (readOk ? "0" : kFailureCode)), cycles);
    QCOMPARE(lineCount(out, written + " Return: " + (writeOk ? "0" : kFailureCode)),
             wrote ? cycles : 0);
    QCOMPARE(lineCount(out, "ListUpLoad Return: 0"), upload && wrote ? cycles : 0);
    QVERIFY2(!out.contains(" ------------------->"), qPrintable(out));
    QCOMPARE(workspace_.sim.receivedWith(writeCommand).size(), std::size_t(wrote ? cycles : 0));
    QCOMPARE(workspace_.sim.receivedWith("03013").size(), std::size_t(upload && wrote ? cycles : 0));
  }

  // Each button's request, as the simulator receives it, against the fields it is made of: every
  // member from its own field (distinct texts, so that a swap shows), and no other field of the
  // page (the device ids excepted, which the library adds itself).
  void eachButtonSendsItsFields_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QStringList>("members");
    const QStringList cardWrite = {"CardNo", "CashMoney", "CardAreaNo", "CardGateNo",
        "CardLaneNo", "PassTime", "VehPlate", "VehType", "VehClass", "OutFlag", "OperatorNo",
        "LittleGateNo", "LittleLaneNo", "LittlePassTime", "LittleCashMoney", "LittleTime",
        "OfferType", "OfferTime", "CheckCode"};
    QTest::newRow("Reader Read") << "crPage" << "btnRead" << "03010" << "ReaderRead"
                                 << QStringList{"TimeOut"};
    // BackUp is not sent from the Reader page.
    QTest::newRow("Reader Write") << "crPage" << "btnWrite" << "03024" << "ReaderWrite"
                                  << cardWrite;
    QTest::newRow("RSU Read") << "rsuPage" << "btnRead" << "03005" << "RSURead"
                              << QStringList{"TimeOut"};
    QTest::newRow("RSU Write") << "rsuPage" << "btnWrite" << "03023" << "RSUWrite"
                               << QStringList{"OBUID", "OBUNO"} + cardWrite + QStringList{"BackUp"};
    QTest::newRow("List Upload") << "listPage" << "btnUpload" << "03013" << "ListUpLoad"
        << QStringList{"ListType", "ListNo", "KeyServiceNo", "TradeType", "TermCode",
                       "TermTradeNo", "CardTradeNo", "Tac", "OBUID", "OBUNO", "CardNo",
                       "CashMoney", "Balance", "TradeDevice", "VehPicture", "VehPictureLen",
                       "SquadDate", "ShiftID", "ExTime", "ExAreaNo", "ExGateNo", "ExLaneNo",
                       "ExOperatorNo", "ExVehPlate", "ExVehType", "ExVehClass", "EnTime",
                       "EnAreaNo", "EnGateNo", "EnLaneNo", "EnOperatorNo", "EnVehPlate",
                       "EnVehType", "EnVehClass"};
    QTest::newRow("List Query") << "listPage" << "btnQuery" << "03014" << "ListQuery"
                                << QStringList{"ListNo"};
    // The Other page's two CardNo fields: the black list's and the non-cash payment's.
    QTest::newRow("BlackListQuery") << "otherPage" << "btnBlackListQuery" << "03017"
        << "BlackListQuery"
        << QStringList{"ListNo=listPage.editListNo", "CardNo=otherPage.editBlackCardNo", "OBUID",
                       "OBUNO", "CardFirTime", "OBUFirTime"};
    QTest::newRow("SendNonCashPay") << "otherPage" << "btnSendNonCashPay" << "03029"
        << "SendNonCashPay"
        << QStringList{"ScannerID", "NonCashTsSn", "CashMoney",
                       "CardNo=otherPage.editNonCashCardNo", "RequestTime", "VehPlate",
                       "ChargeType", "ChargeDetail", "Timeout"};
    QTest::newRow("StopNonCashPay") << "otherPage" << "btnStopNonCashPay" << "03031"
                                    << "StopNonCashPay" << QStringList{"ScannerID", "NonCashTsSn"};
    QTest::newRow("QueryTransDetail") << "otherPage" << "btnQueryTransDetail" << "03032"
                                      << "QueryTransDetail" << QStringList{"Page", "PageSize"};
  }

  void eachButtonSendsItsFields() {
    QFETCH(QString, page);
    QFETCH(QString, button);
    QFETCH(QString, command);
    QFETCH(QString, report);
    QFETCH(QStringList, members);
    QVERIFY(ui().startLanes());
    QMap<QString, QString> fieldTexts;
    int n = 0;
    for (const QString& entry : members) {
      const SentMember member = sentMember(entry, page);
      const QString text = distinctText(member.key, ++n);
      if (!text.isNull()) ui().setText(member.page, member.alias, text);
      fieldTexts[member.key] = ui().text(member.page, member.alias);
    }
    workspace_.sim.clearReceived();
    QVERIFY(ui().click(page.toLatin1(), button.toLatin1()));
    SimPacket request;
    QVERIFY(workspace_.sim.waitForPacket(command.toStdString(), kPacketDeadline, &request));
    QVERIFY(outputHas(report + " ------------------->\nReturn: "));

    // The writes carry the plate as the hex of its bytes, filled up to 20 digits.
    const bool plateAsHex = command == "03024" || command == "03023";
    for (auto it = fieldTexts.cbegin(); it != fieldTexts.cend(); ++it) {
      const QString expected = plateAsHex && it.key() == "VehPlate"
                                   ? QString(it.value().toLatin1().toHex().leftJustified(20, '0'))
                                   : it.value();
      QVERIFY2(wireText(request.json, it.key()) == expected,
               qPrintable(it.key() + ": " + wireText(request.json, it.key()) + ", field " + expected));
    }
    const QMetaObject* fields = ui().object(page.toLatin1())->metaObject();
    for (int i = 0; i < fields->propertyCount(); ++i) {
      const QString alias = QString::fromLatin1(fields->property(i).name());
      const QString key = alias.mid(4);
      if (!alias.startsWith("edit") || fieldTexts.contains(key) || key == "ReaderID" ||
          key == "RSUID")
        continue;
      QVERIFY2(!request.json.isMember(key.toStdString()), qPrintable(key + " was sent"));
    }
  }

  // The library's JSON texts are indented with tabs, which the pane keeps; at a narrow tab stop a
  // member of a lane in the Init summary stays on the line of its key, where a wide one would put
  // "AreaNo" at the right and its value on the next line.
  void initsSummaryKeepsEachMemberOnItsLine() {
    QVERIFY(ui().startLanes());
    QVERIFY(ui().click("btnClear"));
    QVERIFY(ui().click("btnInit"));
    QVERIFY(outputHas("\n]\n"));
    const QString member = "\t\t\"AreaNo\" : \"101\",";
    QVERIFY2(ui().output().contains("\n\t{\n" + member + "\n"), qPrintable(ui().output()));
    QTextDocument* doc = ui()
                             .object("output")
                             ->property("textDocument")
                             .value<QQuickTextDocument*>()
                             ->textDocument();
    const QTextBlock line = doc->find(member).block();
    QVERIFY(line.isValid() && line.layout() != nullptr);
    QCOMPARE(line.layout()->lineCount(), 1);
  }

  // A value wider than its field shows its end, and hovering the field shows it whole; a value
  // that fits shows whole.
  void longValuesShowTheirEndAndTheWholeValueOnHover_data() {
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("fits");  // whether it must be in sight whole
    QTest::newRow("card number") << "crPage" << "editCardNo" << kCardNo << false;
    QTest::newRow("OBU number") << "rsuPage" << "editOBUNO" << "4401000012345678" << false;
    QTest::newRow("pass time") << "crPage" << "editPassTime" << kReadPassTime << false;
    QTest::newRow("non-cash serial") << "otherPage" << "editNonCashTsSn"
                                     << "4401010102012026120617300500" << false;
    QTest::newRow("a short value") << "crPage" << "editCashMoney" << "1" << true;
  }

  void longValuesShowTheirEndAndTheWholeValueOnHover() {
    QFETCH(QString, page);
    QFETCH(QString, alias);
    QFETCH(QString, value);
    QFETCH(bool, fits);
    ui().setText(page.toLatin1(), alias.toLatin1(), value);
    auto* field = qobject_cast<QQuickItem*>(ui().pageItem(page.toLatin1(), alias.toLatin1()));
    QVERIFY(field != nullptr);
    // Cursor positions are given from the left end of the text area inside the paddings.
    const qreal textWidth = field->width() - field->property("leftPadding").toReal() -
                            field->property("rightPadding").toReal();
    const auto inSight = [&](int position) {
      QRectF cursor;
      QMetaObject::invokeMethod(field, "positionToRectangle", Q_RETURN_ARG(QRectF, cursor),
                                Q_ARG(int, position));
      return cursor.x() >= -0.5 && cursor.x() <= textWidth + 0.5;
    };
    QVERIFY2(inSight(value.size()), "the end of the value is out of sight");
    if (fits) QVERIFY2(inSight(0), "the start of the value is out of sight");
    if (!inSight(0)) {
      QVERIFY(ui().hover(field));
      QVERIFY2(waitFor([&] { return ui().toolTipShows(value); }), "no tooltip with the value");
    }
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
