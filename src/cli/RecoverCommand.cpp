// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// snapsalvager-cli recover: the wizard's whole road without a window. Options are checked
// as the scan options page checks them, the card is measured as before a scan, the scan
// runs on its thread with the reports drawn on stderr (TerminalScanReport), then every found
// file is saved.
// stdout carries only the found files, one tab-separated row each.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/RecoverArguments.h"
#include "cli/TerminalScanReport.h"
#include "session/RecoverySession.h"
#include "metadata/PhotoSummary.h"
#include "session/FoundFiles.h"
#include "card/LinuxDrives.h"
#include "session/ScanChecks.h"
#include "session/ScanOptions.h"
#include "session/SaveFiles.h"
#include "tempfile/Utf8Path.h"
#ifndef _WIN32
#include "cli/Verdicts.h"
#endif

namespace snapsalvager::cli {
namespace {

namespace fs = std::filesystem;

// 0-3 keep the meanings scripts have relied on; a question and an unreadable card were
// once folded into 2 and now tell themselves apart.
enum ExitStatus {
  ExitRecovered = 0,
  ExitNothing = 1,
  ExitUsage = 2,
  ExitScanError = 3,
  ExitQuestion = 4,
  ExitCannotRead = 5,
  ExitInterrupted = 130,  // the shell's status for Ctrl-C, also when the command ends itself
};
constexpr int kGoOn = -1;  // a check passed: the command goes on


// A question of the wizard: the option answers "go on", otherwise the command ends.
bool GoOnAfterQuestion(const std::string& question, bool answered, const char* option = "--yes") {
  ShowMessage(question);
  if (answered) {
    Say(stderr, TText::GoingOn, {option});
    return true;
  }
  Say(stderr, TText::StoppedAtQuestion, {option});
  return false;
}


// The card's drive letter: a letter as given, or the letter of a device or image path.
// kGoOn, or the exit status that ends the command; drive stays empty for a letter no drive
// has (the checks then refuse it).
int ResolveSource(const std::string& source, std::optional<TDriveEntry>& drive) {
  LinuxDrives::Refresh();
  char letter = 0;
  if (source.size() == 2 && source[1] == ':' && std::isalpha(static_cast<unsigned char>(source[0]))) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(source[0])));
    if (LinuxDrives::GetDriveType(letter) == DRIVE_NO_ROOT_DIR) return kGoOn;
  } else {
    struct stat info {};
    if (::stat(source.c_str(), &info) != 0) {
      Say(stderr, TText::CannotFindSource, {source, std::strerror(errno)});
      return ExitUsage;
    }
    letter = LinuxDrives::LetterOfPath(source);
    if (letter == 0) letter = LinuxDrives::AttachImage(source);
    if (letter == 0) {
      if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        Say(stderr, TText::NotImageNorDevice, {source});
        return ExitUsage;
      }
      const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
      const int error = fd < 0 ? errno : ENOSPC;  // no free letter is all that is left
      if (fd >= 0) ::close(fd);
      ShowMessage(error == ENOSPC ? Text(TText::NoFreeLetter, {source})
                                  : CannotOpenCardText(source, error, {}, ::geteuid() == 0));
      return ExitCannotRead;
    }
  }
  drive = TDriveEntry{};
  drive->Letter = letter;
  drive->DriveNumber = static_cast<uint8_t>(letter - 'A' + 1);
  drive->DriveType = LinuxDrives::GetDriveType(letter);
  return kGoOn;
}

std::atomic<bool> g_stopRequested{false};
std::atomic<bool> g_quitOnSecondStop{false};
std::atomic<bool> g_stoppedByUser{false};
// Written by the signal handler when a second Ctrl-C quits during the scan: the kept
// temporary files and the restore command. Set before the handler is installed.
std::string g_quitHint;

extern "C" void OnStopSignal(int) {
  if (g_stopRequested.exchange(true) && g_quitOnSecondStop) {
    // write and _exit are safe in a handler; the temporary files stay for restore.
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, g_quitHint.data(), g_quitHint.size());
    ::_exit(ExitInterrupted);
  }
  g_stoppedByUser = true;
}

// During the scan a second Ctrl-C ends the program at once; during the save it is held
// off, so every file is saved whole before the command ends.
void CatchStopSignals(bool quitOnSecond) {
  g_quitOnSecondStop = quitOnSecond;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// A question on a terminal: only the option that answers it goes on.
int AnswerQuestion(TScanCheckList& checks, const TCheckStep& step, const TRecoverOptions& options) {
  if (step.NoAnswerGoesOn) {  // nothing to go on with (a CD/DVD)
    ShowMessage(step.Text);
    return ExitUsage;
  }
  // Going on onto the card's own drive would overwrite the deleted files being recovered:
  // only its own option says so.
  const bool ontoCard = step.Id == TCheckId::SameDrive;
  const bool goOn = GoOnAfterQuestion(step.Text, ontoCard ? options.OntoCardDrive : options.Yes,
                                      ontoCard ? "--onto-card-drive" : "--yes");
  return checks.Answer(!goOn) ? kGoOn : ExitQuestion;
}

// The capacity of a card that could not be measured comes from --sectors.
int GiveCapacity(TScanCheckList& checks, const TCheckStep& step, const TRecoverOptions& options) {
  if (options.Sectors) return checks.GiveCapacity(*options.Sectors) ? kGoOn : ExitQuestion;
  ShowMessage(step.Text);
  Say(stderr, TText::GiveSectors,
      {std::to_string(checks.Drive.SectorCount), std::to_string(DecimalMegabytes(checks.Drive.SectorCount))});
  checks.GiveCapacity(std::nullopt);
  return ExitQuestion;
}

// The steps of one phase of the checks before a scan. kGoOn, or the exit status that ends
// the command.
int RunCheckSteps(TScanCheckList& checks, TCheckPhase phase, const TRecoverOptions& options) {
  while (const std::optional<TCheckStep> step = checks.Next(phase)) {
    int status = kGoOn;
    switch (step->Kind) {
      case TCheckKind::Refusal:
        ShowMessage(step->Text);
        if (step->Id == TCheckId::NoCamera) ListCameraChoices(options.Camera);
        if (step->Id == TCheckId::NoDrive)
          Say(stderr, TText::NoDriveWithLetter, {options.Source});
        return ExitUsage;
      case TCheckKind::Question: status = AnswerQuestion(checks, *step, options); break;
      case TCheckKind::Capacity: status = GiveCapacity(checks, *step, options); break;
    }
    if (status != kGoOn) return status;
  }
  return kGoOn;
}

// --help, --version and --camera list. True when one of them was the whole command.
bool AnsweredByItself(const TRecoverOptions& options) {
  if (options.Help) {
    Say(stdout, TText::RecoverUsage);
  } else if (options.Version) {
    std::printf("snapsalvager-cli %s\n", SNAPSALVAGER_VERSION);
  } else if (options.ListCameras) {
    for (const auto& camera : CameraTable()) std::printf("%s\n", camera.Name.c_str());
  } else {
    return false;
  }
  return true;
}

// The source found and opened, then every check before a scan. kGoOn, or the exit status.
int PrepareRecovery(const TRecoverOptions& options, std::optional<TScanCheckList>& checks) {
  std::optional<TDriveEntry> drive;
  if (const int status = ResolveSource(options.Source, drive); status != kGoOn) return status;
  // A card that cannot be opened is said so first: measured or scanned, it would pass for
  // an unmeasurable or empty card.
  if (const auto problem = drive ? CardOpenProblem(drive->DriveNumber) : std::nullopt) {
    ShowMessage(*problem);
    return ExitCannotRead;
  }
  TScanChoices choices;
  choices.Drive = drive;
  choices.Camera = MatchCamera(options.Camera);
  choices.Photo = options.Photo;
  choices.Video = options.Video;
  choices.Audio = options.Audio;
  choices.VideoType = options.VideoType;
  choices.DestText = options.Dest;
  checks.emplace(choices);
  for (const TCheckPhase phase : {TCheckPhase::ScanOptions, TCheckPhase::BeforeScan}) {
    if (const int status = RunCheckSteps(*checks, phase, options); status != kGoOn) return status;
  }
  if (checks->Measured() && options.Sectors)
    Say(stderr, TText::SectorsNotNeeded, {std::to_string(checks->Drive.SectorCount)});
  return kGoOn;
}

// Tests interrupt a scan as a crash would: SNAPSALVAGER_TEST_KILL_AFTER=N kills the command
// (SIGKILL) once N sectors are carved.
std::function<void(uint64_t)> KillHookForTests() {
  const char* after = std::getenv("SNAPSALVAGER_TEST_KILL_AFTER");
  if (after == nullptr || *after == '\0') return {};
  const uint64_t sectors = std::strtoull(after, nullptr, 10);
  return [sectors](uint64_t done) {
#ifdef _WIN32
    if (done >= sectors) std::_Exit(137);  // as abrupt as a kill: nothing flushed, nothing cleaned
#else
    if (done >= sectors) ::kill(::getpid(), SIGKILL);
#endif
  };
}

// The recovery's questions and reports on a terminal: the options answer the questions,
// the reports are lines on stderr.
class TCliRecoveryReport final : public TCliScanEvents {
 public:
  TCliRecoveryReport(const TRecoverOptions& options, const TScanCheckList& checks)
      : options_(options), checks_(checks) {}

  const TRecoverySession* Session = nullptr;  // the session this reports on

  // The image was to be written: without it the command is wrong, not the card.
  bool GoOnWithoutCardImage(const std::string& error) override {
    Say(stderr, TText::RecoverUsageLine, {error});
    return false;
  }
  void ScanStarting() override {
    const TDriveEntry& card = checks_.Drive;
    Say(stderr, TText::ScanHeader,
        {std::string(1, card.Letter), options_.Source, std::to_string(card.SectorCount / 2048),
         SoughtTypes(checks_.Inputs, options_.Deep) + (options_.Deep ? Text(TText::DeepScanSuffix) : "")});
    Say(stderr, TText::ScanInProgress);
  }
  void NoInterruptedScan() override {
    if (options_.Resume) Say(stderr, TText::NoScanToResume, {checks_.TempFolder});
  }
  // --resume goes on with the scan of the journal when it is of this card with these
  // options; one line says why a journal there is not used.
  bool ResumeInterruptedScan(const TResumeOffer& offer, bool) override {
    switch (offer.Verdict) {
      case TResumeVerdict::Matches: {
        const TJournalPoint& at = offer.Journal->Point;
        if (options_.Resume) {
          Say(stderr, TText::ResumingScan,
              {std::to_string(at.Done), std::to_string(at.Total), std::to_string(offer.Journal->FoundFileCount())});
          return true;
        }
        Say(stderr, TText::JournalNotResumed, {std::to_string(at.Done), std::to_string(at.Total)});
        break;
      }
      case TResumeVerdict::OtherScan: Say(stderr, TText::JournalOtherScan, {checks_.TempFolder}); break;
      case TResumeVerdict::Unusable: Say(stderr, TText::JournalUnusable, {checks_.TempFolder}); break;
      case TResumeVerdict::None: break;
    }
    return false;
  }
  void Info(const std::string& text) override { ShowMessage(text); }
  // From here a second Ctrl-C quits, leaving the temporary files for restore.
  void ScanThreadStarting() override {
    g_quitHint = "\n" + Session->RestoreHint() + "\n";
    g_stopRequested = false;
    CatchStopSignals(true);
  }
  // Ctrl-C is held off during the save (see CatchStopSignals); the user is told why.
  void SavingFile(const TSaveStep& step) override {
    if (g_stopRequested.exchange(false)) {
      Say(stderr, TText::FinishingSave, {std::to_string(step.Count - step.Index)});
    }
    if (step.Selected) {
      if (SavedAs.size() <= step.Index) SavedAs.resize(step.Index + 1);
      SavedAs[step.Index] = step.FinalPath;
    }
  }
  // Where each file of the list was to be saved, by its index.
  std::vector<fs::path> SavedAs;

 private:
  const TRecoverOptions& options_;
  const TScanCheckList& checks_;
};

// The scan, with the rows on stdout; Ctrl-C stops it like the Stop button. The error that
// ended it, empty when none; nullopt when the card image could not be made (nothing scanned).
std::optional<std::string> RunScan(TRecoverySession& session, TCliRecoveryReport& report) {
  bool userStopped = false;
  {
    const TScanStart start = session.StartScan();
    if (start.CardImageRefused) return std::nullopt;
    if (!start.Thread) {
      Say(stderr, TText::ScanEndedOnError, {start.Error});
      return start.Error;
    }
    TDigitalReadThread& scan = *start.Thread;
    while (!scan.WaitFor(100)) {
      if (g_stopRequested && !scan.Terminated()) {
        userStopped = true;
        report.Note(Text(TText::StoppingScan));
        scan.Terminate();
      }
    }
  }
  CatchStopSignals(false);
  report.EndProgress();
  const std::string scanError = report.Error();
  if (userStopped) ShowMessage(Text(TText::UserStopped));
  if (!scanError.empty()) Say(stderr, TText::ScanEndedOnError, {scanError});
  return scanError;
}

#ifndef _WIN32
// The verdicts of the found files (--verdicts, --set-aside-damaged), and the held rows
// printed with them.
std::vector<decode::TVerdict> CheckFiles(const TFoundFileList& found, TCliRecoveryReport& report,
                                         const TRecoverOptions& options) {
  if (!options.Verdicts && !options.SetAsideDamaged) return {};
  // Ctrl-C ends the checking, not the command: the files not checked yet say so, and the
  // save goes on.
  g_stopRequested = false;
  std::vector<decode::TVerdict> verdicts = CheckFoundFiles(found, g_stopRequested);
  if (g_stopRequested) Say(stderr, TText::CheckingStopped);
  g_stopRequested = false;
  if (options.Verdicts) {
    std::vector<std::string> texts;
    texts.reserve(verdicts.size());
    for (const decode::TVerdict& v : verdicts) texts.push_back(VerdictText(v));
    report.PrintHeldRows(texts);
  }
  return verdicts;
}

// --set-aside-damaged: the saved files found damaged or unreadable go to DEST/damaged/.
void SetAsideDamaged(const std::vector<decode::TVerdict>& verdicts, const TCliRecoveryReport& report,
                     const TSaveOutcome& outcome, const fs::path& destFolder) {
  std::vector<fs::path> damaged;
  for (size_t i = 0; i < verdicts.size() && i < report.SavedAs.size(); ++i) {
    if (!SetAside(verdicts[i]) || report.SavedAs[i].empty()) continue;
    bool notSaved = false;
    for (const TNotSavedFile& file : outcome.NotSaved) notSaved = notSaved || file.FinalPath == report.SavedAs[i];
    std::error_code ec;
    if (!notSaved && fs::is_regular_file(fs::symlink_status(report.SavedAs[i], ec))) damaged.push_back(report.SavedAs[i]);
  }
  MoveToDamagedFolder(damaged, destFolder);
}
#endif

// Saves every found file (all are ticked) and says what became of them.
TSaveOutcome SaveAll(TRecoverySession& session, TFoundFileList& found, const TScanCheckList& checks) {
  g_stopRequested = false;
  const TSaveOutcome outcome = session.Save();
  ClearFoundFiles(found);
  bool kept = false;  // a file that cannot be saved keeps its temporary file
  for (const TNotSavedFile& file : outcome.NotSaved) {
    Say(stderr, TText::NotSaved, {file.Name, file.Reason, file.TempFile.string()});
    std::error_code ec;
    kept = kept || fs::exists(file.TempFile, ec);
  }
  if (kept) ShowMessage(session.RestoreHint());
  if (!outcome.Renamed.empty()) ShowMessage(RenamedFilesText(outcome.Renamed));
  Say(stderr, TText::FilesSaved, {std::to_string(outcome.Saved)});
  if (!session.ReportPath().empty()) Say(stderr, TText::ReportWritten, {session.ReportPath().string()});
  if (!session.ReportError().empty()) Say(stderr, TText::ReportNotWritten, {session.ReportError()});
  if (outcome.Saved > 0) ShowMessage(Text(TText::SavedIn) + checks.DestFolder);
  if (outcome.SpecialTypeFound) {
    ShowMessage(Text(TText::SpecialTypesNote));
    Say(stderr, TText::PostProcessing, {outcome.SpecialTypeExt});
  }
  return outcome;
}

}  // namespace

int RunRecoverCommand(int argc, char** argv) {
  // A closed stdout must not kill the scan: its writes fail instead (see AddFoundFile).
  ::signal(SIGPIPE, SIG_IGN);
  // Nor a file-size limit (ulimit -f): the write fails with EFBIG and the file is cut.
  ::signal(SIGXFSZ, SIG_IGN);
  TRecoverOptions options;
  if (!ParseArguments(argc, argv, options)) return ExitUsage;
  if (AnsweredByItself(options)) return 0;
  std::optional<TScanCheckList> checks;
  if (const int status = PrepareRecovery(options, checks); status != kGoOn) return status;

  TFoundFileList found;
  TCliRecoveryReport report(options, *checks);
  // The command has no other thread to hand the reports to: they run in place.
  TRecoverySession session(report, [](const std::function<void()>& call) { call(); }, found);
  report.Session = &session;
  session.Settings.Drive = checks->Drive;
  session.Settings.TempFolder = PathFromUtf8(checks->TempFolder);
  session.Settings.DestFolder = PathFromUtf8(checks->DestFolder);
  session.Settings.Inputs = checks->Inputs;
  session.Settings.DeepScan = options.Deep;
  if (!options.Image.empty()) session.Settings.CardImage = PathFromUtf8(options.Image);
  session.Settings.DescribeFile = DescribeFoundFile;
  session.Settings.OriginalNames = options.OriginalNames;
  session.Settings.PhotoTime = PhotoTakenTime;
  session.Settings.WriteReport = options.OriginalNames || options.Report;
  session.Settings.CardName = options.Source;
  session.Settings.AfterBatch = KillHookForTests();
#ifndef _WIN32
  report.HoldRows = options.Verdicts;
#endif

  const std::optional<std::string> scanError = RunScan(session, report);
  if (!scanError) return ExitUsage;
  int failed = scanError->empty() ? kGoOn : ExitScanError;
  if (const TCardImageEnd image = session.EndScan(); image.Made) {
    if (image.Written) {
      Say(stderr, TText::CardImageWritten, {options.Image, image.MapPath.string()});
    } else {
      Say(stderr, TText::CardImageIncomplete, {image.Error});
      failed = ExitScanError;
    }
  }
  if (found.Count() == 0) {
    ShowMessage(Text(TText::NothingFound));
    return failed != kGoOn ? failed : ExitNothing;
  }
  Say(stderr, TText::FoundCount, {std::to_string(found.Count())});
#ifndef _WIN32
  const std::vector<decode::TVerdict> verdicts = CheckFiles(found, report, options);
#endif
  if (options.ScanOnly) {
    Say(stderr, TText::ScanOnlyKept, {checks->TempFolder});
    if (options.OriginalNames && !session.KeepNames()) Say(stderr, TText::NamesNotKept, {checks->TempFolder});
    std::fprintf(stderr, "%s\n", session.RestoreHint().c_str());
    ClearFoundFiles(found);
    if (failed != kGoOn) return failed;
    return g_stoppedByUser ? ExitInterrupted : ExitRecovered;
  }
  const TSaveOutcome outcome = SaveAll(session, found, *checks);
#ifndef _WIN32
  if (options.SetAsideDamaged) SetAsideDamaged(verdicts, report, outcome, session.Settings.DestFolder);
#endif
  if (failed != kGoOn) return failed;
  if (g_stoppedByUser) return ExitInterrupted;
  return outcome.Saved > 0 ? ExitRecovered : ExitNothing;
}

}  // namespace snapsalvager::cli
