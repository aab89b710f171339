// Snapsalvager: the recovery wizard.
#include <QApplication>
#include <QScreen>

#include "wizard/Dialogs.h"
#include "wizard/MainUnit.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The title every message box shows.
  QApplication::setApplicationName(QStringLiteral("Snapsalvager"));
  snapsalvager::InstallQtTranslations();

  snapsalvager::TMainForm form;
  // The scan dialogs that live as long as the program are created here, after the window.
  form.CreateScanDialogs();

  if (const QScreen* screen = form.screen()) {
    const QRect area = screen->availableGeometry();
    form.move(area.center() - form.rect().center());
  }
  form.show();
  return app.exec();
}
