// Builds a page's controls from its dialog template. Positions in dialog
// units become pixels through the dialog font's base units, the way the
// dialog manager computes them, so every page keeps its designed geometry
// whatever font the desktop substitutes.
#ifndef QUILLOGEN_PLATFORM_DIALOG_BUILDER_QT_H_
#define QUILLOGEN_PLATFORM_DIALOG_BUILDER_QT_H_

#include <QFont>
#include <QSize>
#include <map>

#include "resource_tables.h"

class QWidget;

namespace quillogen {

// The 8-point dialog font, or the nearest sans-serif face the desktop has.
QFont DialogFont();

DialogBaseUnits BaseUnitsOf(const QFont& font);

// The size of a dialog template in pixels.
QSize DialogPixelSize(const DialogTemplate& dialog, DialogBaseUnits base);

// Creates the controls of `dialog` as children of `page` in tab order and
// returns those that have an id, by id.
std::map<int, QWidget*> BuildDialog(QWidget* page, const DialogTemplate& dialog, DialogBaseUnits base);

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_DIALOG_BUILDER_QT_H_
