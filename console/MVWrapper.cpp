#include "MVWrapper.h"

#include <chrono>
#include <climits>
#include <stdexcept>

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQuickTextDocument>
#include <QTextCodec>
#include <QTextDocument>

#include "MyRunnable.h"

namespace {

constexpr int kOutputCapacity = 1024;
constexpr int kPassTimeStepSeconds = 30 * 60;
constexpr int kNanosecondsPerMillisecond = 1000000;
constexpr int kMissingTime = -1;
const char* const kTimeFormat = "yyyyMMddHHmmss";

// Texts cross the library boundary in GBK.
QTextCodec* gbk() {
  static QTextCodec* const codec = QTextCodec::codecForName("gbk");
  return codec;
}

int elapsedMs(std::chrono::steady_clock::time_point start) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
      std::chrono::steady_clock::now() - start);
  return static_cast<int>(ns.count() / kNanosecondsPerMillisecond);
}

int timeMember(const QJsonObject& object, const char* name) {
  return object.value(QLatin1String(name)).toInt(kMissingTime);
}

}  // namespace

MVWrapper::MVWrapper(const std::string& libraryPath, QObject* parent)
    : QObject(parent), binding_(libraryPath) {
  if (!binding_.ok()) {
    throw std::runtime_error(binding_.missingExport().empty()
                                 ? "load DLL failed: " + binding_.loadError()
                                 : binding_.missingExport());
  }
  if (gbk() == nullptr) throw std::runtime_error("no GBK text codec");
  pool_.setMaxThreadCount(INT_MAX);
  qRegisterMetaType<QQuickTextDocument*>();
}

MVWrapper::~MVWrapper() {
  pool_.waitForDone();
  binding_.uninit();
}

void MVWrapper::start(std::function<void()> job) {
  pool_.start(new MyRunnable(std::move(job)));  // the pool owns and deletes it
}

MVWrapper::Outcome MVWrapper::callWithOutput(
    const std::function<int(char* out, int* len)>& call) const {
  QByteArray buffer(kOutputCapacity, '\0');
  int len = kOutputCapacity;
  const auto startTime = std::chrono::steady_clock::now();
  Outcome outcome;
  outcome.rc = call(buffer.data(), &len);
  if (outcome.rc == MAROVEX_STASHED && len > 0) {
    // Zeroed, so that a failed fetch shows nothing rather than stale bytes.
    buffer.fill('\0', len);
    binding_.getResponse(&outcome.rc, buffer.data(), &len);
  }
  outcome.out = gbk()->toUnicode(
      buffer.constData(),
      static_cast<int>(qstrnlen(buffer.constData(), static_cast<uint>(buffer.size()))));
  outcome.ms = elapsedMs(startTime);
  return outcome;
}

void MVWrapper::init(QVariant data) {
  start([this, data] {
    const Outcome r =
        callWithOutput([this](char* out, int* len) { return binding_.init(out, len); });
    emit doneInit(data, r.rc, r.ms, r.out);
  });
}

void MVWrapper::uninit(QVariant data) {
  start([this, data] {
    const auto startTime = std::chrono::steady_clock::now();
    const int rc = binding_.uninit();
    emit doneUninit(data, rc, elapsedMs(startTime));
  });
}

void MVWrapper::startOperation(const char* name, OperationSignal done, const QVariant& data,
                               int laneNo, const QString& input) {
  const MarovexOperationFn operation = binding_.operation(name);
  start([this, operation, done, data, laneNo, input] {
    const Outcome r = callWithOutput([&](char* out, int* len) {
      const QByteArray encoded = gbk()->fromUnicode(input);
      return operation(laneNo, encoded.constData(), out, len);
    });
    emit(this->*done)(data, r.rc, r.ms, r.out);
  });
}

// The eleven lane operations differ only in the export they call and the signal they emit.
#define MVWRAPPER_OPERATION(invokable, Export)                                      \
  void MVWrapper::invokable(QVariant data, int laneNo, QString input) {             \
    startOperation(#Export, &MVWrapper::done##Export, data, laneNo, input);         \
  }

MVWRAPPER_OPERATION(readerRead, ReaderRead)
MVWRAPPER_OPERATION(readerWrite, ReaderWrite)
MVWRAPPER_OPERATION(rsuRead, RSURead)
MVWRAPPER_OPERATION(rsuWrite, RSUWrite)
MVWRAPPER_OPERATION(etcStatusQuery, ETCStatusQuery)
MVWRAPPER_OPERATION(sendNonCashPay, SendNonCashPay)
MVWRAPPER_OPERATION(stopNonCashPay, StopNonCashPay)
MVWRAPPER_OPERATION(listUpLoad, ListUpLoad)
MVWRAPPER_OPERATION(blackListQuery, BlackListQuery)
MVWRAPPER_OPERATION(listQuery, ListQuery)
MVWRAPPER_OPERATION(queryTransDetail, QueryTransDetail)

#undef MVWRAPPER_OPERATION

QString MVWrapper::now() { return QDateTime::currentDateTime().toString(kTimeFormat); }

QString MVWrapper::timeAdd1(QString PassTime) {
  const QDateTime from = PassTime.isEmpty() ? QDateTime::currentDateTime()
                                            : QDateTime::fromString(PassTime, kTimeFormat);
  if (!from.isValid()) return QString();
  return from.addSecs(kPassTimeStepSeconds).toString(kTimeFormat);
}

QString MVWrapper::makeListNo(int provinceNo, int cityNo, int areaNo, int gateNo, int laneNo) {
  return makeNonCashTsSn(provinceNo, cityNo, areaNo, gateNo, laneNo, now());
}

QString MVWrapper::makeNonCashTsSn(int provinceNo, int cityNo, int areaNo, int gateNo, int laneNo,
                                   QString time) {
  return QString::asprintf("%02d%02d%04d%02d%02d%14s%2s", provinceNo, cityNo, areaNo, gateNo,
                           laneNo, time.toLatin1().constData(), "00");
}

void MVWrapper::clearUndoRedo(QQuickTextDocument* doc) {
  if (doc != nullptr) doc->textDocument()->clearUndoRedoStacks();
}

void MVWrapper::setNonUndo(QQuickTextDocument* doc) {
  if (doc != nullptr) doc->textDocument()->setUndoRedoEnabled(false);
}

void MVWrapper::finishPress(QString data, QString file) {
  const QJsonObject times = QJsonDocument::fromJson(data.toLatin1()).object();
  QFile out(file);
  // Binary mode: the line ends in CR LF on every system.
  if (!out.open(QIODevice::WriteOnly | QIODevice::Append)) return;
  out.write(QString::asprintf("%s:\t%d\t%d\r\n", now().toLatin1().constData(),
                              timeMember(times, "ReadTime"), timeMember(times, "WriteTime"))
                .toLocal8Bit());
}
