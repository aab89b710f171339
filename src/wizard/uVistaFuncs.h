// Windows-version font rules: before Vista every window switches to Tahoma 8. On Linux the
// designed fonts always stay (IsBeforeVista is false); the helpers remain for the dialogs.
#pragma once

#include <optional>

class QWidget;

namespace snapsalvager {

// Records whether the system counts as Vista or later (always, here, unless overridden).
void InitVersionFlags();
bool IsBeforeVista();
// Tests: pretend to run before Vista (false) or on Vista and later (true); nullopt restores.
void SetVistaOrLaterOverride(std::optional<bool> vistaOrLater);

// Unless the widget's font is already Tahoma: Tahoma 8 points.
void SetFormTahoma(QWidget* form);
// Labels, push buttons and plain panels only: unless already Tahoma, 9 points become 8 and
// the family becomes Tahoma. Null and other widgets are left alone.
void SetControlTahoma(QWidget* control);

}  // namespace snapsalvager
