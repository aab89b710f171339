// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
#include "wizard/HelpLinks.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrlQuery>
#include <algorithm>

#include "session/Texts.h"
#include "wizard/Dialogs.h"

#ifndef SNAPSALVAGER_DATA_DIR
#define SNAPSALVAGER_DATA_DIR "/usr/share/snapsalvager"
#endif
#ifndef SNAPSALVAGER_BIN_DIR
#define SNAPSALVAGER_BIN_DIR "/usr/bin"
#endif

namespace snapsalvager {
namespace {
std::function<void(const QString&)> g_opener;
std::function<void(const QUrl&)> g_desktopOpener;
QString g_dataFolder;
QString g_programFolder;

const QString kHelpDocument = QStringLiteral("index.html");

bool HoldsHelpDocument(const QString& folder) {
  return QFileInfo(folder + QLatin1Char('/') + kHelpDocument).isFile();
}

// A page of the help folder in the language of the window: the English pages live in "en"
// beside the Chinese ones; a page not translated there is shown in Chinese.
QString PageInLanguage(const QString& folder, const QString& file) {
  if (Language() == TLanguage::English) {
    const QString english = folder + QLatin1String("/en/") + file;
    if (QFileInfo(english).isFile()) return english;
  }
  return folder + QLatin1Char('/') + file;
}

// The page file of a vendor-site address (with "#anchor" for a file type).
QString PageOf(const QUrl& url) {
  const QString path = url.path();
  if (path == QLatin1String("/checkupdate.asp")) return QStringLiteral("update.html");
  if (path != QLatin1String("/ilink.asp")) return kHelpDocument;
  const QUrlQuery query(url);
  const QString topic = query.queryItemValue(QStringLiteral("rid"));
  static const QStringList pages = {
      QStringLiteral("home"),    QStringLiteral("support"),         QStringLiteral("cardreader"),
      QStringLiteral("cddvd"),   QStringLiteral("previewquestion"), QStringLiteral("postprocess")};
  if (!pages.contains(topic)) return kHelpDocument;
  QString page = topic + QLatin1String(".html");
  if (topic == QLatin1String("postprocess")) {
    // Only letters and digits make an anchor: the type comes from a recovered file's name.
    const QString type = query.queryItemValue(QStringLiteral("filetype")).toLower();
    const bool plain = !type.isEmpty() && std::all_of(type.begin(), type.end(), [](QChar c) {
      return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || c.isDigit();
    });
    if (plain) page += QLatin1Char('#') + type;
  }
  return page;
}
}  // namespace

QString HelpLinkBase() {
  return QLatin1String(VendorSite) +
         QLatin1String("ilink.asp?pid=snapsalvager&vid=6.10&bid=1210.130222&rid=");
}

QString HelpLink(const QString& topic) { return HelpLinkBase() + topic; }

QString PostProcessLink(const QString& specialTypeExt) {
  // The three characters after the dot, lower case: ".CRW" -> "crw".
  return HelpLink(QStringLiteral("postprocess&filetype=") + specialTypeExt.mid(1, 3).toLower());
}

QString UpdateCheckAddress() {
  return QLatin1String(VendorSite) +
         QLatin1String("checkupdate.asp?pid=snapsalvager&vid=6.10&bid=1210");
}

QString InstalledDataFolder() {
  return g_dataFolder.isEmpty() ? QStringLiteral(SNAPSALVAGER_DATA_DIR) : g_dataFolder;
}

void SetInstalledDataFolder(const QString& folder) { g_dataFolder = folder; }

void SetInstalledProgramFolder(const QString& folder) { g_programFolder = folder; }

namespace {
// An installed wizard has no help folder beside it (that would be /usr/bin/help).
bool RunsInstalled() {
  const QString installed = g_programFolder.isEmpty() ? QStringLiteral(SNAPSALVAGER_BIN_DIR) : g_programFolder;
  return QFileInfo(QCoreApplication::applicationDirPath()).canonicalFilePath() ==
         QFileInfo(installed).canonicalFilePath();
}
}  // namespace

QString HelpFolder() {
  const QString beside = QCoreApplication::applicationDirPath() + QLatin1String("/help");
  if (!RunsInstalled() && HoldsHelpDocument(beside)) return beside;
  const QString installed = InstalledDataFolder() + QLatin1String("/help");
  if (HoldsHelpDocument(installed)) return installed;
  return {};
}

QString HelpFilePath() {
  const QString folder = HelpFolder();
  if (folder.isEmpty())
    return QCoreApplication::applicationDirPath() + QLatin1String("/help/") + kHelpDocument;
  return PageInLanguage(folder, kHelpDocument);
}

QUrl LocalPageOf(const QString& address) {
  const QString site = QLatin1String(VendorSite);
  if (!address.startsWith(site, Qt::CaseInsensitive)) return {};
  const QString folder = HelpFolder();
  if (folder.isEmpty()) return {};
  const QString page = PageOf(QUrl(address));
  const qsizetype hash = page.indexOf(QLatin1Char('#'));
  const QString file = PageInLanguage(folder, page.left(hash));
  if (!QFileInfo(file).isFile()) return {};
  QUrl url = QUrl::fromLocalFile(file);
  if (hash >= 0) url.setFragment(page.mid(hash + 1));
  return url;
}

void SetDocumentOpener(std::function<void(const QString&)> opener) { g_opener = std::move(opener); }

void SetDesktopOpener(std::function<void(const QUrl&)> opener) { g_desktopOpener = std::move(opener); }

namespace {
// Said when the desktop cannot open a page: where it is, so the user can open it by hand.
void TellWhereThePageIs(const QUrl& url) {
  const QString where = url.isLocalFile() ? QDir::toNativeSeparators(url.toLocalFile()) : url.toString();
#ifdef _WIN32
  ShowInfo(QCoreApplication::translate("Snapsalvager", "Windows 无法打开它（没有程序可以打开这种文件）。\r\n\r\n请手动打开：\r\n") + where);
#else
  ShowInfo(QCoreApplication::translate("Snapsalvager", "桌面无法打开它（xdg-open 不存在或运行失败）。\r\n\r\n请手动打开：\r\n") + where);
#endif
}

void OpenOnDesktop(const QUrl& url) {
  if (g_desktopOpener) {
    g_desktopOpener(url);
    return;
  }
#ifdef _WIN32
  // The shell's answer is final: it found a program for the page or it did not.
  if (!QDesktopServices::openUrl(url)) TellWhereThePageIs(url);
#else
  // xdg-open is run here rather than through QDesktopServices, whose answer says only that
  // it started: a missing program and one that fails are both told, with the page's path.
  auto* open = new QProcess(QCoreApplication::instance());
  QObject::connect(open, &QProcess::errorOccurred, open, [open, url](QProcess::ProcessError error) {
    if (error != QProcess::FailedToStart) return;
    TellWhereThePageIs(url);
    open->deleteLater();
  });
  QObject::connect(open, &QProcess::finished, open, [open, url](int code, QProcess::ExitStatus status) {
    if (status != QProcess::NormalExit || code != 0) TellWhereThePageIs(url);
    open->deleteLater();
  });
  open->start(QStringLiteral("xdg-open"), {url.toString()});
#endif
}
}  // namespace

void OpenDocument(const QString& document) {
  if (g_opener) {
    g_opener(document);
    return;
  }
  QUrl url = LocalPageOf(document);
  if (url.isEmpty())
    url = document.contains(QLatin1String("://")) ? QUrl(document) : QUrl::fromLocalFile(document);
  OpenOnDesktop(url);
}

void OpenLocalPage(const QString& address) {
  if (g_opener) {
    g_opener(address);
    return;
  }
  const QUrl url = LocalPageOf(address);
  if (!url.isEmpty()) OpenOnDesktop(url);
}

}  // namespace snapsalvager
