// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Windows: the volume (\\.\E:) is opened directly; only an elevated program may, so a
// refusal says how to run it as administrator.
#include "wizard/CardOpening.h"

#include <unistd.h>

#include <cerrno>

#include "card/DriveReads.h"
#include "card/LinuxDrives.h"
#include "session/ScanChecks.h"

namespace snapsalvager {
namespace {
bool g_directRefused = false;
}

void SetDirectCardOpenRefusedForTests(bool refused) { g_directRefused = refused; }

QString CardCannotBeOpenedText(const QString& device, const std::string& path, int error) {
  const bool elevated = ::geteuid() == 0 && !g_directRefused;
  return QString::fromStdString(CannotOpenCardText(device.toStdString(), error, path, elevated));
}

bool OpenCardForScan(uint8_t driveNumber, QString& message) {
  const TLinuxDrive* drive = LinuxDrives::ByNumber(driveNumber);
  const QString letter =
      QString(QChar(QLatin1Char(static_cast<char>('A' + driveNumber - 1)))) + QLatin1Char(':');
  if (!drive) {
    message = CardCannotBeOpenedText(letter, {}, ENODEV);
    return false;
  }
  // An image or a registered source is named by what the user picked; a volume by its letter.
  const QString device = drive->IsImage || drive->Path.empty()
                             ? QString::fromStdString(drive->DisplayName)
                             : letter;
  int error = EACCES;
  if (!g_directRefused) {
    errno = 0;
    if (LinuxDrives::OpenSource(driveNumber)) return true;
    error = errno ? errno : ENODEV;
  }
  message = CardCannotBeOpenedText(device, drive->Path, error);
  return false;
}

}  // namespace snapsalvager
