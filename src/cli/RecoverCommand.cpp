// snapsalvager-cli recover: the wizard's whole road without a window. Options are checked
// as the scan options page checks them, the card is measured as before a scan, the scan
// runs on its thread with the reports drawn on stderr, then every found file is saved.
// stdout carries only the found files, one tab-separated row each.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "card/CardImageWriter.h"
#include "session/ScanJournal.h"
#include "session/ScanThread.h"
#include "metadata/PhotoSummary.h"
#include "session/FoundFiles.h"
#include "card/LinuxDrives.h"
#include "session/ScanChecks.h"
#include "session/ScanOptions.h"
#include "session/SaveFiles.h"
#include "tempfile/Utf8Path.h"

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

struct TRecoverOptions {
  std::string Source;
  std::string Dest;
  std::string Camera = "Generic Digital Camera";
  bool Photo = true;
  bool Video = false;
  bool Audio = false;
  std::string VideoType = "ALL";
  bool ScanOnly = false;
  bool Deep = false;
  bool Resume = false;
  std::string Image;  // empty: no card image
  std::optional<uint64_t> Sectors;
  bool Yes = false;
  bool OntoCardDrive = false;
  bool Help = false;
  bool Version = false;
  bool ListCameras = false;
  // The word after a bare --video that is no video type: taken as SOURCE or DEST, unless
  // that leaves one word too many.
  std::string WordAfterVideo;
};

// Message boxes become lines on stderr.
void ShowMessage(const std::string& text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += text[i];
  }
  std::fprintf(stderr, "%s\n", line.c_str());
}

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

bool UsageError(const std::string& text) {
  Say(stderr, TText::RecoverUsageLine, {text});
  Say(stderr, TText::RecoverSeeHelp);
  return false;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool ParseSectors(const std::string& text, uint64_t& value) {
  // Up to 15 digits: 128 TiB (2^38 sectors) is 12, and the product never overflows.
  if (text.empty() || text.size() > 15) return false;
  uint64_t number = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number == 0 || number > kMostCardSectors) return false;
  value = number;
  return true;
}

bool IsVideoType(const std::string& text) {
  const auto& group = VideoGroup().Exts;
  const std::string upper = Upper(text);
  return upper == "ALL" || std::find(group.begin(), group.end(), upper) != group.end();
}

// The names of the table a typed camera matches: the whole name, else every name it begins,
// without regard to case.
std::vector<std::string> CamerasMatching(const std::string& typed) {
  const std::string wanted = Upper(typed);
  std::vector<std::string> matches;
  for (const auto& camera : CameraTable()) {
    const std::string name = Upper(camera.Name);
    if (name == wanted) return {camera.Name};
    if (!wanted.empty() && name.compare(0, wanted.size(), wanted) == 0) matches.push_back(camera.Name);
  }
  return matches;
}

// The camera a user typed, when it names exactly one; otherwise empty.
std::string MatchCamera(const std::string& typed) {
  const std::vector<std::string> matches = CamerasMatching(typed);
  return matches.size() == 1 ? matches[0] : std::string();
}

// After the camera refusal: the names that would do.
void ListCameraChoices(const std::string& typed) {
  std::vector<std::string> matches = CamerasMatching(typed);
  Say(stderr, TText::CameraChoices,
      {typed, Text(matches.empty() ? TText::CameraNamesNone : TText::CameraAmbiguous)});
  if (matches.empty()) {
    for (const auto& camera : CameraTable()) matches.push_back(camera.Name);
  }
  for (const std::string& name : matches) std::fprintf(stderr, "  %s\n", name.c_str());
}

// The options that only switch something on or off.
struct TFlagOption {
  const char* Name;
  const char* Alias;  // may be null
  bool TRecoverOptions::*Member;
  bool Value;
  bool RefusesValue;  // "--audio=x" is a mistake; "--help=x" still shows the help
};
constexpr TFlagOption kFlagOptions[] = {
    {"--help", "-h", &TRecoverOptions::Help, true, false},
    {"--version", nullptr, &TRecoverOptions::Version, true, false},
    {"--photo", nullptr, &TRecoverOptions::Photo, true, true},
    {"--no-photo", nullptr, &TRecoverOptions::Photo, false, true},
    {"--audio", nullptr, &TRecoverOptions::Audio, true, true},
    {"--scan-only", nullptr, &TRecoverOptions::ScanOnly, true, true},
    {"--deep", nullptr, &TRecoverOptions::Deep, true, true},
    {"--resume", nullptr, &TRecoverOptions::Resume, true, true},
    {"--yes", "-y", &TRecoverOptions::Yes, true, true},
    {"--onto-card-drive", nullptr, &TRecoverOptions::OntoCardDrive, true, true},
};

// One option word (and the value it takes, "--name=value" or the next word).
struct TOptionWord {
  int argc;
  char** argv;
  int& i;
  std::string name;
  std::string value;
  bool hasValue = false;

  bool TakeValue() {
    if (hasValue) return true;
    if (i + 1 >= argc) return false;
    value = argv[++i];
    hasValue = true;
    return true;
  }
};

bool ParseVideoOption(TOptionWord& word, TRecoverOptions& options) {
  options.Video = true;
  // "--video MOV" as "--video=MOV", when the next word is a video type (not SOURCE).
  if (!word.hasValue && word.i + 1 < word.argc && IsVideoType(word.argv[word.i + 1])) word.TakeValue();
  if (!word.hasValue && word.i + 1 < word.argc && word.argv[word.i + 1][0] != '-')
    options.WordAfterVideo = word.argv[word.i + 1];
  options.VideoType = word.hasValue ? Upper(word.value) : "ALL";
  if (IsVideoType(options.VideoType)) return true;
  return UsageError(Text(TText::UnknownVideoType, {word.value}));
}

// One option of the command line; false (the usage error said) when it is wrong.
bool ParseOption(TOptionWord& word, TRecoverOptions& options) {
  for (const TFlagOption& flag : kFlagOptions) {
    if (word.name != flag.Name && (flag.Alias == nullptr || word.name != flag.Alias)) continue;
    if (flag.RefusesValue && word.hasValue) return UsageError(Text(TText::TakesNoValue, {word.name}));
    options.*flag.Member = flag.Value;
    return true;
  }
  if (word.name == "--camera") {
    if (!word.TakeValue()) return UsageError(Text(TText::CameraNeedsName));
    if (Upper(word.value) == "LIST") {
      options.ListCameras = true;
    } else {
      options.Camera = word.value;
    }
    return true;
  }
  if (word.name == "--video") return ParseVideoOption(word, options);
  if (word.name == "--image") {
    if (!word.TakeValue() || word.value.empty()) return UsageError(Text(TText::ImageNeedsFile));
    options.Image = word.value;
    return true;
  }
  if (word.name == "--sectors") {
    uint64_t sectors = 0;
    if (!word.TakeValue() || !ParseSectors(word.value, sectors))
      return UsageError(Text(TText::SectorsNeedsNumber));
    options.Sectors = sectors;
    return true;
  }
  return UsageError(Text(TText::UnknownOption, {word.argv[word.i]}));
}

bool ParseArguments(int argc, char** argv, TRecoverOptions& options) {
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    TOptionWord word{argc, argv, i, arg, {}};
    if (const size_t eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
      word.name = arg.substr(0, eq);
      word.value = arg.substr(eq + 1);
      word.hasValue = true;
    }
    if (!ParseOption(word, options)) return false;
  }
  if (options.Help || options.Version || options.ListCameras) return true;
  if (positional.size() > 2 && !options.WordAfterVideo.empty())
    return UsageError(Text(TText::VideoTypeAfterVideo, {options.WordAfterVideo}));
  if (positional.size() != 2) return UsageError(Text(TText::NeedsSourceAndDest));
  if (options.Resume && !options.Image.empty()) return UsageError(Text(TText::ImageWithResume));
  options.Source = positional[0];
  options.Dest = positional[1];
  return true;
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

std::string CleanField(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// The scan page on a terminal: rows on stdout, the counters on stderr.
class TCliScanEvents : public TScanEvents {
 public:
  TCliScanEvents() : tty_(::isatty(STDERR_FILENO) == 1) {}

  void SetProgressPosition(uint64_t) override {}
  void SetProgressMaximum(uint64_t) override {}
  void StepProgress() override {}
  void SetLabelText(TScanLabel label, const std::string& text) override {
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
  void AddFoundFile(const std::string& name, const std::string& description, int64_t size) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++files_;
    ClearLine();
    // A reader that went away (| head) ends the rows, not the scan.
    if (rowsOpen_) {
      std::printf("%zu\t%s\t%" PRId64 "\t%s\n", files_, CleanField(name).c_str(), size,
                  CleanField(description).c_str());
      if (std::fflush(stdout) != 0 || std::ferror(stdout)) rowsOpen_ = false;
    }
    if (drawn_) Draw(true);
  }
  void Finish(const std::string& error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    error_ = error;
  }
  // The search for second pieces has its own line, after the counters of the read.
  void SetJoinProgress(uint32_t done, uint32_t total) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (join_.empty()) {
      if (tty_ && drawn_) std::fputc('\n', stderr);
      if (!tty_) std::fprintf(stderr, "%s\n", Line().c_str());
    }
    join_ = Text(TText::JoiningPieces, {std::to_string(done), std::to_string(total)});
    Draw(false);
  }

  // Leaves the counters as they ended, on their own line.
  void EndProgress() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (tty_) {
      Draw(true);
      if (drawn_) std::fputc('\n', stderr);
    } else {
      std::fprintf(stderr, "%s\n", Line().c_str());
    }
    drawn_ = false;
  }
  void Note(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLine();
    std::fprintf(stderr, "%s\n", text.c_str());
    if (drawn_) Draw(true);
  }
  std::string Error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
  }

 private:
  std::string Line() const {
    if (!join_.empty()) return join_;
    std::string line = Text(TText::ProgressCounters, {read_, bad_, std::to_string(files_)});
    if (!time_.empty()) line += Text(TText::ProgressTimeLeft, {time_});
    return line;
  }
  void ClearLine() {
    if (tty_ && drawn_) std::fputs("\r\033[K", stderr);
  }
  void Draw(bool force) {
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

  std::mutex mutex_;
  bool tty_;
  bool rowsOpen_ = true;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point lastLine_ = std::chrono::steady_clock::now();
  std::string read_ = "0", bad_ = "0", time_, join_;
  size_t files_ = 0;
  std::string error_;
};

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

// The journal of an interrupted scan in the temporary folder, when --resume asks for it and
// it is of this card with these options. One line says why a journal there is not used.
std::shared_ptr<const TScanJournal> InterruptedScan(const TRecoverOptions& options, const TScanCheckList& checks) {
  const fs::path folder = PathFromUtf8(checks.TempFolder);
  if (!JournalPresent(folder)) {
    if (options.Resume) Say(stderr, TText::NoScanToResume, {checks.TempFolder});
    return nullptr;
  }
  const TResumeOffer offer =
      FindResumableScan(folder, ScanJournalKey(checks.Drive, checks.Inputs, options.Deep, true, 0, 0),
                        checks.Drive.DriveNumber);
  switch (offer.Verdict) {
    case TResumeVerdict::Matches:
      if (options.Resume) return offer.Journal;
      Say(stderr, TText::JournalNotResumed,
          {std::to_string(offer.Journal->Point.Done), std::to_string(offer.Journal->Point.Total)});
      break;
    case TResumeVerdict::OtherScan: Say(stderr, TText::JournalOtherScan, {checks.TempFolder}); break;
    case TResumeVerdict::Unusable: Say(stderr, TText::JournalUnusable, {checks.TempFolder}); break;
    case TResumeVerdict::None: break;
  }
  return nullptr;
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

// The scan, with the rows on stdout; Ctrl-C stops it like the Stop button. The error that
// ended it, empty when none.
std::string RunScan(const TRecoverOptions& options, const TScanCheckList& checks, TFoundFileList& found,
                    TCardImageWriter* image) {
  const TDriveEntry& card = checks.Drive;
  Say(stderr, TText::ScanHeader,
      {std::string(1, card.Letter), options.Source, std::to_string(card.SectorCount / 2048),
       SoughtTypes(checks.Inputs, options.Deep) + (options.Deep ? Text(TText::DeepScanSuffix) : "")});
  Say(stderr, TText::ScanInProgress);
  TCliScanEvents events;
  bool userStopped = false;
  const std::shared_ptr<const TScanJournal> resumeFrom = InterruptedScan(options, checks);
  try {
    // A continued scan goes on with the files in the folder; a new one moves them aside.
    if (resumeFrom) {
      Say(stderr, TText::ResumingScan, {std::to_string(resumeFrom->Point.Done), std::to_string(resumeFrom->Point.Total),
                                        std::to_string(resumeFrom->Rows.size())});
    } else if (const std::string kept = KeepEarlierTemporaryFiles(PathFromUtf8(checks.TempFolder),
                                                                  PathFromUtf8(checks.DestFolder));
               !kept.empty()) {
      ShowMessage(kept);
    }
  } catch (const std::exception& e) {
    // Scanning now could meet the kept files' names: nothing is scanned.
    Say(stderr, TText::ScanEndedOnError, {e.what()});
    return e.what();
  }
  g_quitHint = "\n" + RestoreCommandHint(PathFromUtf8(checks.TempFolder), PathFromUtf8(checks.DestFolder)) + "\n";
  {
    // The command has no other thread to hand the reports to: they run in place.
    TDigitalReadThread scan(events, [](const std::function<void()>& call) { call(); }, found);
    scan.Drive = card;
    scan.Card = DriveSectors(card.DriveNumber);
    scan.TempFolder = PathFromUtf8(checks.TempFolder);
    scan.Inputs = checks.Inputs;
    scan.WholeVolume = true;
    scan.DeepScan = options.Deep;
    scan.DescribeFile = DescribeFoundFile;
    scan.ResumeFrom = resumeFrom;
    scan.AfterBatch = KillHookForTests();
    g_stopRequested = false;
    CatchStopSignals(true);
    if (image) RecordCardReads(card.DriveNumber, image);
    scan.Start();
    while (!scan.WaitFor(100)) {
      if (g_stopRequested && !scan.Terminated()) {
        userStopped = true;
        events.Note(Text(TText::StoppingScan));
        scan.Terminate();
      }
    }
  }
  RecordCardReads(card.DriveNumber, nullptr);
  CatchStopSignals(false);
  events.EndProgress();
  const std::string scanError = events.Error();
  if (userStopped) ShowMessage(Text(TText::UserStopped));
  if (!scanError.empty()) Say(stderr, TText::ScanEndedOnError, {scanError});
  return scanError;
}

// Saves every found file (all are ticked) and says what became of them.
TSaveOutcome SaveAll(TFoundFileList& found, const TScanCheckList& checks) {
  const std::string& destFolder = checks.DestFolder;
  // Ctrl-C is held off during the save (see CatchStopSignals); the user is told why.
  g_stopRequested = false;
  const TSaveOutcome outcome = SaveFoundFiles(found, PathFromUtf8(destFolder), [](const TSaveStep& step) {
    if (g_stopRequested.exchange(false)) {
      Say(stderr, TText::FinishingSave, {std::to_string(step.Count - step.Index)});
    }
  });
  ClearFoundFiles(found);
  // The files a journal counts were saved: there is nothing left to go on with.
  RemoveScanJournal(PathFromUtf8(checks.TempFolder));
  bool kept = false;  // a file that cannot be saved keeps its temporary file
  for (const TNotSavedFile& file : outcome.NotSaved) {
    Say(stderr, TText::NotSaved, {file.Name, file.Reason, file.TempFile.string()});
    std::error_code ec;
    kept = kept || fs::exists(file.TempFile, ec);
  }
  if (kept) ShowMessage(RestoreCommandHint(PathFromUtf8(checks.TempFolder), PathFromUtf8(destFolder)));
  if (!outcome.Renamed.empty()) ShowMessage(RenamedFilesText(outcome.Renamed));
  Say(stderr, TText::FilesSaved, {std::to_string(outcome.Saved)});
  if (outcome.Saved > 0) ShowMessage(Text(TText::SavedIn) + destFolder);
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

  std::unique_ptr<TCardImageWriter> image;
  if (!options.Image.empty()) {
    try {
      const uint32_t sectorSize = checks->Drive.SectorSize != 0 ? checks->Drive.SectorSize : 512;
      image = std::make_unique<TCardImageWriter>(
          PathFromUtf8(options.Image), uint64_t{checks->Drive.SectorCount} * sectorSize);
    } catch (const std::exception& e) {
      Say(stderr, TText::RecoverUsageLine, {e.what()});
      return ExitUsage;
    }
  }

  TFoundFileList found;
  const std::string scanError = RunScan(options, *checks, found, image.get());
  int failed = scanError.empty() ? kGoOn : ExitScanError;
  if (image) {
    if (image->Finish()) {
      Say(stderr, TText::CardImageWritten, {options.Image, image->MapPath().string()});
    } else {
      Say(stderr, TText::CardImageIncomplete, {image->LastError()});
      failed = ExitScanError;
    }
  }
  if (found.Count() == 0) {
    ShowMessage(Text(TText::NothingFound));
    return failed != kGoOn ? failed : ExitNothing;
  }
  Say(stderr, TText::FoundCount, {std::to_string(found.Count())});
  if (options.ScanOnly) {
    Say(stderr, TText::ScanOnlyKept, {checks->TempFolder});
    ClearFoundFiles(found);
    if (failed != kGoOn) return failed;
    return g_stoppedByUser ? ExitInterrupted : ExitRecovered;
  }
  const TSaveOutcome outcome = SaveAll(found, *checks);
  if (failed != kGoOn) return failed;
  if (g_stoppedByUser) return ExitInterrupted;
  return outcome.Saved > 0 ? ExitRecovered : ExitNothing;
}

}  // namespace snapsalvager::cli
