// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Addresses of the vendor's help pages and the hand-over of documents to the desktop.
// Every address starts with the one vendor site setting, VendorSite. There is no such site:
// the help pages come with the program, and an address on the vendor site opens the local
// page of its topic.
#pragma once

#include <QString>
#include <QUrl>

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
// The help document, a table of contents over every page: index.html in HelpFolder() (in
// its "en" folder when the window speaks English and that holds it), or where it would be
// beside the running executable when no help folder is found.
QString HelpFilePath();

// The folder of the Chinese help pages, which holds the English ones in "en": "help" beside the
// running executable when it holds the help document and the executable is not the installed one (a
// build tree), else "help" in the installed data folder; empty when neither holds it.
QString HelpFolder();
// The installed data folder, SNAPSALVAGER_DATA_DIR unless replaced: tests point it at a
// folder of their own (an empty text restores it).
QString InstalledDataFolder();
void SetInstalledDataFolder(const QString& folder);
// Tests: the folder an installed wizard runs from, SNAPSALVAGER_BIN_DIR unless replaced (an
// empty text restores it).
void SetInstalledProgramFolder(const QString& folder);

// The local page for an address on the vendor site, as a file address with the anchor of
// the file type for the post-processing page, in the window's language (Chinese when the
// English page is missing); an empty address when `address` is not on
// the vendor site or its page is missing.
QUrl LocalPageOf(const QString& address);

// Opens a web address or a file with the desktop's default action (xdg-open); when that
// cannot start or fails, a message names the page's path or address. An address on the vendor site opens its local page instead, the browser only
// when that page is missing. Tests replace the opener to record the text (an empty
// function restores it).
void OpenDocument(const QString& document);
void SetDocumentOpener(std::function<void(const QString&)> opener);
// Opens the local page of a vendor-site address and nothing when that page is missing: for
// pages opened without being asked for, which must never be a dead web page. A replaced
// document opener (tests) gets the address as with OpenDocument.
void OpenLocalPage(const QString& address);
// Tests: replaces the last step, the hand-over of the final address to the desktop.
void SetDesktopOpener(std::function<void(const QUrl&)> opener);

}  // namespace snapsalvager
