#include "sheet_qt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QLineEdit>
#include <QShortcut>
#include <QTimer>

#include "desktop.h"
#include "dialog_builder_qt.h"
#include "resources.h"
#include "sheet_app.h"
#include "text.h"

namespace quillogen {
namespace {

constexpr int kFlashTimes = 5;
constexpr int kFlashMilliseconds = 200;

QString ResourceString(int id) { return QString::fromUtf8(Resources::Get().String(id).c_str()); }

// A null pixmap when the bitmap cannot be loaded; the sheet then runs
// without that picture.
QPixmap Bitmap(int id) { return QPixmap(QStringLiteral(":/res/bitmap%1.bmp").arg(id)); }

QIcon Icon(int id) { return QIcon(QStringLiteral(":/res/icon%1.ico").arg(id)); }

void RedrawNow(QWidget* widget) { widget->repaint(); }

}  // namespace

QWidget* WidgetOf(WindowHandle handle) { return reinterpret_cast<QWidget*>(handle); }

WindowHandle HandleOf(QWidget* widget) { return reinterpret_cast<WindowHandle>(widget); }

PageWidget& WidgetOf(const PropertyPage& page) { return *dynamic_cast<PageWidget*>(page.Window()); }

PageWidget::PageWidget(PropertyPage& page) : page_(page) {
  const Resources& resources = Resources::Get();
  caption_ = ResourceString(page.CaptionId());
  setTitle(ResourceString(page.TitleId()));
  setSubTitle(ResourceString(page.SubtitleId()));

  const QFont font = DialogFont();
  setFont(font);
  const DialogBaseUnits base = BaseUnitsOf(font);
  const DialogTemplate& dialog = resources.Dialog(page.DialogId());
  setMinimumSize(DialogPixelSize(dialog, base));
  controls_ = BuildDialog(this, dialog, base);

  for (const auto& [id, widget] : controls_) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      const int clicked_id = id;
      connect(button, &QAbstractButton::clicked, this, [this, clicked_id] { page_.OnCommand(clicked_id); });
    }
  }
  page_.SetWindow(this);
}

PageWidget::~PageWidget() { page_.SetWindow(nullptr); }

QWidget* PageWidget::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

void PageWidget::PostWizardButtons(int flags) {
  if (auto* sheet = dynamic_cast<PropertySheet::Window*>(wizard())) sheet->PostWizardButtons(flags);
}

std::string PageWidget::ControlText(int id) const {
  QString text;
  if (auto* edit = ControlAs<QLineEdit>(id)) text = edit->text();
  if (auto* combo = ControlAs<QComboBox>(id)) text = combo->currentText();
  return Utf8ToCp1252(text.toUtf8().toStdString());
}

void PageWidget::SetControlText(int id, const std::string& text) {
  if (auto* edit = ControlAs<QLineEdit>(id)) edit->setText(QString::fromUtf8(text.c_str()));
}

bool PageWidget::IsChecked(int id) const {
  auto* button = ControlAs<QAbstractButton>(id);
  return button != nullptr && button->isChecked();
}

void PageWidget::SetChecked(int id, bool checked) {
  if (auto* button = ControlAs<QAbstractButton>(id)) button->setChecked(checked);
}

void PageWidget::EnableControl(int id, bool enabled) {
  if (QWidget* widget = Control(id)) widget->setEnabled(enabled);
}

void PageWidget::SelectItem(int id, int index) {
  if (auto* combo = ControlAs<QComboBox>(id)) combo->setCurrentIndex(index);
}

void PageWidget::FlashField(int id) {
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

WindowHandle PageWidget::Handle() const { return HandleOf(const_cast<PageWidget*>(this)); }

// The sheet asks a page to validate on Next and on Finish alike.
bool PageWidget::validatePage() {
  return isFinalPage() ? page_.OnWizardFinish() : page_.OnWizardNext() == kMoveOn;
}

// Back neither checks nor stores nor resets anything.
void PageWidget::cleanupPage() {}

PropertySheet::Window::Window(const SheetLook& look) {
  setWindowTitle(ResourceString(look.caption_string));
  setWindowIcon(Icon(look.icon));
  setWizardStyle(QWizard::ModernStyle);
  // Interior pages show the header bitmap behind their titles; the
  // watermark is kept for exterior pages, which this wizard does not have.
  watermark_ = Bitmap(look.watermark_bitmap);
  setPixmap(QWizard::BannerPixmap, Bitmap(look.header_bitmap));
  // Every page offers help, because the application handles the help command.
  setOption(QWizard::HaveHelpButton, true);
  setOption(QWizard::NoBackButtonOnStartPage, false);
  connect(this, &QWizard::helpRequested, this, &Window::RequestHelp);
  auto* help_key = new QShortcut(QKeySequence::HelpContents, this);
  connect(help_key, &QShortcut::activated, this, &Window::RequestHelp);
  connect(this, &QWizard::currentIdChanged, this, &Window::Activate);
}

PageWidget* PropertySheet::Window::ActivePageWidget() const {
  return dynamic_cast<PageWidget*>(currentPage());
}

void PropertySheet::Window::SetWizardButtons(int flags) {
  button(QWizard::BackButton)->setEnabled((flags & kWizardBack) != 0);
  button(QWizard::NextButton)->setEnabled((flags & kWizardNext) != 0);
  button(QWizard::FinishButton)->setEnabled((flags & kWizardFinish) != 0);
}

void PropertySheet::Window::PostWizardButtons(int flags) {
  QTimer::singleShot(0, this, [this, flags] { SetWizardButtons(flags); });
}

void PropertySheet::Window::Activate(int page_id) {
  if (auto* active = dynamic_cast<PageWidget*>(page(page_id))) active->Page().OnSetActive();
}

void PropertySheet::Window::RequestHelp() {
  if (SheetApp* app = SheetApp::Current()) app->OnCommand(kIdHelp);
}

PropertySheet::PropertySheet(const SheetLook& look) : look_(look), window_(std::make_unique<Window>(look)) {}

PropertySheet::~PropertySheet() { window_.reset(); }

void PropertySheet::AddPage(std::unique_ptr<PropertyPage> page) {
  const int id = window_->addPage(new PageWidget(*page));
  if (id == look_.start_page) window_->setStartId(id);
  pages_.push_back(std::move(page));
}

bool PropertySheet::DoModal() { return window_->exec() == QDialog::Accepted; }

PropertyPage* PropertySheet::ActivePage() const {
  PageWidget* active = window_->ActivePageWidget();
  return active != nullptr ? &active->Page() : nullptr;
}

WindowHandle PropertySheet::Handle() const { return HandleOf(window_.get()); }

int RunEventLoop() { return QApplication::exec(); }

}  // namespace quillogen
