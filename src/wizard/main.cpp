// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright 2026 The Snapsalvager developers
// Snapsalvager: the recovery wizard.
#include <QApplication>
#include <QScreen>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>

#include "session/Texts.h"
#include "wizard/Dialogs.h"
#include "wizard/WizardWindow.h"

namespace {

// The name of the installed desktop entry, so that desktops match the window to its entry
// and icon.
constexpr const char* kDesktopFileName = "example.snapsalvager.snapsalvager";

// --help and --version, answered before Qt starts so that they need no display (the manual
// page is made from them at build time). Anything else starts the window as always; Qt's own
// options such as -platform are read by QApplication.
std::optional<int> AnswerInfoOption(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("snapsalvager %s\n", SNAPSALVAGER_VERSION);
    return 0;
  }
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(
        "Usage: snapsalvager [--help | --version]\n"
        "\n"
        "Snapsalvager recovers deleted or lost photos, videos and audio clips from a camera's\n"
        "memory card, also one that \"needs formatting\". The window is a wizard:\n"
        "choose the card's drive (a card reader's device, or a disk-image file under \"Disk\n"
        "Image Files\"), the camera brand, the kinds of file and a destination folder; the\n"
        "scan reads the whole card below its file system and lists every photo, video and\n"
        "audio clip it finds; preview them six to a page, tick the ones you want, and they\n"
        "are saved as File0001.JPG, File0002.CR2, ... in the destination folder.\n"
        "\n"
        "The card is only ever read. A recovered file never replaces a file already in the\n"
        "destination folder. While a scan runs, the found files wait in the folder TmpFiles\n"
        "under the destination folder; the save pass moves the ticked ones out and deletes\n"
        "the others.\n"
        "\n"
        "A card's device is opened directly for root or a member of the device's group;\n"
        "otherwise the window asks udisks2 to open it read-only, with an administrator's\n"
        "password through polkit. A disk-image file needs only permission to read it.\n"
        "\n"
        "Options:\n"
        "  --help     show this text and exit\n"
        "  --version  show the version and exit\n"
        "  --lang en|zh  the window's language; without it SNAPSALVAGER_LANG (en or zh), else\n"
        "             English for an English locale (LC_ALL, LC_MESSAGES, LANG) and Chinese\n"
        "             for any other\n"
        "The program keeps no settings; Qt's own options, such as -platform, are accepted.\n",
        stdout);
    return 0;
  }
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  if (!snapsalvager::ChooseLanguage(argc, argv)) {
    std::fputs(snapsalvager::Text(snapsalvager::TText::LangNeedsName, {"snapsalvager"}).c_str(), stderr);
    return 2;
  }
  if (const std::optional<int> status = AnswerInfoOption(argc, argv)) return *status;
  // A file-size limit (ulimit -f) must cut one temporary file (EFBIG), not end the program.
  std::signal(SIGXFSZ, SIG_IGN);

  QApplication app(argc, argv);
  // The title every message box shows.
  QApplication::setApplicationName(QStringLiteral("Snapsalvager"));
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileName));
  snapsalvager::InstallQtTranslations();

  snapsalvager::TMainForm form;
  // The scan dialogs that live as long as the program are created here, after the window.
  form.ScanPage.CreateScanDialogs();

  if (const QScreen* screen = form.screen()) {
    const QRect area = screen->availableGeometry();
    form.move(area.center() - form.rect().center());
  }
  form.show();
  return app.exec();
}
