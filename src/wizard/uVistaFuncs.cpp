#include "wizard/uVistaFuncs.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace snapsalvager {
namespace {

bool g_vistaOrLater = false;
std::optional<bool> g_override;

bool IsTahoma(const QFont& font) {
  return font.family().compare(QLatin1String("Tahoma"), Qt::CaseInsensitive) == 0;
}

}  // namespace

void InitVersionFlags() {
  // There is no pre-Vista Linux: the designed fonts stay.
  g_vistaOrLater = g_override.value_or(true);
}

bool IsBeforeVista() { return !g_vistaOrLater; }

void SetVistaOrLaterOverride(std::optional<bool> vistaOrLater) {
  g_override = vistaOrLater;
  InitVersionFlags();
}

void SetFormTahoma(QWidget* form) {
  if (!form || IsTahoma(form->font())) return;
  QFont font = form->font();
  font.setPointSize(8);
  font.setFamily(QStringLiteral("Tahoma"));
  form->setFont(font);
}

void SetControlTahoma(QWidget* control) {
  if (!control) return;
  const bool panel = control->metaObject() == &QFrame::staticMetaObject;
  if (!qobject_cast<QLabel*>(control) && !qobject_cast<QPushButton*>(control) && !panel) return;
  if (IsTahoma(control->font())) return;
  QFont font = control->font();
  if (font.pointSize() == 9) font.setPointSize(8);
  font.setFamily(QStringLiteral("Tahoma"));
  control->setFont(font);
}

}  // namespace snapsalvager
