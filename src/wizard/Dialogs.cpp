// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/Dialogs.h"

#include "session/Texts.h"

#include <QCoreApplication>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>
#include <QWindow>

#include <algorithm>
#include <cstdlib>

namespace snapsalvager {
namespace {

QPointer<QWidget> g_owner;
TPrompter g_prompter;
TDialogRunner g_runner;
TFolderChooser g_folderChooser;
TFileChooser g_fileChooser;

bool HasFrame(const QWidget& window);
QMargins FrameMargins(const QWidget& window);
QRect FrameRect(const QWidget& window);
void MoveClientTo(QWidget& window, QPoint client);

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
  explicit TMessageBox(QWidget* parent) : QMessageBox(parent) {
    settle_.setInterval(100);
    connect(&settle_, &QTimer::timeout, this, [this] {
      KeepCentred();
      if (++checks_ >= 10 || !isVisible()) settle_.stop();
    });
  }

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
    if (QWindow* window = windowHandle()) window->installEventFilter(this);
    // Qt may learn the frame the window manager gave the box without any move, resize or
    // expose following it: the box looks again a few times in its first second.
    checks_ = 0;
    settle_.start();
  }

  // The box's size may change once more while it is shown, and the window manager may
  // place the frame otherwise than asked: the box is checked again whenever it is exposed,
  // moved or resized, a few times at most so it never fights the window manager.
  void resizeEvent(QResizeEvent* event) override {
    QMessageBox::resizeEvent(event);
    KeepCentred();
  }

  void moveEvent(QMoveEvent* event) override {
    QMessageBox::moveEvent(event);
    KeepCentred();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == windowHandle() && event->type() == QEvent::Expose) KeepCentred();
    return QMessageBox::eventFilter(watched, event);
  }

 private:
  void KeepCentred() {
    if (!isVisible() || corrections_ >= 6 || !HasFrame(*this)) return;
    const QPoint target = CentredFramePosition(*this);
    const QPoint off = FrameRect(*this).topLeft() - target;
    if (std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1) return;
    ++corrections_;
    const QMargins margins = FrameMargins(*this);
    MoveClientTo(*this, target + QPoint(margins.left(), margins.top()));
  }

  int corrections_ = 0;
  int checks_ = 0;
  QTimer settle_;
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
  // The texts carry CR LF line breaks; a lone CR would show as a glyph.
  box->setText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
  if (kind == TMessageKind::Information) {
    box->setIcon(QMessageBox::Information);
    box->setStandardButtons(QMessageBox::Ok);
    box->setDefaultButton(QMessageBox::Ok);
    box->button(QMessageBox::Ok)->setText(QCoreApplication::translate("Snapsalvager", "确定"));
  } else {
    const bool question = kind == TMessageKind::Confirmation || kind == TMessageKind::Leaving;
    box->setIcon(question ? QMessageBox::Question : QMessageBox::Warning);
    box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    const bool noFirst = kind == TMessageKind::Deletion || kind == TMessageKind::Leaving;
    box->setDefaultButton(noFirst ? QMessageBox::No : QMessageBox::Yes);
    box->button(QMessageBox::Yes)->setText(QCoreApplication::translate("Snapsalvager", "是(&Y)"));
    box->button(QMessageBox::No)->setText(QCoreApplication::translate("Snapsalvager", "否(&N)"));
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

QMessageBox::StandardButton AskBeforeDeleting(const QString& text) {
  return Prompt(TMessageKind::Deletion, text);
}

QMessageBox::StandardButton AskBeforeLeaving(const QString& text) {
  return Prompt(TMessageKind::Leaving, text);
}

QMessageBox::StandardButton AskYesNoWarning(const QString& text) {
  return Prompt(TMessageKind::Warning, text);
}

void SetDialogRunner(TDialogRunner runner) { g_runner = std::move(runner); }

int RunDialog(QDialog& dialog) {
  if (g_runner) return g_runner(dialog);
  dialog.winId();  // created now, so it is centred with the frame it is about to get
  CentreOnOwner(dialog);
  return dialog.exec();
}

namespace {

// The frame the window manager gave a window, as the window system reports it now. The
// widget keeps its own copy, which may still say "no frame" after the window manager framed it.
QMargins FrameMargins(const QWidget& window) {
  const QWindow* handle = window.windowHandle();
  return handle ? handle->frameMargins() : QMargins();
}

QRect FrameRect(const QWidget& window) {
  return window.geometry().marginsAdded(FrameMargins(window));
}

bool HasFrame(const QWidget& window) { return !FrameMargins(window).isNull(); }

// Puts the client area at a place on the screen. QWidget::move() takes a frame position and
// adds the widget's own copy of the frame, which may be stale: that copy is taken out again.
void MoveClientTo(QWidget& window, QPoint client) {
  window.move(client - (window.geometry().topLeft() - window.pos()));
}

// Where the owner (or the screen) is, and the frame the owner foretells for a window not yet
// framed: its size and the client's offset inside it.
struct TPlacement {
  QRect Area;
  QSize Margins;
  QPoint ClientOffset;
};

TPlacement PlacementFor(const QWidget& window) {
  TPlacement placement;
  if (g_owner && g_owner->isVisible()) {
    placement.Area = FrameRect(*g_owner);
    placement.Margins = placement.Area.size() - g_owner->geometry().size();
    placement.ClientOffset = g_owner->geometry().topLeft() - placement.Area.topLeft();
  } else {
    const QScreen* screen = g_owner ? g_owner->screen() : window.screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (screen) placement.Area = screen->availableGeometry();
  }
  return placement;
}

}  // namespace

QPoint CentredFramePosition(const QWidget& window) {
  const TPlacement placement = PlacementFor(window);
  // A window about to be shown (created, not yet framed) will get a frame like its owner's.
  const bool framing = !HasFrame(window) && window.testAttribute(Qt::WA_WState_Created);
  const QSize size = framing ? window.size() + placement.Margins : FrameRect(window).size();
  // Integer division truncates toward zero, as the window rules ask.
  return QPoint(placement.Area.left() + (placement.Area.width() - size.width()) / 2,
                placement.Area.top() + (placement.Area.height() - size.height()) / 2);
}

void CentreOnOwner(QWidget& window) {
  const TPlacement placement = PlacementFor(window);
  if (placement.Area.isEmpty()) return;
  const QPoint topLeft = CentredFramePosition(window);
  // A window not created yet is placed by its frame when it is shown.
  if (!window.testAttribute(Qt::WA_WState_Created)) {
    window.move(topLeft);
    return;
  }
  // The client area sits inside the frame: where the frame has it, or, before the window
  // manager has framed the window, where the owner's frame has it.
  const QMargins margins = FrameMargins(window);
  const QPoint inside = HasFrame(window) ? QPoint(margins.left(), margins.top()) : placement.ClientOffset;
  MoveClientTo(window, topLeft + inside);
}

bool InstallQtTranslations() {
  // English: the window's own texts from the translation built into the program; Qt's own
  // dialogs are English without one.
  if (Language() == TLanguage::English) {
    auto* own = new QTranslator(QCoreApplication::instance());
    if (!own->load(QStringLiteral(":/i18n/snapsalvager_en.qm"))) {
      delete own;
      return false;
    }
    return QCoreApplication::installTranslator(own);
  }
  // Chinese, the source texts: Qt's own dialogs, buttons and context menus follow them.
  auto* translator = new QTranslator(QCoreApplication::instance());
#ifdef _WIN32
  // Built into the program: a static Qt has no translations folder.
  const QString folder = QStringLiteral(":/i18n");
#else
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
#endif
  if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                        QStringLiteral("_"), folder)) {
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

void SetListText(QLabel& label, const QString& text) {
  const QFontMetrics metrics(label.font());
  const int room = label.contentsRect().width() - 2 * label.margin();
  const int most = std::max(1, label.contentsRect().height() / metrics.lineSpacing());
  const QStringList items = text.split(QLatin1Char('/'));
  const QString more = QStringLiteral("/…");
  QStringList lines{QString()};
  int i = 0;
  for (; i < items.size(); ++i) {
    const QString item = items[i] + (i + 1 < items.size() ? QStringLiteral("/") : QString());
    if (!lines.last().isEmpty() && metrics.horizontalAdvance(lines.last() + item) > room) {
      if (lines.size() == most) break;
      lines << QString();
    }
    lines.last() += item;
  }
  label.setToolTip(QString());
  if (i < items.size()) {
    // Whole items only, then the mark that more follow.
    QString& last = lines.last();
    if (last.endsWith(QLatin1Char('/'))) last.chop(1);
    while (last.contains(QLatin1Char('/')) && metrics.horizontalAdvance(last + more) > room)
      last.truncate(last.lastIndexOf(QLatin1Char('/')));
    last += more;
    label.setToolTip(text);
  }
  label.setText(lines.join(QLatin1Char('\n')));
}

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

namespace {

// The folder browser that also takes a typed folder not made yet: the checks before a scan
// create it (with its missing parents), so refusing it as "not found" helps no one.
class TFolderDialog : public QFileDialog {
 public:
  TFolderDialog(QWidget* owner, const QString& title, const QString& start)
      : QFileDialog(owner, title, start) {
    setObjectName(QStringLiteral("FolderDialog"));
    setFileMode(QFileDialog::Directory);
    setOption(QFileDialog::ShowDirsOnly);
    // Qt's own dialog: the platform's would refuse the new folder before this class sees it.
    setOption(QFileDialog::DontUseNativeDialog);
  }
  QString Chosen;

  void accept() override {
    const QStringList files = selectedFiles();
    const QString typed = files.isEmpty() ? QString() : files.first();
    if (!typed.isEmpty() && !QFileInfo::exists(typed)) {
      Chosen = typed;
      QDialog::accept();
      return;
    }
    QFileDialog::accept();
    if (result() == QDialog::Accepted && !files.isEmpty()) Chosen = files.first();
  }
};

}  // namespace

QString ChooseFolder(const QString& title, const QString& start) {
  if (g_folderChooser) return g_folderChooser(title, start);
  TFolderDialog dialog(g_owner, title, start);
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.Chosen;
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
