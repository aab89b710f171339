#include "wizard/UAbout.h"

#include <QMouseEvent>

#include "wizard/uVistaFuncs.h"

namespace snapsalvager {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  ui.setupUi(this);
  setFixedSize(373, 272);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  QPalette white = ui.PMain->palette();
  white.setColor(QPalette::Window, Qt::white);
  ui.PMain->setPalette(white);
  ui.PMain->setAutoFillBackground(true);
  QPalette title = ui.LTitle->palette();
  title.setColor(QPalette::WindowText, QColor(0x00, 0x33, 0x99));
  ui.LTitle->setPalette(title);
  if (IsBeforeVista()) {
    SetFormTahoma(this);
    SetControlTahoma(ui.LTitle);
  }
  ui.imgLogo->installEventFilter(this);
  connect(ui.ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::imgLogoClick() {
  if (!ui.LVersion->text().contains(QLatin1Char('(')))
    ui.LVersion->setText(ui.LVersion->text() + QLatin1String(" (") + QLatin1String("130222") +
                         QLatin1Char(')'));
}

bool TAboutBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui.imgLogo && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
    imgLogoClick();
  return QDialog::eventFilter(watched, event);
}

}  // namespace snapsalvager
