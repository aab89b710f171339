// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Helpers for the wizard suites: the language of a run, a scripted prompter that records
// every message box and answers from a queue, a recorder for documents handed to the desktop,
// and a window built without the start-up question.
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string_view>

#include "session/Texts.h"
#include "wizard/DeviceRights.h"
#include "wizard/Dialogs.h"
#include "wizard/HelpLinks.h"
#include "wizard/WizardWindow.h"

namespace snapsalvager::test {

// The language of a suite's run: SNAPSALVAGER_LANG ("en" or "zh") as the program reads it,
// else Chinese whatever the locale, so a run is the same on every machine; with the
// translations the program installs at start.
inline void ChooseSuiteLanguage() {
  const char* name = std::getenv("SNAPSALVAGER_LANG");
  SetLanguage(LanguageNamed(name ? name : "").value_or(TLanguage::Chinese));
  if (!InstallQtTranslations()) qWarning("the translations of the chosen language are missing");
}

// A window text in the language of the run, from its Chinese source text: the .ui forms'
// texts in the context of their form ("MainForm"), the code's in "Snapsalvager". Each
// suite pins the texts of its own module this way, in both languages.
inline QString Tr(const char* source, const char* context = "Snapsalvager") {
  return QCoreApplication::translate(context, source);
}

inline bool English() { return Language() == TLanguage::English; }

// A text of the engine's table as the window shows it.
inline QString EngineText(TText id, std::initializer_list<std::string_view> values = {}) {
  return QString::fromStdString(Text(id, values));
}

// Installed for its lifetime. Questions take the queued answers in order, then `fallback`;
// information boxes answer Ok.
class TScriptedPrompter {
 public:
  struct TMessage {
    TMessageKind Kind;
    QString Text;
  };

  TScriptedPrompter() {
    SetPrompter([this](TMessageKind kind, const QString& text) {
      Messages.append({kind, text});
      if (kind == TMessageKind::Information) return QMessageBox::Ok;
      return Answers.isEmpty() ? Fallback : Answers.takeFirst();
    });
  }
  ~TScriptedPrompter() { SetPrompter({}); }
  TScriptedPrompter(const TScriptedPrompter&) = delete;
  TScriptedPrompter& operator=(const TScriptedPrompter&) = delete;

  QStringList Texts() const {
    QStringList texts;
    for (const TMessage& m : Messages) texts << m.Text;
    return texts;
  }
  void Clear() { Messages.clear(); }

  QList<TMessage> Messages;
  QList<QMessageBox::StandardButton> Answers;
  QMessageBox::StandardButton Fallback = QMessageBox::No;
};

// Records what would have been opened in the browser or the file viewer.
class TDocumentRecorder {
 public:
  TDocumentRecorder() {
    SetDocumentOpener([this](const QString& document) { Opened << document; });
  }
  ~TDocumentRecorder() { SetDocumentOpener({}); }
  QStringList Opened;
};

// Custom dialogs run through `run` instead of a modal loop.
class TDialogScript {
 public:
  explicit TDialogScript(std::function<int(QDialog&)> run) { SetDialogRunner(std::move(run)); }
  ~TDialogScript() { SetDialogRunner({}); }
};

// The window as the user meets it, with the administrator question answered away; its
// preview checks files with the decode helper of this build.
inline std::unique_ptr<TMainForm> MakeMainForm() {
  SetAdministratorOverride(true);
  auto form = std::make_unique<TMainForm>();
  SetAdministratorOverride(std::nullopt);
#ifdef SNAPSALVAGER_DECODE_HELPER_PATH
  form->PreviewPage.CheckOptions.Helper = SNAPSALVAGER_DECODE_HELPER_PATH;
#endif
  return form;
}

}  // namespace snapsalvager::test

// QTEST_MAIN with the language chosen before the suite builds its first window (the suite
// includes QtTest).
#define SNAPSALVAGER_WIZARD_TEST_MAIN(Suite) \
  QTEST_MAIN_WRAPPER(Suite, QTEST_MAIN_SETUP() snapsalvager::test::ChooseSuiteLanguage();)
