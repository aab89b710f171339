// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/CardOpening.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <QCoreApplication>

#include "card/LinuxDrives.h"
#include "session/ScanChecks.h"
#include "card/DriveReads.h"
#include "wizard/UDisks2Client.h"

namespace snapsalvager {
namespace {

bool g_directRefused = false;

QString DeviceName(uint8_t driveNumber, const std::string& path) {
  QString name =
      QString(QChar(QLatin1Char(static_cast<char>('A' + driveNumber - 1)))) + QLatin1Char(':');
  if (!path.empty()) name += QStringLiteral(" (%1)").arg(QString::fromStdString(path));
  return name;
}

// The card still answers through the kept descriptor (it was not taken out meanwhile).
bool KeptDescriptorWorks(const std::string& path) {
  const std::unique_ptr<TCardSource> source = OpenCardSourcePath(path.c_str());
  int64_t bytes = 0;
  return source && source->Length(bytes) && bytes > 0;
}

QString UDisks2FailureText(const QString& device, const std::string& path, int directError,
                           const TUDisks2Client::TOpenResult& result) {
  using F = TUDisks2Client::TFailure;
  switch (result.Failure) {
    case F::Refused:
      return QCoreApplication::translate("Snapsalvager",
                 "没有获得读取存储卡 %1 的授权：身份验证被取消或被拒绝。\r\n\r\n"
                 "请再次点击“下一步”，并在系统弹出的身份验证窗口中输入密码。")
          .arg(device);
    case F::Busy:
      return QCoreApplication::translate("Snapsalvager",
                 "存储卡 %1 正在使用中（例如已被挂载），无法打开。\r\n\r\n"
                 "请在文件管理器中卸载该卡（不要拔出），然后再次点击“下一步”。")
          .arg(device);
    case F::NoAnswer:
      return QCoreApplication::translate("Snapsalvager",
                 "等待身份验证超时，存储卡 %1 没有被打开。\r\n\r\n"
                 "请再次点击“下一步”重试。")
          .arg(device);
    case F::NoAgent:
      return UDisks2NoAgentText(device);
    case F::Failed:
      // The daemon's own words (often several lines of English) are for the terminal.
      std::fprintf(stderr, "snapsalvager: udisks2 could not open %s: %s\n", path.c_str(),
                   qPrintable(result.Detail));
      return QCoreApplication::translate("Snapsalvager", "系统的磁盘服务 udisks2 无法打开存储卡 %1。详细信息已写到终端（标准错误输出）。")
          .arg(device);
    case F::UnknownDevice:
      return CardCannotBeOpenedText(device, path, directError) + QStringLiteral("\r\n\r\n") +
             QCoreApplication::translate("Snapsalvager", "系统的磁盘服务 udisks2 不认识这个设备。");
    case F::NoDaemon:
    case F::None:
      break;
  }
  return CardCannotBeOpenedText(device, path, directError);
}

}  // namespace

void SetDirectCardOpenRefusedForTests(bool refused) { g_directRefused = refused; }

QString UDisks2NoAgentText(const QString& device) {
  return QCoreApplication::translate("Snapsalvager",
             "没有获得读取存储卡 %1 的授权：这里没有可以询问密码的身份验证程序（polkit 身份验证代理），"
             "所以系统不会弹出身份验证窗口。\r\n\r\n"
             "请在桌面会话中启动 Snapsalvager（桌面会提供身份验证代理），或者请系统管理员帮助您。")
      .arg(device);
}

QString CardCannotBeOpenedText(const QString& device, const std::string& path, int error) {
  // The device node names the group whose members may read it.
  // A direct open refused only by the tests' switch was not root's own open.
  const bool asRoot = ::geteuid() == 0 && !g_directRefused;
  return QString::fromStdString(CannotOpenCardText(device.toStdString(), error, path, asRoot));
}

bool OpenCardForScan(uint8_t driveNumber, QString& message) {
  const TLinuxDrive* drive = LinuxDrives::ByNumber(driveNumber);
  if (!drive) {
    message = CardCannotBeOpenedText(DeviceName(driveNumber, {}), {}, ENODEV);
    return false;
  }
  const std::string path = drive->Path;
  // A source registered in-process has no path: its own name says what it is.
  const QString device = path.empty() && !drive->DisplayName.empty()
                             ? QString::fromStdString(drive->DisplayName)
                             : DeviceName(driveNumber, path);
  if (path.empty()) {
    // A source registered in-process: it opens itself or not at all.
    errno = ENODEV;
    if (LinuxDrives::OpenSource(driveNumber)) return true;
    message = CardCannotBeOpenedText(device, path, errno ? errno : ENODEV);
    return false;
  }

  // The descriptor udisks2 gave earlier in this run: no second prompt.
  if (HasCardDescriptor(path)) {
    if (KeptDescriptorWorks(path)) return true;
    ForgetCardDescriptor(path);
  }

  int error = EACCES;
  if (!g_directRefused) {
    errno = 0;
    if (OpenCardSourcePath(path.c_str())) return true;
    error = errno ? errno : ENODEV;
  }
  // Only missing rights are cured by asking; a missing device or medium is not.
  if (error != EACCES && error != EPERM) {
    message = CardCannotBeOpenedText(device, path, error);
    return false;
  }

  TUDisks2Client udisks;
  if (!udisks.Available()) {
    message = CardCannotBeOpenedText(device, path, error);
    return false;
  }
  const TUDisks2Client::TOpenResult opened = udisks.OpenForBackup(QString::fromStdString(path));
  if (opened.Fd >= 0) {
    const bool kept = AdoptCardDescriptor(path, opened.Fd);
    ::close(opened.Fd);
    if (kept) return true;
    message = QCoreApplication::translate("Snapsalvager", "系统的磁盘服务 udisks2 交回的存储卡 %1 无法读取。").arg(device);
    return false;
  }
  message = UDisks2FailureText(device, path, error, opened);
  return false;
}

}  // namespace snapsalvager
