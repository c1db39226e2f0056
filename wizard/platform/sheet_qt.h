// The Qt back end of the sheet: the wizard widget that shows a
// PropertySheet and the page widgets that show its pages, built from their
// dialog templates. Only the Qt back end, its screenshot tour and its tests
// include this header.
#ifndef QUILLOGEN_PLATFORM_SHEET_QT_H_
#define QUILLOGEN_PLATFORM_SHEET_QT_H_

#include <QPixmap>
#include <QWizard>
#include <QWizardPage>
#include <map>

#include "property_page.h"
#include "property_sheet.h"

namespace quillogen {

// The widget of one page; it is the page's PageWindow.
class PageWidget : public QWizardPage, public PageWindow {
 public:
  explicit PageWidget(PropertyPage& page);
  ~PageWidget() override;

  PropertyPage& Page() const { return page_; }
  QWidget* Control(int id) const;
  template <typename Widget>
  Widget* ControlAs(int id) const {
    return qobject_cast<Widget*>(Control(id));
  }
  const QString& Caption() const { return caption_; }

  std::string ControlText(int id) const override;
  void SetControlText(int id, const std::string& text) override;
  bool IsChecked(int id) const override;
  void SetChecked(int id, bool checked) override;
  void EnableControl(int id, bool enabled) override;
  void SelectItem(int id, int index) override;
  void FlashField(int id) override;
  void PostWizardButtons(int flags) override;
  WindowHandle Handle() const override;

 private:
  bool validatePage() override;
  void cleanupPage() override;

  PropertyPage& page_;
  QString caption_;
  std::map<int, QWidget*> controls_;
};

// The wizard widget of a PropertySheet.
class PropertySheet::Window : public QWizard {
 public:
  explicit Window(const SheetLook& look);

  // Sets Back, Next and Finish from kWizard* flags.
  void SetWizardButtons(int flags);
  // The same, once the running handler and the sheet's own updates are done.
  void PostWizardButtons(int flags);
  PageWidget* ActivePageWidget() const;

 private:
  void Activate(int page_id);
  void RequestHelp();
  QPixmap watermark_;
};

// The widget behind a handle, and the handle of a widget.
QWidget* WidgetOf(WindowHandle handle);
WindowHandle HandleOf(QWidget* widget);

// The widget that shows `page`; the page must have a window.
PageWidget& WidgetOf(const PropertyPage& page);

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_SHEET_QT_H_
