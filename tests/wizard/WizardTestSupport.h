// Helpers for the wizard suites: a scripted prompter that records every message box and
// answers from a queue, a recorder for documents handed to the desktop, and a window built
// without the start-up question.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string_view>

#include "engine/Texts.h"
#include "wizard/Dialogs.h"
#include "wizard/HelpLinks.h"
#include "wizard/WizardWindow.h"
#include "wizard/DeviceAccess.h"

namespace snapsalvager::test {

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

// The window as the user meets it, with the administrator question answered away.
inline std::unique_ptr<TMainForm> MakeMainForm() {
  SetAdministratorOverride(true);
  auto form = std::make_unique<TMainForm>();
  SetAdministratorOverride(std::nullopt);
  return form;
}

}  // namespace snapsalvager::test
