#include "wizard/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QLibraryInfo>
#include <QLocale>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>
#include <QWindow>

#include <algorithm>

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

// A message box sizes itself only when shown (it chooses its line breaks then); it is
// placed after that, so a long message is centred as well as a short one, and it is made
// wide enough for its caption.
class TMessageBox final : public QMessageBox {
 public:
  using QMessageBox::QMessageBox;

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    const int room = CaptionWidth(windowTitle(), font());
    if (width() < room) {
      // The box sizes itself from its layout again on every layout request: its text is
      // given the extra width, and the box takes it at once.
      if (auto* label = findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setMinimumWidth(label->width() + room - width());
      const int height = layout() && layout()->hasHeightForWidth()
                             ? layout()->totalHeightForWidth(room)
                             : this->height();
      setFixedSize(room, std::max(height, this->height()));
    }
    CentreOnOwner(*this);
    // The window manager's frame is known only once the box is on screen: centre it again
    // then, with its real frame.
    if (QWindow* window = windowHandle()) window->installEventFilter(this);
  }

  void resizeEvent(QResizeEvent* event) override {
    QMessageBox::resizeEvent(event);
    if (isVisible()) CentreOnOwner(*this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == windowHandle() && event->type() == QEvent::Expose && !framed_ &&
        windowHandle()->isExposed() && frameGeometry().size() != size() &&
        frameGeometry().contains(geometry())) {
      framed_ = true;
      CentreOnOwner(*this);
    }
    return QMessageBox::eventFilter(watched, event);
  }

 private:
  bool framed_ = false;
};

}  // namespace

int CaptionWidth(const QString& caption, const QFont& font) {
  // Window managers draw the caption in a bold face, between the window icon and the
  // minimise and close buttons: each about as wide as the title bar is high.
  QFont bold = font;
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  return metrics.horizontalAdvance(caption) + 5 * std::max(metrics.height() + 8, 24);
}

std::unique_ptr<QMessageBox> MakeMessageBox(TMessageKind kind, const QString& text) {
  // Before the window is shown (the start-up question) the box stands on its own, centred on
  // the screen: a box owned by a hidden window lands in a corner.
  QWidget* parent = g_owner && g_owner->isVisible() ? g_owner.data() : nullptr;
  auto box = std::make_unique<TMessageBox>(parent);
  QString caption = QApplication::applicationName();
  if (caption.isEmpty() && g_owner) caption = g_owner->windowTitle();
  box->setWindowTitle(caption);
  if (g_owner && !g_owner->windowIcon().isNull())
    box->setWindowIcon(g_owner->windowIcon());
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
  QRect frame;
  QSize margins;
  QPoint clientOffset;
  if (g_owner && g_owner->isVisible()) {
    frame = g_owner->frameGeometry();
    // A window not yet on screen has no frame yet: it gets the owner's.
    margins = frame.size() - g_owner->geometry().size();
    clientOffset = g_owner->geometry().topLeft() - frame.topLeft();
  } else {
    const QScreen* screen = g_owner ? g_owner->screen() : window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    frame = screen->availableGeometry();
  }
  // The frame is known once the window is on screen and the window manager framed it.
  const bool framed = window.isVisible() && window.windowHandle() &&
                      window.windowHandle()->isExposed() &&
                      window.frameGeometry().size() != window.size() &&
                      window.frameGeometry().contains(window.geometry());
  const QSize size = framed ? window.frameGeometry().size() : window.size() + margins;
  // Integer division truncates toward zero, as the window rules ask.
  QPoint topLeft(frame.left() + (frame.width() - size.width()) / 2,
                 frame.top() + (frame.height() - size.height()) / 2);
  // A window not yet on screen is placed by its client area, below and inside its frame.
  if (!framed) topLeft += clientOffset;
  window.move(topLeft);
}

bool InstallQtTranslations() {
  // The window speaks Chinese whatever the desktop's language: Qt's own dialogs, buttons
  // and context menus follow it.
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                        QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

namespace {

// Zero-width spaces after the separators of a path or list, where a line may break.
QString Breakable(const QString& text) {
  QString out;
  out.reserve(text.size() * 2);
  for (const QChar c : text) {
    out += c;
    if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('_'))
      out += QChar(0x200B);
  }
  return out;
}

bool Fits(const QLabel& label, const QString& text, int room) {
  const QFontMetrics metrics(label.font());
  if (!label.wordWrap()) return metrics.horizontalAdvance(text) <= room;
  const QRect need = metrics.boundingRect(QRect(0, 0, room, 100000),
                                          Qt::TextWordWrap | int(label.alignment()), text);
  return need.width() <= room && need.height() <= label.contentsRect().height();
}

}  // namespace

void SetFittedText(QLabel& label, const QString& text) {
  const int room = label.contentsRect().width() - 2 * label.margin() -
                   (label.indent() > 0 ? label.indent() : 0);
  label.setToolTip(QString());
  if (Fits(label, text, room)) {
    label.setText(text);
    return;
  }
  if (label.wordWrap()) {
    const QString breakable = Breakable(text);
    if (Fits(label, breakable, room)) {
      label.setText(breakable);
      return;
    }
  }
  // Too long even so: the middle gives way, and the tooltip has the whole text.
  const QFontMetrics metrics(label.font());
  const int lines = label.wordWrap() ? std::max(1, label.contentsRect().height() / metrics.lineSpacing()) : 1;
  QString shown = text;
  for (int budget = room * lines; budget > 0; budget -= metrics.averageCharWidth()) {
    shown = metrics.elidedText(text, Qt::ElideMiddle, budget);
    if (label.wordWrap()) shown = Breakable(shown);
    if (Fits(label, shown, room)) break;
  }
  label.setText(shown);
  label.setToolTip(text);
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
