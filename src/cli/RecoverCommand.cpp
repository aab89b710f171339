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
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "engine/CardImageWriter.h"
#include "engine/ScanThread.h"
#include "metadata/PhotoSummary.h"
#include "engine/FoundFiles.h"
#include "engine/LinuxDrives.h"
#include "engine/ScanChecks.h"
#include "engine/ScanOptions.h"
#include "engine/SaveFiles.h"

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
};
constexpr int kGoOn = -1;  // a check passed: the command goes on

const char* const kUsage =
    "usage: snapsalvager-cli recover SOURCE DEST [options]\n"
    "\n"
    "Recovers the photos, videos and audio clips of a memory card into DEST, reading the\n"
    "whole card below its file system. The card is only ever read. Found files are saved\n"
    "as DEST/File0001.JPG, ... and never replace a file already there.\n"
    "\n"
    "SOURCE   a disk-image file, a block device (/dev/sdb1), or a drive letter such as E:\n"
    "DEST     the destination folder (created when missing; temporary files go to\n"
    "         DEST/TmpFiles/)\n"
    "\n"
    "options:\n"
    "  --camera NAME     camera brand as you would type it (canon, Sony): the start of a\n"
    "                    name of --camera list, without regard to case (default\n"
    "                    \"Generic Digital Camera\")\n"
    "  --photo           look for photos (the default)\n"
    "  --no-photo        do not look for photos\n"
    "  --video [TYPE]    look for videos: ALL (the default) or one of\n"
    "                    MPG, MOV, ASF, MP4, AVI, 3GP, MTS\n"
    "  --audio           look for audio clips (WAV, MP3, AMR)\n"
    "  --scan-only       scan and keep the temporary files; save nothing\n"
    "  --deep            deep scan: follow each file's structure so it ends at its\n"
    "                    real last byte, keep videos whole, find more clips (slower)\n"
    "  --image FILE      also write the card into FILE as it is read (unreadable\n"
    "                    sectors as zeros) and a GNU ddrescue map file FILE.map naming\n"
    "                    the unreadable areas; later scans can run on FILE, and ddrescue\n"
    "                    can retry the bad areas of the card. Neither file may exist.\n"
    "  --sectors N       the card's capacity in 512-byte sectors, when it cannot be\n"
    "                    measured\n"
    "  --yes             go on where the wizard would ask whether to choose another\n"
    "                    folder or drive: too little free space, a drive as big as a\n"
    "                    hard disk, earlier recoveries in DEST (without it such a\n"
    "                    question ends the command)\n"
    "  --onto-card-drive go on although DEST is on the card's own drive. --yes does not\n"
    "                    answer this: the temporary files would be written into the\n"
    "                    card's free space, over the deleted photos being recovered.\n"
    "  --help            show this text\n"
    "  --version         show the version\n"
    "\n"
    "stdout: one row per found file: number, file name, size in bytes, properties,\n"
    "separated by tabs. stderr: progress and messages. Ctrl-C stops the scan and saves\n"
    "what was found.\n"
    "exit status:\n"
    "  0  files recovered (found, with --scan-only)\n"
    "  1  nothing found or recovered\n"
    "  2  bad usage: an unknown option, a missing or refused value, no such SOURCE\n"
    "  3  an I/O error ended the scan (what was found before it is saved)\n"
    "  4  stopped at a question (answer it with --yes, --onto-card-drive or --sectors)\n"
    "  5  the card cannot be opened or read\n";

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
  std::string Image;  // empty: no card image
  std::optional<uint32_t> Sectors;
  bool Yes = false;
  bool OntoCardDrive = false;
  bool Help = false;
  bool Version = false;
  bool ListCameras = false;
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
    std::fprintf(stderr, "(%s: going on)\n", option);
    return true;
  }
  std::fprintf(stderr, "Stopped here; run again with %s to go on anyway.\n", option);
  return false;
}

bool UsageError(const std::string& text) {
  std::fprintf(stderr, "snapsalvager-cli recover: %s\n", text.c_str());
  std::fputs("Run 'snapsalvager-cli recover --help' for the options.\n", stderr);
  return false;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

bool ParseSectors(const std::string& text, uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t number = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    number = number * 10 + static_cast<uint64_t>(c - '0');
  }
  if (number == 0 || number > UINT32_MAX) return false;
  value = static_cast<uint32_t>(number);
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
  std::fprintf(stderr, "(--camera '%s' %s; the choices:)\n", typed.c_str(),
               matches.empty() ? "names no camera" : "is ambiguous");
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
  options.VideoType = word.hasValue ? Upper(word.value) : "ALL";
  if (IsVideoType(options.VideoType)) return true;
  return UsageError("unknown video type '" + word.value + "' (ALL, MPG, MOV, ASF, MP4, AVI, 3GP, MTS)");
}

// One option of the command line; false (the usage error said) when it is wrong.
bool ParseOption(TOptionWord& word, TRecoverOptions& options) {
  for (const TFlagOption& flag : kFlagOptions) {
    if (word.name != flag.Name && (flag.Alias == nullptr || word.name != flag.Alias)) continue;
    if (flag.RefusesValue && word.hasValue) return UsageError(word.name + " takes no value");
    options.*flag.Member = flag.Value;
    return true;
  }
  if (word.name == "--camera") {
    if (!word.TakeValue()) return UsageError("--camera needs a camera name");
    if (Upper(word.value) == "LIST") {
      options.ListCameras = true;
    } else {
      options.Camera = word.value;
    }
    return true;
  }
  if (word.name == "--video") return ParseVideoOption(word, options);
  if (word.name == "--image") {
    if (!word.TakeValue() || word.value.empty()) return UsageError("--image needs a file name");
    options.Image = word.value;
    return true;
  }
  if (word.name == "--sectors") {
    uint32_t sectors = 0;
    if (!word.TakeValue() || !ParseSectors(word.value, sectors))
      return UsageError("--sectors needs a whole number of sectors from 1 to 4294967295");
    options.Sectors = sectors;
    return true;
  }
  return UsageError("unknown option '" + std::string(word.argv[word.i]) + "'");
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
  if (positional.size() != 2) return UsageError("needs a SOURCE and a DEST");
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
      std::fprintf(stderr, "snapsalvager-cli recover: cannot find %s: %s\n", source.c_str(),
                   std::strerror(errno));
      return ExitUsage;
    }
    letter = LinuxDrives::LetterOfPath(source);
    if (letter == 0) letter = LinuxDrives::AttachImage(source);
    if (letter == 0) {
      if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        std::fprintf(stderr, "snapsalvager-cli recover: %s is neither a disk-image file nor a block device\n",
                     source.c_str());
        return ExitUsage;
      }
      const int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
      const int error = fd < 0 ? errno : ENOSPC;  // no free letter is all that is left
      if (fd >= 0) ::close(fd);
      ShowMessage(error == ENOSPC ? "snapsalvager-cli recover: no drive letter is free for " + source
                                  : CannotOpenCardText(source, error));
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

  void SetProgressPosition(uint32_t) override {}
  void SetProgressMaximum(uint32_t) override {}
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
    std::string line = "已扫描的扇区: " + read_ + "  无法访问的扇区：" + bad_ +
                       "  找到的文件：" + std::to_string(files_);
    if (!time_.empty()) line += "  预计完成：" + time_;
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
  std::string read_ = "0", bad_ = "0", time_;
  size_t files_ = 0;
  std::string error_;
};

std::atomic<bool> g_stopRequested{false};

extern "C" void OnStopSignal(int) { g_stopRequested = true; }

void CatchStopSignals(bool resetAfterFirst) {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  // During the scan a second Ctrl-C ends the program at once; during the save it is held
  // off, so no file is left between its restored head and its move.
  action.sa_flags = resetAfterFirst ? SA_RESETHAND : 0;
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
  std::fprintf(stderr, "(give the capacity with --sectors N; %u sectors would be %u MB)\n",
               checks.Drive.SectorCount, DecimalMegabytes(checks.Drive.SectorCount));
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
          std::fprintf(stderr, "(no drive has the letter %s; 'snapsalvager-cli drives' lists them)\n",
                       options.Source.c_str());
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
    std::fputs(kUsage, stdout);
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
    std::fprintf(stderr, "(the card measures %u sectors; --sectors is not needed)\n", checks->Drive.SectorCount);
  return kGoOn;
}

// The scan, with the rows on stdout; Ctrl-C stops it like the Stop button. The error that
// ended it, empty when none.
std::string RunScan(const TRecoverOptions& options, const TScanCheckList& checks, TFoundFileList& found,
                    TCardImageWriter* image) {
  const TDriveEntry& card = checks.Drive;
  std::fprintf(stderr, "驱动器号：%c: (%s)  存储大小:  %u MB  要检测的文件类型：%s\n", card.Letter,
               options.Source.c_str(), card.SectorCount / 2048,
               (SoughtTypes(checks.Inputs) + (options.Deep ? kDeepScanSuffix : "")).c_str());
  std::fputs("扫描正在进行中...\n", stderr);
  TCliScanEvents events;
  bool userStopped = false;
  {
    // The command has no other thread to hand the reports to: they run in place.
    TDigitalReadThread scan(events, [](const std::function<void()>& call) { call(); }, found);
    scan.Drive = card;
    scan.TempFolder = checks.TempFolder;
    scan.Inputs = checks.Inputs;
    scan.WholeVolume = true;
    scan.DeepScan = options.Deep;
    scan.DescribeFile = DescribeFoundFile;
    g_stopRequested = false;
    CatchStopSignals(true);
    if (image) RecordCardReads(card.DriveNumber, image);
    scan.Start();
    while (!scan.WaitFor(100)) {
      if (g_stopRequested && !scan.Terminated()) {
        userStopped = true;
        events.Note("Stopping: the files found so far will be saved (Ctrl-C again quits at once).");
        scan.Terminate();
      }
    }
  }
  RecordCardReads(card.DriveNumber, nullptr);
  CatchStopSignals(false);
  events.EndProgress();
  const std::string scanError = events.Error();
  if (userStopped) ShowMessage(kUserStoppedText);
  if (!scanError.empty()) std::fprintf(stderr, "The scan ended on an error: %s\n", scanError.c_str());
  return scanError;
}

// Saves every found file (all are ticked) and says what became of them.
TSaveOutcome SaveAll(TFoundFileList& found, const TScanCheckList& checks) {
  const std::string& destFolder = checks.DestFolder;
  // Ctrl-C is held off during the save (see CatchStopSignals); the user is told why.
  g_stopRequested = false;
  const TSaveOutcome outcome = SaveFoundFiles(found, destFolder, [](const TSaveStep& step) {
    if (g_stopRequested.exchange(false)) {
      std::fprintf(stderr, "Finishing the save so that no file is left half-saved: %zu file(s) remain.\n",
                   step.Count - step.Index);
    }
  });
  ClearFoundFiles(found);
  bool kept = false;  // a file that cannot be saved keeps its temporary file
  for (const TNotSavedFile& file : outcome.NotSaved) {
    std::fprintf(stderr, "Not saved: %s (%s); its data stays in %s\n", file.Name.c_str(),
                 file.Reason.c_str(), file.TempFile.c_str());
    std::error_code ec;
    kept = kept || fs::exists(file.TempFile, ec);
  }
  if (kept) ShowMessage(RestoreCommandHint(checks.TempFolder, destFolder));
  std::fprintf(stderr, "%zu file(s) saved.\n", outcome.Saved);
  if (outcome.Saved > 0) ShowMessage(kSavedInText + destFolder);
  if (outcome.SpecialTypeFound) {
    ShowMessage("重要说明： 已恢复的文件包含一些特殊的文件类型。在某些情况下，它可能需要生成的程序或它不能正常打开。");
    std::fprintf(stderr, "(%s files may need post-processing)\n", outcome.SpecialTypeExt.c_str());
  }
  return outcome;
}

}  // namespace

int RunRecoverCommand(int argc, char** argv) {
  // A closed stdout must not kill the scan: its writes fail instead (see AddFoundFile).
  ::signal(SIGPIPE, SIG_IGN);
  TRecoverOptions options;
  if (!ParseArguments(argc, argv, options)) return ExitUsage;
  if (AnsweredByItself(options)) return 0;
  std::optional<TScanCheckList> checks;
  if (const int status = PrepareRecovery(options, checks); status != kGoOn) return status;

  std::unique_ptr<TCardImageWriter> image;
  if (!options.Image.empty()) {
    try {
      image = std::make_unique<TCardImageWriter>(
          options.Image, uint64_t{checks->Drive.SectorCount} * (checks->Drive.SectorSize ? checks->Drive.SectorSize : 512));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "snapsalvager-cli recover: %s\n", e.what());
      return ExitUsage;
    }
  }

  TFoundFileList found;
  const std::string scanError = RunScan(options, *checks, found, image.get());
  int failed = scanError.empty() ? kGoOn : ExitScanError;
  if (image) {
    if (image->Finish()) {
      std::fprintf(stderr, "Card image: %s (map: %s)\n", options.Image.c_str(),
                   image->MapPath().c_str());
    } else {
      std::fprintf(stderr, "The card image is incomplete: %s\n", image->LastError().c_str());
      failed = ExitScanError;
    }
  }
  if (found.Count() == 0) {
    ShowMessage(kNothingFoundText);
    return failed != kGoOn ? failed : ExitNothing;
  }
  std::fprintf(stderr, "发现共有 %zu 个文件。\n", found.Count());
  if (options.ScanOnly) {
    std::fprintf(stderr, "--scan-only: nothing saved; the temporary files stay in %s\n",
                 checks->TempFolder.c_str());
    ClearFoundFiles(found);
    return failed != kGoOn ? failed : ExitRecovered;
  }
  const TSaveOutcome outcome = SaveAll(found, *checks);
  if (failed != kGoOn) return failed;
  return outcome.Saved > 0 ? ExitRecovered : ExitNothing;
}

}  // namespace snapsalvager::cli
