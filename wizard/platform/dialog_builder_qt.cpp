#include "dialog_builder_qt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace quillogen {
namespace {

// An edit box that, like the platform's own, greys its background while it
// is read-only, so that the field flash can be seen.
class DialogEdit : public QLineEdit {
 public:
  explicit DialogEdit(QWidget* parent) : QLineEdit(parent) {}

 protected:
  void changeEvent(QEvent* event) override {
    if (event->type() == QEvent::ReadOnlyChange) {
      QPalette colours = palette();
      colours.setColor(QPalette::Base,
                       isReadOnly() ? colours.color(QPalette::Window) : QPalette().color(QPalette::Base));
      setPalette(colours);
    }
    QLineEdit::changeEvent(event);
  }
};

QString Text(const ControlTemplate& control) { return QString::fromUtf8(control.text.c_str()); }

QWidget* StaticText(QWidget* page, const ControlTemplate& control) {
  auto* label = new QLabel(Text(control), page);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// The toolkit's editable combo box completes typed text from its list, so
// that "h" would become "High" behind the typist's back; the templates' boxes
// take what was typed.
QWidget* ComboBox(QWidget* page, const ControlTemplate& control) {
  auto* combo = new QComboBox(page);
  combo->setEditable(true);
  combo->setCompleter(nullptr);
  combo->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& item : SplitItems(control.text)) combo->addItem(QString::fromUtf8(item.c_str()));
  combo->model()->sort(0);
  combo->setCurrentIndex(-1);
  return combo;
}

QWidget* Separator(QWidget* page) {
  auto* line = new QFrame(page);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

QWidget* CreateControl(QWidget* page, const ControlTemplate& control) {
  switch (control.kind) {
    case ControlKind::kStatic:
      return StaticText(page, control);
    case ControlKind::kGroup:
      return new QGroupBox(Text(control), page);
    case ControlKind::kEdit:
      return new DialogEdit(page);
    case ControlKind::kCheck:
      return new QCheckBox(Text(control), page);
    case ControlKind::kButton:
      return new QPushButton(Text(control), page);
    case ControlKind::kCombo:
      return ComboBox(page, control);
    case ControlKind::kSeparator:
      return Separator(page);
  }
  return nullptr;
}

// A combo box's template height includes its drop-down list, which the
// toolkit sizes by itself; only the closed box takes room on the page. The
// toolkit's check mark and its gap are wider than the ones the templates were
// laid out for, so a check box may grow to the right, within the page, until
// its whole text shows.
QRect Geometry(const QWidget* widget, const ControlTemplate& control, DialogBaseUnits base, int page_width) {
  const PixelRect r = DialogUnitsToPixels(control.rect, base);
  const int height = control.kind == ControlKind::kCombo ? widget->sizeHint().height() : r.height;
  int width = r.width;
  if (control.kind == ControlKind::kCheck)
    width = std::max(width, std::min(widget->sizeHint().width(), page_width - r.x));
  return QRect(r.x, r.y, width, height);
}

}  // namespace

QFont DialogFont() {
  QFont font;
  // An 8-point sans-serif face, as the page templates were laid out for.
  font.setFamilies(
      {QStringLiteral("Nimbus Sans"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {AverageCharWidth(letters), metrics.height()};
}

QSize DialogPixelSize(const DialogTemplate& dialog, DialogBaseUnits base) {
  const PixelRect r = DialogUnitsToPixels({0, 0, dialog.width, dialog.height}, base);
  return QSize(r.width, r.height);
}

std::map<int, QWidget*> BuildDialog(QWidget* page, const DialogTemplate& dialog, DialogBaseUnits base) {
  std::map<int, QWidget*> by_id;
  QWidget* previous_in_tab_order = nullptr;
  for (const ControlTemplate& control : dialog.controls) {
    QWidget* widget = CreateControl(page, control);
    widget->setGeometry(Geometry(widget, control, base, DialogPixelSize(dialog, base).width()));
    if (control.id != kNoId) {
      widget->setObjectName(QString::number(control.id));
      by_id[control.id] = widget;
    }
    if (widget->focusPolicy() != Qt::NoFocus) {
      if (previous_in_tab_order != nullptr) QWidget::setTabOrder(previous_in_tab_order, widget);
      previous_in_tab_order = widget;
    }
  }
  // Group boxes only frame their neighbours; they must not cover them.
  for (QGroupBox* group : page->findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly))
    group->lower();
  return by_id;
}

}  // namespace quillogen
