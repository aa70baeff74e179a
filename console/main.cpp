// mvclient: the Qt Quick test console of the Marovex library.
#include <cstdio>
#include <exception>
#include <memory>

#include <QFile>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QUrl>

#include "LibraryBinding.h"
#include "MVWrapper.h"

namespace {
constexpr int kStartFailed = 1;
}

int main(int argc, char* argv[]) {
  QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
  QGuiApplication app(argc, argv);

  std::unique_ptr<MVWrapper> mvclient;
  try {
    const QByteArray programDir = QFile::encodeName(QCoreApplication::applicationDirPath());
    mvclient = std::make_unique<MVWrapper>(LibraryBinding::defaultPath(programDir.toStdString()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mvclient: %s\n", e.what());
    return kStartFailed;
  }

  // Declared after the controller, so that the screens go first at exit.
  QQmlApplicationEngine engine;
  engine.rootContext()->setContextProperty("mvclient", mvclient.get());
  engine.load(QUrl(QStringLiteral("qrc:/main.qml")));
  if (engine.rootObjects().isEmpty()) return kStartFailed;
  return app.exec();
}
