// The console's controller, seen by the screens as "mvclient": every library call runs on a pool
// thread of its own and reports through its done signal; a few formatting helpers prepare test
// data; finishPress writes the load test's timing file.
#pragma once

#include <functional>
#include <string>

#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QVariant>

#include "LibraryBinding.h"

class QQuickTextDocument;

class MVWrapper : public QObject {
  Q_OBJECT

 public:
  // Binds the library at `libraryPath`. Throws std::runtime_error whose text is "load DLL failed: "
  // and the loader's reason, or the name of an export the library lacks.
  explicit MVWrapper(const std::string& libraryPath, QObject* parent = nullptr);
  // Waits for every running call, then stops every lane and unloads the library.
  ~MVWrapper() override;

  // Emitted on the pool thread that ran the call. `data` is the caller's value unchanged, `rc` the
  // library's result (after GetResponse when the output was stashed), `ms` the whole milliseconds
  // the call took and `out` its output text.
 signals:
  void doneInit(QVariant data, int rc, int ms, QString out);
  void doneUninit(QVariant data, int rc, int ms);
  void doneReaderRead(QVariant data, int rc, int ms, QString out);
  void doneReaderWrite(QVariant data, int rc, int ms, QString out);
  void doneRSURead(QVariant data, int rc, int ms, QString out);
  void doneRSUWrite(QVariant data, int rc, int ms, QString out);
  void doneListUpLoad(QVariant data, int rc, int ms, QString out);
  void doneListQuery(QVariant data, int rc, int ms, QString out);
  void doneETCStatusQuery(QVariant data, int rc, int ms, QString out);
  void doneBlackListQuery(QVariant data, int rc, int ms, QString out);
  void doneSendNonCashPay(QVariant data, int rc, int ms, QString out);
  void doneStopNonCashPay(QVariant data, int rc, int ms, QString out);
  void doneQueryTransDetail(QVariant data, int rc, int ms, QString out);

 public:
  // The calls: each returns at once, called on the GUI thread.
  Q_INVOKABLE void init(QVariant data);
  Q_INVOKABLE void uninit(QVariant data);
  Q_INVOKABLE void readerRead(QVariant data, int laneNo, QString input);
  Q_INVOKABLE void readerWrite(QVariant data, int laneNo, QString input);
  Q_INVOKABLE void rsuRead(QVariant data, int laneNo, QString input);
  Q_INVOKABLE void rsuWrite(QVariant data, int laneNo, QString input);
  Q_INVOKABLE void etcStatusQuery(QVariant data, int laneNo, QString input);
  Q_INVOKABLE void sendNonCashPay(QVariant data, int laneNo, QString input);
  Q_INVOKABLE void stopNonCashPay(QVariant data, int laneNo, QString input);
  Q_INVOKABLE void listUpLoad(QVariant data, int laneNo, QString input);
  Q_INVOKABLE void blackListQuery(QVariant data, int laneNo, QString input);
  Q_INVOKABLE void listQuery(QVariant data, int laneNo, QString input);
  Q_INVOKABLE void queryTransDetail(QVariant data, int laneNo, QString input);

  // Local time now as yyyyMMddHHmmss.
  Q_INVOKABLE QString now();
  // PassTime (yyyyMMddHHmmss; empty for now) plus 30 minutes, or "" when it does not parse.
  Q_INVOKABLE QString timeAdd1(QString PassTime);
  // Lane identity, the time now and "00": 28 characters when the numbers are in range.
  Q_INVOKABLE QString makeListNo(int provinceNo, int cityNo, int areaNo, int gateNo, int laneNo);
  // As makeListNo with `time` instead of now, padded on the left with blanks to 14 characters.
  Q_INVOKABLE QString makeNonCashTsSn(int provinceNo, int cityNo, int areaNo, int gateNo,
                                      int laneNo, QString time);
  Q_INVOKABLE void clearUndoRedo(QQuickTextDocument* doc);
  Q_INVOKABLE void setNonUndo(QQuickTextDocument* doc);
  // Appends "<now>:\t<ReadTime>\t<WriteTime>\r\n" to `file`, -1 for a time that `data` (a JSON
  // object) lacks; nothing when the file cannot be opened.
  Q_INVOKABLE void finishPress(QString data, QString file);

 private:
  using OperationSignal = void (MVWrapper::*)(QVariant, int, int, QString);
  struct Outcome {
    int rc = 0;
    int ms = 0;
    QString out;
  };

  void startOperation(const char* name, OperationSignal done, const QVariant& data, int laneNo,
                      const QString& input);
  void start(std::function<void()> job);
  // Runs `call` with the output buffer; a stashed output is fetched on this same thread.
  Outcome callWithOutput(const std::function<int(char* out, int* len)>& call) const;

  LibraryBinding binding_;
  QThreadPool pool_;
};
