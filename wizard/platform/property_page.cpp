#include "property_page.h"

namespace quillogen {

void PropertyPage::PostWizardButtons(int flags) {
  if (window_ != nullptr) window_->PostWizardButtons(flags);
}

std::string PropertyPage::ControlText(int id) const {
  return window_ != nullptr ? window_->ControlText(id) : std::string();
}

void PropertyPage::SetControlText(int id, const std::string& text) {
  if (window_ != nullptr) window_->SetControlText(id, text);
}

bool PropertyPage::IsChecked(int id) const { return window_ != nullptr && window_->IsChecked(id); }

void PropertyPage::SetChecked(int id, bool checked) {
  if (window_ != nullptr) window_->SetChecked(id, checked);
}

void PropertyPage::EnableControl(int id, bool enabled) {
  if (window_ != nullptr) window_->EnableControl(id, enabled);
}

void PropertyPage::SelectItem(int id, int index) {
  if (window_ != nullptr) window_->SelectItem(id, index);
}

void PropertyPage::FlashField(int id) {
  if (window_ != nullptr) window_->FlashField(id);
}

WindowHandle PropertyPage::Handle() const { return window_ != nullptr ? window_->Handle() : nullptr; }

}  // namespace quillogen
