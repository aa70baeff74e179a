// The controller against the built library and the in-process simulator.
#include <memory>

#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaMethod>
#include <QRegularExpression>
#include <QtTest>

#include "ConsoleHarness.h"
#include "MVWrapper.h"

namespace {

using consoletest::kDeadlineMs;
constexpr const char* kTimeFormat = "yyyyMMddHHmmss";
constexpr int kHalfHourSeconds = 30 * 60;
// Longer than the controller's first buffer of 1024 bytes.
constexpr int kLongMemberLength = 3000;
constexpr int kSlowAnswerMs = 1500;
// An answer this late shows in the call's milliseconds.
constexpr int kAnswerDelayMs = 300;

QJsonObject jsonObject(const QString& text) {
  return QJsonDocument::fromJson(text.toUtf8()).object();
}

// A time text is within [from, to] (both yyyyMMddHHmmss), shifted by `offsetSeconds`.
bool timeWithin(const QString& text, const QDateTime& from, const QDateTime& to,
                int offsetSeconds) {
  const QDateTime t = QDateTime::fromString(text, kTimeFormat);
  return t.isValid() && t >= from.addSecs(offsetSeconds - 1) && t <= to.addSecs(offsetSeconds);
}

}  // namespace

class MVWrapperTest : public QObject {
  Q_OBJECT

 private:
  consoletest::LaneWorkspace workspace_;
  std::unique_ptr<MVWrapper> mvclient_;

  // The arguments of the first emission of `signal` after `start` ran.
  template <typename Signal, typename Start>
  QList<QVariant> waitForDone(Signal signal, Start start) {
    consoletest::DoneRecorder done(*mvclient_, signal);
    start();
    done.waitForCount(1);
    return done.first();
  }

  QList<QVariant> init() {
    return waitForDone(&MVWrapper::doneInit, [&] { mvclient_->init(0); });
  }

 private slots:
  void initTestCase() {
    QVERIFY(workspace_.started());
    mvclient_ = std::make_unique<MVWrapper>(consoletest::libraryPath());
    const QList<QVariant> started = init();
    QCOMPARE(started.size(), 4);
    QCOMPARE(started[1].toInt(), 0);
  }

  void cleanup() { workspace_.sim.clearBehaviours(); }

  // The screens' handlers read a done signal's arguments by these names; the signals come first.
  void doneSignalsComeFirstWithTheArgumentNamesTheScreensRead() {
    const QMetaObject& meta = MVWrapper::staticMetaObject;
    int doneSignals = 0;
    bool invokablesBegan = false;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
      const QMetaMethod m = meta.method(i);
      if (m.methodType() != QMetaMethod::Signal) {
        invokablesBegan = true;
        continue;
      }
      QVERIFY2(!invokablesBegan, m.methodSignature().constData());
      const QByteArray names = m.parameterNames().join(',');
      QVERIFY2(names == (m.name() == "doneUninit" ? "data,rc,ms" : "data,rc,ms,out"),
               m.methodSignature().constData());
      ++doneSignals;
    }
    QCOMPARE(doneSignals, 13);
  }

  void outputsArriveWithTheirCode_data() {
    QTest::addColumn<int>("fillerLength");
    QTest::addColumn<QString>("errorCode");
    QTest::newRow("fits the first buffer") << 10 << QString("0");
    QTest::newRow("stashed and fetched with GetResponse") << kLongMemberLength << QString("7");
  }

  void outputsArriveWithTheirCode() {
    QFETCH(int, fillerLength);
    QFETCH(QString, errorCode);
    CommandBehaviour answer;
    answer.errorCode = errorCode.toStdString();
    answer.members["Filler"] = std::string(static_cast<std::size_t>(fillerLength), 'x');
    answer.delayMs = kAnswerDelayMs;
    workspace_.sim.setBehaviour("03017", answer);

    const QVariantMap data{{"tag", "caller's"}};
    const QList<QVariant> done = waitForDone(&MVWrapper::doneBlackListQuery, [&] {
      mvclient_->blackListQuery(data, consoletest::kFirstLane, R"({"CardNo":"4401"})");
    });
    QCOMPARE(done.size(), 4);
    QCOMPARE(done[0].toMap(), data);
    QCOMPARE(done[1].toInt(), errorCode.toInt());
    QVERIFY2(done[2].toInt() >= kAnswerDelayMs, qPrintable(done[2].toString()));
    QCOMPARE(jsonObject(done[3].toString()).value("Filler").toString().size(), fillerLength);
  }

  void uninitReportsWithoutOutput() {
    const QList<QVariant> done =
        waitForDone(&MVWrapper::doneUninit, [&] { mvclient_->uninit(QString("u")); });
    QCOMPARE(done.size(), 3);
    QCOMPARE(done[0].toString(), QString("u"));
    QCOMPARE(done[1].toInt(), 0);
    // The lanes are gone until the next Init.
    const QList<QVariant> after = waitForDone(&MVWrapper::doneETCStatusQuery, [&] {
      mvclient_->etcStatusQuery(0, consoletest::kFirstLane, "{}");
    });
    QCOMPARE(after.value(1).toInt(), MAROVEX_NO_SESSION);
    QCOMPARE(init().value(1).toInt(), 0);
  }

  void textsCrossTheLibraryInGbk() {
    const QList<QVariant> read = waitForDone(&MVWrapper::doneReaderRead, [&] {
      mvclient_->readerRead(0, consoletest::kFirstLane, R"({"TimeOut":"500"})");
    });
    QCOMPARE(read.value(1).toInt(), 0);
    QCOMPARE(jsonObject(read.value(3).toString()).value("VehPlate").toString(),
             QString::fromUtf8(consoletest::kChinesePlate));

    workspace_.sim.clearReceived();
    const QString cardNo = QString::fromUtf8("粤B-卡");
    const QList<QVariant> query = waitForDone(&MVWrapper::doneBlackListQuery, [&] {
      mvclient_->blackListQuery(0, consoletest::kFirstLane,
                                QString(R"({"CardNo":"%1"})").arg(cardNo));
    });
    QCOMPARE(query.value(1).toInt(), 0);
    const auto sent = workspace_.sim.receivedWith("03017");
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(QByteArray::fromStdString(sent[0].json["CardNo"].asString()),
             consoletest::gbkBytes(cardNo));
  }

  void everyCallGetsAThreadOfItsOwn() {
    CommandBehaviour slow;
    slow.delayMs = kSlowAnswerMs;
    workspace_.sim.setBehaviour("03017", slow);
    workspace_.sim.setBehaviour("03032", slow);
    consoletest::DoneRecorder slowBlackList(*mvclient_, &MVWrapper::doneBlackListQuery);
    consoletest::DoneRecorder slowDetail(*mvclient_, &MVWrapper::doneQueryTransDetail);
    consoletest::DoneRecorder fastDone(*mvclient_, &MVWrapper::doneListQuery);
    // Four slow calls on four channels: more than a pool sized by this machine's cores would run.
    for (int lane : {consoletest::kFirstLane, consoletest::kSecondLane}) {
      mvclient_->blackListQuery(0, lane, R"({"CardNo":"4401"})");
      mvclient_->queryTransDetail(0, lane, R"({"Page":"1","PageSize":"50"})");
    }
    mvclient_->listQuery(0, consoletest::kFirstLane, R"({"ListNo":"1"})");
    QVERIFY(fastDone.waitForCount(1));
    QCOMPARE(slowBlackList.count() + slowDetail.count(), 0);
    QVERIFY(slowBlackList.waitForCount(2) && slowDetail.waitForCount(2));
  }

  void timeAdd1AddsHalfAnHour_data() {
    QTest::addColumn<QString>("passTime");
    QTest::addColumn<QString>("expected");
    QTest::newRow("same hour") << "20261206173005"
                               << "20261206180005";
    QTest::newRow("over the new year") << "20261231234500"
                                       << "20270101001500";
    QTest::newRow("garbage") << "garbage"
                             << "";
    QTest::newRow("no such day") << "20261232120000"
                                 << "";
  }

  void timeAdd1AddsHalfAnHour() {
    QFETCH(QString, passTime);
    QFETCH(QString, expected);
    QCOMPARE(mvclient_->timeAdd1(passTime), expected);
  }

  void timesFromNowAreLocalAndComplete() {
    const QDateTime before = QDateTime::currentDateTime();
    const QString now = mvclient_->now();
    const QString later = mvclient_->timeAdd1("");
    const QString listNo = mvclient_->makeListNo(44, 1, 2, 3, 4);
    const QDateTime after = QDateTime::currentDateTime();

    QVERIFY2(timeWithin(now, before, after, 0), qPrintable(now));
    QVERIFY2(timeWithin(later, before, after, kHalfHourSeconds), qPrintable(later));
    QCOMPARE(listNo.size(), 28);
    QCOMPARE(listNo.left(12), QString("440100020304"));
    QVERIFY2(timeWithin(listNo.mid(12, 14), before, after, 0), qPrintable(listNo));
    QCOMPARE(listNo.right(2), QString("00"));
  }

  void nonCashSerialsPadTheTimeOnTheLeft_data() {
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a full time") << "20261206173005"
                                 << "4401000203042026120617300500";
    QTest::newRow("empty") << ""
                           << "440100020304              00";
    QTest::newRow("short") << "1730"
                           << "440100020304          173000";
    QTest::newRow("long, not cut") << "202612061730059"
                                   << "44010002030420261206173005900";
  }

  void nonCashSerialsPadTheTimeOnTheLeft() {
    QFETCH(QString, time);
    QFETCH(QString, expected);
    QCOMPARE(mvclient_->makeNonCashTsSn(44, 1, 2, 3, 4, time), expected);
  }

  void finishPressAppendsOneTimingLine_data() {
    QTest::addColumn<QString>("data");
    QTest::addColumn<QString>("times");
    QTest::newRow("read only") << R"({"ReadTime":120})"
                               << "120\t-1";
    QTest::newRow("read and write") << R"({"ReadTime":120,"WriteTime":35})"
                                    << "120\t35";
    QTest::newRow("times as texts") << R"({"ReadTime":"120","WriteTime":"35"})"
                                    << "-1\t-1";
    QTest::newRow("not JSON") << "not json"
                              << "-1\t-1";
  }

  void finishPressAppendsOneTimingLine() {
    QFETCH(QString, data);
    QFETCH(QString, times);
    const QString file = QString::fromStdString(workspace_.file("timing.txt"));
    QFile::remove(file);
    mvclient_->finishPress(data, file);
    mvclient_->finishPress(data, file);
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(written.readAll());
    const QRegularExpression line("^\\d{14}:\\t" + times + "\\r\\n\\d{14}:\\t" + times + "\\r\\n$");
    QVERIFY2(line.match(text).hasMatch(), qPrintable(text));
  }

  // Nothing is written anywhere, no folder made, for a folder or a file in a missing folder.
  void finishPressIgnoresAFileItCannotOpen() {
    const QDir workspace(QString::fromStdString(workspace_.file("")));
    const QStringList before = workspace.entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    mvclient_->finishPress(R"({"ReadTime":1})", workspace.path());
    mvclient_->finishPress(R"({"ReadTime":1})", workspace.filePath("missing/timing.txt"));
    QCOMPARE(workspace.entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
  }
};

CONSOLE_TEST_MAIN(MVWrapperTest, QCoreApplication)

#include "MVWrapperTest.moc"
