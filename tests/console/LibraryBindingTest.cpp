// The console's binding of the library by name, and its start when binding fails.
#include <stdexcept>
#include <string>

#include <QFile>
#include <QProcess>
#include <QtTest>

#include "ConsoleHarness.h"
#include "LibraryBinding.h"
#include "MVWrapper.h"

namespace {

constexpr int kProgramDeadlineMs = 30000;

std::string bindingError(const std::string& path) {
  try {
    MVWrapper controller(path);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return std::string();
}

}  // namespace

class LibraryBindingTest : public QObject {
  Q_OBJECT

 private slots:
  void bindsEveryExportOfTheBuiltLibrary() {
    LibraryBinding binding(consoletest::libraryPath());
    QVERIFY2(binding.ok(), binding.error().c_str());
    int code = 0;
    char out[16] = {};
    int len = sizeof out;
    QCOMPARE(binding.getResponse(&code, out, &len), MAROVEX_NOTHING_STASHED);
  }

  void failuresNameTheirCause() {
    const std::string missingFile = bindingError("/nonexistent/" + consoletest::libraryPath());
    QVERIFY2(missingFile.rfind("load DLL failed: ", 0) == 0, missingFile.c_str());
    QVERIFY2(missingFile.size() > std::string("load DLL failed: ").size(), missingFile.c_str());
    // The last export bound is missing: every one is checked, not only the first.
    QCOMPARE(QString::fromStdString(bindingError(PARTIAL_LIBRARY_PATH)), QString("GetResponse"));
  }

  // The program itself, copied where it finds no usable library beside it.
  void programEndsBeforeAnyWindow_data() {
    QTest::addColumn<QString>("library");
    QTest::addColumn<QString>("message");
    QTest::newRow("no library") << QString() << QString("mvclient: load DLL failed: ");
    QTest::newRow("an export missing")
        << QString(PARTIAL_LIBRARY_PATH) << QString("mvclient: GetResponse\n");
  }

  void programEndsBeforeAnyWindow() {
    QFETCH(QString, library);
    QFETCH(QString, message);
    testsupport::ScratchDir dir;
    const QString program = QString::fromStdString(dir.file("mvclient"));
    QVERIFY(QFile::copy(MVCLIENT_PATH, program));
    QVERIFY(QFile::setPermissions(program, QFile::permissions(MVCLIENT_PATH)));
    const std::string beside = dir.file(LibraryBinding::fileName());
    if (!library.isEmpty()) QVERIFY(QFile::copy(library, QString::fromStdString(beside)));

    QProcess run;
    run.start(program, QStringList());
    QVERIFY(run.waitForStarted(kProgramDeadlineMs));
    const bool ended = run.waitForFinished(kProgramDeadlineMs);
    if (!ended) run.kill();
    QVERIFY2(ended, "the console kept running");
    QCOMPARE(run.exitStatus(), QProcess::NormalExit);
    QVERIFY(run.exitCode() != 0);
    const QString stderrText = QString::fromLocal8Bit(run.readAllStandardError());
    QVERIFY2(stderrText.contains(message), qPrintable(stderrText));
  }
};

CONSOLE_TEST_MAIN(LibraryBindingTest, QCoreApplication)

#include "LibraryBindingTest.moc"
