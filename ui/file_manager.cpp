#include "ui/file_manager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include "platform/files.h"

namespace velmora::ui {

namespace {

constexpr int kFileManagerTimeoutMs = 5000;
// xdg-open hands the folder to a program and ends; one that fails does so at once.
constexpr int kOpenerVerdictMs = 3000;

bool AskFileManager(const QString& hostFile) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage call =
      QDBusMessage::createMethodCall("org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                                     "org.freedesktop.FileManager1", "ShowItems");
  call << QStringList{QUrl::fromLocalFile(hostFile).toString(QUrl::FullyEncoded)} << QString();
  return bus.call(call, QDBus::Block, kFileManagerTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

bool OpenFolder(const QString& hostFolder) {
  const QString opener = QStandardPaths::findExecutable("xdg-open");
  if (opener.isEmpty()) return false;
  auto* process = new QProcess;
  process->setProgram(opener);
  process->setArguments({hostFolder});
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  process->start();
  if (!process->waitForStarted()) {
    delete process;
    return false;
  }
  if (!process->waitForFinished(kOpenerVerdictMs)) {
    // Still busy with the folder: it goes on alone.
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    return true;
  }
  const bool opened = process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0;
  delete process;
  return opened;
}

}  // namespace

bool ShowInFileManager(platform::ManagedSystem& system, const std::string& windowsPath, std::string* error) {
  const QString host = QString::fromStdString(platform::files::HostPathFromWindows(system, windowsPath));
  const QFileInfo file(host);
  if (file.exists() && AskFileManager(file.absoluteFilePath())) return true;
  const QString folder = file.absolutePath();
  if (QFileInfo(folder).isDir() && OpenFolder(folder)) return true;
  if (error) {
    *error = "No file manager could show " + windowsPath + ".\n\nThe program's folder is:\n" +
             QFileInfo(folder).absoluteFilePath().toStdString();
  }
  return false;
}

bool OpenLink(const std::string& url, std::string* error) {
  if (QDesktopServices::openUrl(QUrl(QString::fromStdString(url)))) return true;
  if (error) *error = "No web browser could open the link:\n\n" + url;
  return false;
}

}  // namespace velmora::ui
