// The wizard sheet: the stand-in for the platform's property sheet in its
// wizard style, with a header bitmap behind each page's title and subtitle.
#ifndef QUILLOGEN_PLATFORM_PROPERTY_SHEET_H_
#define QUILLOGEN_PLATFORM_PROPERTY_SHEET_H_

#include <QPixmap>
#include <QWizard>

namespace quillogen {

class PropertyPage;

class PropertySheet : public QWizard {
 public:
  PropertySheet(const QString& caption, QWidget* parent, int start_page, const QPixmap& watermark,
                const QPixmap& header);

  void AddPage(PropertyPage* page);
  // Runs the sheet modally until Finish or Cancel.
  int DoModal();
  PropertyPage* ActivePage() const;

  // Sets Back, Next and Finish from kWizard* flags.
  void SetWizardButtons(int flags);
  // The same, once the running handler and the sheet's own updates are done.
  void PostWizardButtons(int flags);

 private:
  void Activate(int page_id);
  void RequestHelp();
  int start_page_;
  QPixmap watermark_;
};

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_PROPERTY_SHEET_H_
