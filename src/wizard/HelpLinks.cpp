#include "wizard/HelpLinks.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

namespace snapsalvager {
namespace {
std::function<void(const QString&)> g_opener;
}

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

QString HelpFilePath() {
  return QCoreApplication::applicationDirPath() + QLatin1String("/snapsalvager.chm");
}

void SetDocumentOpener(std::function<void(const QString&)> opener) { g_opener = std::move(opener); }

void OpenDocument(const QString& document) {
  if (g_opener) {
    g_opener(document);
    return;
  }
  const QUrl url = document.contains(QLatin1String("://")) ? QUrl(document)
                                                            : QUrl::fromLocalFile(document);
  QDesktopServices::openUrl(url);
}

}  // namespace snapsalvager
