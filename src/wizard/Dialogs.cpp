#include "wizard/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QPalette>
#include <QPointer>
#include <QPushButton>

namespace snapsalvager {
namespace {

QPointer<QWidget> g_owner;
TPrompter g_prompter;
TDialogRunner g_runner;
TFolderChooser g_folderChooser;
TFileChooser g_fileChooser;

QMessageBox::StandardButton ShowRealBox(TMessageKind kind, const QString& text) {
  std::unique_ptr<QMessageBox> box = MakeMessageBox(kind, text);
  const int result = box->exec();
  if (result == QMessageBox::Yes || result == QMessageBox::No || result == QMessageBox::Ok)
    return static_cast<QMessageBox::StandardButton>(result);
  return QMessageBox::Cancel;
}

QMessageBox::StandardButton Prompt(TMessageKind kind, const QString& text) {
  if (g_prompter) return g_prompter(kind, text);
  return ShowRealBox(kind, text);
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(TMessageKind kind, const QString& text) {
  auto box = std::make_unique<QMessageBox>(g_owner);
  box->setWindowTitle(QApplication::applicationName());
  // The texts carry Windows line breaks; a lone CR would show as a glyph.
  box->setText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
  if (kind == TMessageKind::Information) {
    box->setIcon(QMessageBox::Information);
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    box->button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  } else {
    box->setIcon(kind == TMessageKind::Warning ? QMessageBox::Warning : QMessageBox::Question);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::Yes);
    box->button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
    box->button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
  }
  box->setWindowModality(Qt::ApplicationModal);
  if (g_owner) {
    QFont font = box->font();
    font.setFamilies(g_owner->font().families());
    if (g_owner->font().pixelSize() > 0)
      font.setPixelSize(g_owner->font().pixelSize());
    else
      font.setPointSizeF(g_owner->font().pointSizeF());
    box->setFont(font);
  }
  box->adjustSize();
  CentreOnOwner(*box);
  return box;
}

void SetMessageOwner(QWidget* owner) { g_owner = owner; }
QWidget* MessageOwner() { return g_owner; }
void SetPrompter(TPrompter prompter) { g_prompter = std::move(prompter); }

void ShowInfo(const QString& text) { Prompt(TMessageKind::Information, text); }

QMessageBox::StandardButton AskYesNo(const QString& text) {
  return Prompt(TMessageKind::Confirmation, text);
}

QMessageBox::StandardButton AskYesNoWarning(const QString& text) {
  return Prompt(TMessageKind::Warning, text);
}

void SetDialogRunner(TDialogRunner runner) { g_runner = std::move(runner); }

int RunDialog(QDialog& dialog) {
  if (g_runner) return g_runner(dialog);
  CentreOnOwner(dialog);
  return dialog.exec();
}

void CentreOnOwner(QWidget& window) {
  if (!g_owner) return;
  const QRect frame = g_owner->frameGeometry();
  const QSize size = window.frameGeometry().size();
  // Integer division truncates toward zero, as the window rules ask.
  window.move(frame.left() + (frame.width() - size.width()) / 2,
              frame.top() + (frame.height() - size.height()) / 2);
}

void SetFolderChooser(TFolderChooser chooser) { g_folderChooser = std::move(chooser); }
void SetFileChooser(TFileChooser chooser) { g_fileChooser = std::move(chooser); }

QString ChooseFolder(const QString& title) {
  if (g_folderChooser) return g_folderChooser(title);
  return QFileDialog::getExistingDirectory(g_owner, title, QString(),
                                           QFileDialog::ShowDirsOnly);
}

QString ChooseFile(const QString& title, const QString& filter) {
  if (g_fileChooser) return g_fileChooser(title, filter);
  return QFileDialog::getOpenFileName(g_owner, title, QString(), filter);
}

void StyleDialogPanel(QWidget& panel, QWidget& title) {
  QPalette white = panel.palette();
  white.setColor(QPalette::Window, Qt::white);
  panel.setPalette(white);
  panel.setAutoFillBackground(true);
  QPalette blue = title.palette();
  blue.setColor(QPalette::WindowText, QColor(0x00, 0x33, 0x99));
  title.setPalette(blue);
}

}  // namespace snapsalvager
