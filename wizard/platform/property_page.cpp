#include "property_page.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>

#include "desktop.h"
#include "dialog_builder.h"
#include "property_sheet.h"
#include "resources.h"
#include "text.h"

namespace quillogen {
namespace {

constexpr int kFlashTimes = 5;
constexpr int kFlashMilliseconds = 200;

void RedrawNow(QWidget* widget) { widget->repaint(); }

}  // namespace

PropertyPage::PropertyPage(int dialog_id, int caption_id, int title_id, int subtitle_id) {
  const Resources& resources = Resources::Get();
  caption_ = resources.String(caption_id);
  setTitle(resources.String(title_id));
  setSubTitle(resources.String(subtitle_id));

  const QFont font = DialogFont();
  setFont(font);
  const DialogBaseUnits base = BaseUnitsOf(font);
  const DialogTemplate& dialog = resources.Dialog(dialog_id);
  setMinimumSize(DialogPixelSize(dialog, base));
  controls_ = BuildDialog(this, dialog, base);

  for (const auto& [id, widget] : controls_) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      const int clicked_id = id;
      connect(button, &QAbstractButton::clicked, this, [this, clicked_id] { OnCommand(clicked_id); });
    }
  }
}

QWidget* PropertyPage::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

void PropertyPage::PostWizardButtons(int flags) {
  if (PropertySheet* sheet = Sheet()) sheet->PostWizardButtons(flags);
}

std::string PropertyPage::ControlText(int id) const {
  QString text;
  if (auto* edit = ControlAs<QLineEdit>(id)) text = edit->text();
  if (auto* combo = ControlAs<QComboBox>(id)) text = combo->currentText();
  return Utf8ToCp1252(text.toUtf8().toStdString());
}

void PropertyPage::SetControlText(int id, const QString& text) {
  if (auto* edit = ControlAs<QLineEdit>(id)) edit->setText(text);
}

bool PropertyPage::IsChecked(int id) const {
  auto* button = ControlAs<QAbstractButton>(id);
  return button != nullptr && button->isChecked();
}

void PropertyPage::SetChecked(int id, bool checked) {
  if (auto* button = ControlAs<QAbstractButton>(id)) button->setChecked(checked);
}

void PropertyPage::EnableControl(int id, bool enabled) {
  if (QWidget* widget = Control(id)) widget->setEnabled(enabled);
}

void PropertyPage::FlashField(int id) {
  auto* edit = ControlAs<QLineEdit>(id);
  if (edit == nullptr) return;
  for (int i = 0; i < kFlashTimes; ++i) {
    edit->setReadOnly(true);
    RedrawNow(edit);
    Desktop().pause(kFlashMilliseconds);
    edit->setReadOnly(false);
    RedrawNow(edit);
    Desktop().pause(kFlashMilliseconds);
  }
}

// The sheet asks a page to validate on Next and on Finish alike.
bool PropertyPage::validatePage() { return isFinalPage() ? OnWizardFinish() : OnWizardNext() == kMoveOn; }

// Back neither checks nor stores nor resets anything.
void PropertyPage::cleanupPage() {}

PropertySheet* PropertyPage::Sheet() const { return dynamic_cast<PropertySheet*>(wizard()); }

}  // namespace quillogen
