#include "property_sheet.h"

#include <QAbstractButton>
#include <QShortcut>
#include <QTimer>

#include "property_page.h"
#include "sheet_app.h"

namespace quillogen {

PropertySheet::PropertySheet(const QString& caption, QWidget* parent, int start_page,
                             const QPixmap& watermark, const QPixmap& header)
    : QWizard(parent), start_page_(start_page) {
  setWindowTitle(caption);
  setWizardStyle(QWizard::ModernStyle);
  // Interior pages show the header bitmap behind their titles; the
  // watermark is kept for exterior pages, which this wizard does not have.
  watermark_ = watermark;
  setPixmap(QWizard::BannerPixmap, header);
  // Every page offers help, because the application handles the help command.
  setOption(QWizard::HaveHelpButton, true);
  setOption(QWizard::NoBackButtonOnStartPage, false);
  connect(this, &QWizard::helpRequested, this, &PropertySheet::RequestHelp);
  auto* help_key = new QShortcut(QKeySequence::HelpContents, this);
  connect(help_key, &QShortcut::activated, this, &PropertySheet::RequestHelp);
  connect(this, &QWizard::currentIdChanged, this, &PropertySheet::Activate);
}

void PropertySheet::AddPage(PropertyPage* page) {
  const int id = addPage(page);
  if (id == start_page_) setStartId(id);
}

int PropertySheet::DoModal() { return exec(); }

PropertyPage* PropertySheet::ActivePage() const { return dynamic_cast<PropertyPage*>(currentPage()); }

void PropertySheet::SetWizardButtons(int flags) {
  button(QWizard::BackButton)->setEnabled((flags & kWizardBack) != 0);
  button(QWizard::NextButton)->setEnabled((flags & kWizardNext) != 0);
  button(QWizard::FinishButton)->setEnabled((flags & kWizardFinish) != 0);
}

void PropertySheet::PostWizardButtons(int flags) {
  QTimer::singleShot(0, this, [this, flags] { SetWizardButtons(flags); });
}

void PropertySheet::Activate(int page_id) {
  if (auto* active = dynamic_cast<PropertyPage*>(page(page_id))) active->OnSetActive();
}

void PropertySheet::RequestHelp() {
  if (SheetApp* app = SheetApp::Current()) app->OnCommand(kIdHelp);
}

}  // namespace quillogen
