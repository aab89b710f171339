// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The scan page on a terminal.
#include "cli/TerminalScanReport.h"

#include <unistd.h>

#include <cinttypes>
#include <cstdio>

#include "session/Texts.h"

namespace snapsalvager::cli {
namespace {

std::string CleanField(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

}  // namespace

void ShowMessage(const std::string& text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += text[i];
  }
  std::fprintf(stderr, "%s\n", line.c_str());
}

TCliScanEvents::TCliScanEvents() : tty_(::isatty(STDERR_FILENO) == 1) {}

void TCliScanEvents::SetLabelText(TScanLabel label, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  switch (label) {
    case TScanLabel::LRead: read_ = text; break;
    case TScanLabel::LBad:
      bad_ = text;
      Draw(false);  // LBad closes every report
      break;
    case TScanLabel::LTime: time_ = text; break;
  }
}

void TCliScanEvents::AddFoundFile(const std::string& name, const std::string& description, int64_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++files_;
  ClearLine();
  if (HoldRows) {
    held_.push_back({name, description, size});
  } else {
    PrintRow(files_, name, size, description, nullptr);
  }
  if (drawn_) Draw(true);
}

void TCliScanEvents::PrintHeldRows(const std::vector<std::string>& verdicts) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0; i < held_.size(); ++i) {
    PrintRow(i + 1, held_[i].Name, held_[i].Size, held_[i].Description,
             i < verdicts.size() ? verdicts[i].c_str() : "");
  }
  held_.clear();
}

void TCliScanEvents::FoundFileChanged(size_t index, const std::string& name, const std::string& description,
                                      int64_t size) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (HoldRows && index < held_.size()) {
      held_[index].Size = size;
      held_[index].Description = description;
      return;
    }
  }
  Note(Text(TText::SizeFromEntry, {name, std::to_string(size)}));
}

void TCliScanEvents::Finish(const std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  error_ = error;
}

void TCliScanEvents::SetJoinProgress(uint32_t done, uint32_t total) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (join_.empty()) {
    if (tty_ && drawn_) std::fputc('\n', stderr);
    if (!tty_) std::fprintf(stderr, "%s\n", Line().c_str());
  }
  join_ = Text(TText::JoiningPieces, {std::to_string(done), std::to_string(total)});
  Draw(false);
}

void TCliScanEvents::EndProgress() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (tty_) {
    Draw(true);
    if (drawn_) std::fputc('\n', stderr);
  } else {
    std::fprintf(stderr, "%s\n", Line().c_str());
  }
  drawn_ = false;
}

void TCliScanEvents::Note(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearLine();
  std::fprintf(stderr, "%s\n", text.c_str());
  if (drawn_) Draw(true);
}

std::string TCliScanEvents::Error() {
  std::lock_guard<std::mutex> lock(mutex_);
  return error_;
}

void TCliScanEvents::PrintRow(size_t number, const std::string& name, int64_t size,
                              const std::string& description, const char* verdict) {
  if (!rowsOpen_) return;
  std::printf("%zu\t%s\t%" PRId64 "\t%s", number, CleanField(name).c_str(), size, CleanField(description).c_str());
  if (verdict != nullptr) std::printf("\t%s", CleanField(verdict).c_str());
  std::fputc('\n', stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) rowsOpen_ = false;
}

std::string TCliScanEvents::Line() const {
  if (!join_.empty()) return join_;
  std::string line = Text(TText::ProgressCounters, {read_, bad_, std::to_string(files_)});
  if (!time_.empty()) line += Text(TText::ProgressTimeLeft, {time_});
  return line;
}

void TCliScanEvents::ClearLine() {
  if (tty_ && drawn_) std::fputs("\r\033[K", stderr);
}

void TCliScanEvents::Draw(bool force) {
  const auto now = std::chrono::steady_clock::now();
  if (tty_) {
    std::fprintf(stderr, "\r%s\033[K", Line().c_str());
    drawn_ = true;
  } else if (!force && now - lastLine_ >= std::chrono::seconds(3)) {
    // Logs get a line every few seconds, not one per report.
    std::fprintf(stderr, "%s\n", Line().c_str());
    lastLine_ = now;
  }
  std::fflush(stderr);
}

}  // namespace snapsalvager::cli
