// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Message boxes and the other modal moments of the wizard (folder and file pickers, custom
// dialogs). Each goes through a replaceable hook, so tests read every text and answer
// without a modal loop; the defaults show the real Qt dialogs.
#pragma once

#include <QMessageBox>
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

class QDialog;
class QFont;
class QLabel;
class QWidget;

namespace snapsalvager {

// Deletion: a question whose Yes destroys something; No is the default.
// Leaving: a question whose Yes leaves work behind; No (stay) is the default.
enum class TMessageKind { Information, Confirmation, Warning, Deletion, Leaving };

// Answers with the button pressed: QMessageBox::Ok, Yes, No, or Cancel when the box was
// closed otherwise.
using TPrompter = std::function<QMessageBox::StandardButton(TMessageKind kind, const QString& text)>;

// The window message boxes are centred on and take their font from; normally TMainForm.
void SetMessageOwner(QWidget* owner);
QWidget* MessageOwner();

// Replaces how boxes are shown; an empty function restores the real dialog.
void SetPrompter(TPrompter prompter);

// The real box for a message, captioned, with the owner's font and buttons set; not shown.
std::unique_ptr<QMessageBox> MakeMessageBox(TMessageKind kind, const QString& text);

// Modal information box with OK.
void ShowInfo(const QString& text);
// Modal question with Yes (the default) and No.
QMessageBox::StandardButton AskYesNo(const QString& text);
// The same question with the warning icon (closing during a scan).
QMessageBox::StandardButton AskYesNoWarning(const QString& text);
// A question whose Yes deletes something: the warning icon, No the default (Enter keeps).
QMessageBox::StandardButton AskBeforeDeleting(const QString& text);
// A question whose Yes leaves something behind: the question icon, No the default (Enter stays).
QMessageBox::StandardButton AskBeforeLeaving(const QString& text);

// Runs a custom dialog modally and returns its result (QDialog::Accepted or Rejected).
// Tests replace it to fill in the dialog and press a button.
using TDialogRunner = std::function<int(QDialog& dialog)>;
void SetDialogRunner(TDialogRunner runner);
int RunDialog(QDialog& dialog);
// Centres a window on the message owner (left/top truncated as integer division), or on the
// screen while the owner is hidden. A window not yet mapped is counted with the owner's frame.
void CentreOnOwner(QWidget& window);
// Where that puts the window's frame.
QPoint CentredFramePosition(const QWidget& window);
// The least width of a window whose title bar shows caption whole, next to the window
// icon and buttons.
int CaptionWidth(const QString& caption, const QFont& font);
// Shows text whole in a label of fixed size: a word-wrapping label may break a long path or
// list after its separators; a text that still does not fit is elided in the middle and
// shown whole in the tooltip.
void SetFittedText(QLabel& label, const QString& text);
// A "/"-separated list (".JPG/.3GP/...") on a word-wrapped label: lines break after a "/",
// never inside an item; a list longer than the label ends its last line with "/…" and the
// tooltip has the whole list.
void SetListText(QLabel& label, const QString& text);
// Loads the texts of the chosen language (engine Language()): for Chinese Qt's own texts
// (standard dialogs and buttons) from Qt's translations folder, for English the window's own
// translation; false when they cannot be loaded.
bool InstallQtTranslations();
// The look every small dialog shares: its panel paints its own white (whatever the style
// puts behind it) and its title label is dark blue (0x993300 in BGR order).
void StyleDialogPanel(QWidget& panel, QWidget& title);

// Folder and file pickers; an empty result means the user cancelled.
using TFolderChooser = std::function<QString(const QString& title, const QString& start)>;
using TFileChooser = std::function<QString(const QString& title, const QString& filter)>;
void SetFolderChooser(TFolderChooser chooser);
void SetFileChooser(TFileChooser chooser);
QString ChooseFolder(const QString& title, const QString& start = QString());
QString ChooseFile(const QString& title, const QString& filter);

}  // namespace snapsalvager
