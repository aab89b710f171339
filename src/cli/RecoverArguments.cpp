// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "cli/RecoverArguments.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "session/ScanChecks.h"
#include "session/ScanOptions.h"

namespace snapsalvager::cli {
namespace {

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

}  // namespace

std::string MatchCamera(const std::string& typed) {
  const std::vector<std::string> matches = CamerasMatching(typed);
  return matches.size() == 1 ? matches[0] : std::string();
}

void ListCameraChoices(const std::string& typed) {
  std::vector<std::string> matches = CamerasMatching(typed);
  Say(stderr, TText::CameraChoices,
      {typed, Text(matches.empty() ? TText::CameraNamesNone : TText::CameraAmbiguous)});
  if (matches.empty()) {
    for (const auto& camera : CameraTable()) matches.push_back(camera.Name);
  }
  for (const std::string& name : matches) std::fprintf(stderr, "  %s\n", name.c_str());
}

namespace {

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
    {"--original-names", nullptr, &TRecoverOptions::OriginalNames, true, true},
    {"--report", nullptr, &TRecoverOptions::Report, true, true},
    {"--yes", "-y", &TRecoverOptions::Yes, true, true},
    {"--onto-card-drive", nullptr, &TRecoverOptions::OntoCardDrive, true, true},
    {"--verdicts", nullptr, &TRecoverOptions::Verdicts, true, true},
    {"--set-aside-damaged", nullptr, &TRecoverOptions::SetAsideDamaged, true, true},
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

}  // namespace

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

}  // namespace snapsalvager::cli
