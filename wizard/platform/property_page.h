// A wizard page built on a dialog template: the stand-in for the platform's
// property page. Derived pages override the handlers the sheet calls and
// reach their controls by numeric id.
#ifndef QUILLOGEN_PLATFORM_PROPERTY_PAGE_H_
#define QUILLOGEN_PLATFORM_PROPERTY_PAGE_H_

#include <QWizardPage>
#include <map>
#include <string>

namespace quillogen {

class PropertySheet;

// Wizard-button flags of the set-buttons request.
constexpr int kWizardBack = 0x1;
constexpr int kWizardNext = 0x2;
constexpr int kWizardFinish = 0x4;

// The results of the Next handler.
constexpr int kMoveOn = 0;
constexpr int kStay = -1;

class PropertyPage : public QWizardPage {
 public:
  // Builds the page from dialog template `dialog_id` and gives it the header
  // title and subtitle of the string table.
  PropertyPage(int dialog_id, int caption_id, int title_id, int subtitle_id);

  // The page became current.
  virtual bool OnSetActive() { return true; }
  // Next was pressed: kMoveOn or kStay.
  virtual int OnWizardNext() { return kMoveOn; }
  // Finish was pressed: true lets the sheet close.
  virtual bool OnWizardFinish() { return true; }
  // A button or check box with id `id` was clicked, after it toggled itself.
  virtual void OnCommand(int id) { (void)id; }

  QWidget* Control(int id) const;
  template <typename Widget>
  Widget* ControlAs(int id) const {
    return qobject_cast<Widget*>(Control(id));
  }
  const QString& Caption() const { return caption_; }

 protected:
  // Asks the sheet to set its buttons once the running handler has returned.
  void PostWizardButtons(int flags);

  // The text of an edit or combo box in the form's 8-bit character set,
  // cp1252.
  std::string ControlText(int id) const;
  void SetControlText(int id, const QString& text);
  bool IsChecked(int id) const;
  void SetChecked(int id, bool checked);
  void EnableControl(int id, bool enabled);

  // Blinks edit box `id` read-only five times, 200 ms each way, redrawing it
  // every time: the wizard's only way to refuse an entry.
  void FlashField(int id);

 private:
  bool validatePage() override;
  void cleanupPage() override;
  PropertySheet* Sheet() const;

  QString caption_;
  std::map<int, QWidget*> controls_;
};

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_PROPERTY_PAGE_H_
