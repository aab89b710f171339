// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// The language of this run and the texts in it; the tables are in TextsChinese.cpp and
// TextsEnglish.cpp.
#include "session/Texts.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdlib>

#include "session/TextTables.h"

namespace snapsalvager {
namespace {

using texts::kTextCount;
using texts::TTextRow;

// Indexed by TLanguage.
constexpr const TTextRow* kTables[] = {texts::kChinese, texts::kEnglish};

std::atomic<TLanguage> g_language{TLanguage::Chinese};

}  // namespace

void SetLanguage(TLanguage language) { g_language = language; }

TLanguage Language() { return g_language.load(); }

std::optional<TLanguage> LanguageNamed(std::string_view name) {
  if (name == "en") return TLanguage::English;
  if (name == "zh") return TLanguage::Chinese;
  return std::nullopt;
}

TLanguage LanguageFromEnvironment() {
  if (const char* chosen = std::getenv("SNAPSALVAGER_LANG")) {
    if (const auto language = LanguageNamed(chosen)) return *language;
  }
  // The C library's order: the first variable set and not empty names the messages' locale.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    const std::string_view locale(value);
    const bool english = locale.substr(0, 2) == "en" &&
                         (locale.size() == 2 || locale[2] == '_' || locale[2] == '.' || locale[2] == '@');
    return english ? TLanguage::English : TLanguage::Chinese;
  }
  return TLanguage::Chinese;
}

const char* Text(TText id) {
  const size_t index = static_cast<size_t>(id);
  if (index >= kTextCount) return "";
  return kTables[static_cast<size_t>(g_language.load())][index].Text;
}

bool ChooseLanguage(int& argc, char** argv) {
  std::optional<TLanguage> chosen;
  bool valid = true;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    std::optional<std::string_view> value;
    if (arg == "--lang") {
      value = i + 1 < argc ? std::string_view(argv[++i]) : std::string_view();
    } else if (arg.substr(0, 7) == "--lang=") {
      value = arg.substr(7);
    }
    if (!value) {
      argv[kept++] = argv[i];
      continue;
    }
    chosen = LanguageNamed(*value);
    if (!chosen) valid = false;
  }
  argc = kept;
  argv[argc] = nullptr;
  SetLanguage(chosen && valid ? *chosen : LanguageFromEnvironment());
  return valid;
}

std::string Text(TText id, std::initializer_list<std::string_view> values) {
  const std::string_view pattern = Text(id);
  std::string text;
  text.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
      const size_t n = static_cast<size_t>(pattern[i + 1] - '1');
      if (n < values.size()) text += values.begin()[n];
      ++i;
      continue;
    }
    text += c;
  }
  return text;
}

}  // namespace snapsalvager
