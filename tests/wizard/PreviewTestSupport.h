// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Found files for the preview and save suites, as a scan leaves them: a temporary file per
// file in DestFolder/TmpFiles/ (written through TWriteFileStream, head scrambled) and a record
// in the window's FoundFiles.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <vector>

#include "session/FoundFiles.h"
#include "fixtures/Jpegs.h"
#include "wizard/WizardWindow.h"

namespace snapsalvager::test {

class TScanLeftovers {
 public:
  explicit TScanLeftovers(TMainForm& form) : form_(form) {
    dest_ = std::filesystem::path(dir_.path().toStdString()) / "Recovered";
    temp_ = dest_ / "TmpFiles";
    std::filesystem::create_directories(temp_);
    form_.ScanOptionsPage.DestFolder = QString::fromStdString(dest_.string()) + '/';
    form_.ScanOptionsPage.TempFolder = QString::fromStdString(temp_.string()) + '/';
  }

  // Appends the next file (File0001.<type>, ...) with these carved bytes.
  TFoundFile& Add(const std::string& type, const std::vector<uint8_t>& bytes,
                  const std::string& info = "N/A") {
    const uint32_t number = ++counter_;
    TFoundFile f;
    f.Name = RecoveredFileName(number, type);
    f.Ext = type;
    f.Size = static_cast<int64_t>(bytes.size());
    f.TempFile = temp_ / TemporaryFileName(number, type);
    f.Info = info;
    fixtures::WriteTemporaryFile(f.TempFile, bytes);
    return form_.FoundFiles.Append(std::move(f));
  }
  // A record whose temporary file was never written.
  TFoundFile& AddMissing(const std::string& type) {
    const uint32_t number = ++counter_;
    TFoundFile f;
    f.Name = RecoveredFileName(number, type);
    f.Ext = type;
    f.Size = 512;
    f.TempFile = temp_ / TemporaryFileName(number, type);
    f.Info = "N/A";
    return form_.FoundFiles.Append(std::move(f));
  }
  // count files of a non-photo type: quick to preview.
  void AddClips(int count, const std::string& type = "MOV") {
    for (int i = 0; i < count; ++i) Add(type, std::vector<uint8_t>(1024, static_cast<uint8_t>(i)));
  }

  const std::filesystem::path& Dest() const { return dest_; }
  const std::filesystem::path& Temp() const { return temp_; }
  QString DestText() const { return QString::fromStdString(dest_.string()) + '/'; }
  QString TempText() const { return QString::fromStdString(temp_.string()) + '/'; }

 private:
  TMainForm& form_;
  QTemporaryDir dir_;
  std::filesystem::path dest_;
  std::filesystem::path temp_;
  uint32_t counter_ = 0;
};

}  // namespace snapsalvager::test
