// Addresses of the vendor's help pages and the hand-over of documents to the desktop.
// Every address starts with the one vendor site setting, VendorSite.
#pragma once

#include <QString>

#include <functional>

namespace snapsalvager {

// Scheme and host of the vendor web site, with the trailing slash.
inline constexpr const char* VendorSite = "https://snapsalvager.example/";

// VendorSite + "ilink.asp?pid=snapsalvager&vid=6.10&bid=1210.130222&rid=": a topic follows.
QString HelpLinkBase();
// HelpLinkBase + topic ("home", "support", "cardreader", "cddvd", "previewquestion").
QString HelpLink(const QString& topic);
// The post-processing page for a special type such as ".CRW": ...rid=postprocess&filetype=crw
QString PostProcessLink(const QString& specialTypeExt);
// VendorSite + "checkupdate.asp?pid=snapsalvager&vid=6.10&bid=1210".
QString UpdateCheckAddress();
// "snapsalvager.chm" in the folder of the running executable.
QString HelpFilePath();

// Opens a web address or a file with the desktop's default action; the outcome is not
// checked. Tests replace the opener to record the text (an empty function restores it).
void OpenDocument(const QString& document);
void SetDocumentOpener(std::function<void(const QString&)> opener);

}  // namespace snapsalvager
