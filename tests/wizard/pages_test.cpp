// The six pages driven headlessly: the Next checks with their flash, the
// once-only defaults, Back, the exclusive format choice, the Email box, help,
// Cancel and Finish. Desktop calls are replaced, so nothing is launched.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sstream>

#include "batch.h"
#include "expected_forms.h"
#include "page_controls.h"
#include "platform/desktop.h"
#include "platform/property_page.h"
#include "platform/sheet_qt.h"
#include "steps.h"
#include "wizard_app.h"

namespace quillogen {
namespace {

class WizardPages : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.isValid());
    Desktop().pause = [this](int milliseconds) {
      read_only_at_pause_.push_back(ReadOnlyEdits());
      paused_ms_ += milliseconds;
    };
    Desktop().open_document = [this](const std::string& path) { opened_.push_back(path); };
    Desktop().edit_text_file = [this](const std::string& path) { edited_.push_back(path); };
    Desktop().choose_save_file = [this](WindowHandle) {
      ++save_dialogs_;
      return Native(save_path_);
    };
    Desktop().search_folders = [this] {
      return SearchFolders{Native(TempPath("current")), Native(TempPath("program")),
                           Native(TempPath("docs"))};
    };
    Desktop().show_warning = [this](WindowHandle owner, const std::string& text) {
      EXPECT_EQ(WidgetOf(owner)->window(), &Wizard());
      warnings_.push_back(text);
    };
    Restart();
  }

  // A new sheet over cleared settings, as at program start.
  void Restart() {
    sheet_.reset();
    settings_ = WizardSettings();
    sheet_ = CreateWizardSheet(settings_);
    Wizard().show();
    Settle();
  }

  void TearDown() override {
    sheet_.reset();
    Desktop() = RealDesktop();
  }

  static void Settle() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }

  // The sheet's and the current page's widgets.
  PropertySheet::Window& Wizard() const { return sheet_->BackEnd(); }
  PageWidget& Page() { return *Wizard().ActivePageWidget(); }
  int PageNumber() const { return Wizard().currentId() + 1; }

  QLineEdit* Edit(int id) { return Page().ControlAs<QLineEdit>(id); }
  QAbstractButton* Button(int id) { return Page().ControlAs<QAbstractButton>(id); }
  void Type(int id, const char* text) { Edit(id)->setText(QString::fromUtf8(text)); }
  // Sends the key presses a person typing `text` into `target` makes.
  // The target gets the focus first, as it does when a person clicks into it.
  void TypeKeys(QWidget* target, const QString& text) {
    Wizard().activateWindow();
    target->setFocus(Qt::MouseFocusReason);
    Settle();
    for (const QChar c : text) {
      const int key = c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A') : c.unicode();
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
      QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(c));
      QApplication::sendEvent(target, &press);
      QApplication::sendEvent(target, &release);
    }
    Settle();
  }
  void Click(int id) {
    Button(id)->click();
    Settle();
  }
  bool Checked(int id) { return Button(id)->isChecked(); }
  bool Enabled(int id) { return Page().Control(id)->isEnabled(); }
  bool SheetButtonEnabled(QWizard::WizardButton which) { return Wizard().button(which)->isEnabled(); }

  void Next() {
    read_only_at_pause_.clear();
    paused_ms_ = 0;
    Wizard().next();
    Settle();
  }
  void Back() {
    Wizard().back();
    Settle();
  }
  void Finish() {
    Wizard().button(QWizard::FinishButton)->click();
    Settle();
  }

  // The ids of the page's edit boxes that are read-only right now.
  std::string ReadOnlyEdits() {
    std::string ids;
    for (QLineEdit* edit : Page().findChildren<QLineEdit*>()) {
      if (!edit->objectName().isEmpty() && edit->isReadOnly()) ids += edit->objectName().toStdString();
    }
    return ids;
  }

  // Five times read-only, then editable again, 200 ms each.
  static std::vector<std::string> FlashOf(int id) {
    std::vector<std::string> states;
    for (int i = 0; i < 5; ++i) {
      states.push_back(std::to_string(id));
      states.push_back("");
    }
    return states;
  }
  void ExpectFlashed(int id) {
    EXPECT_EQ(read_only_at_pause_, FlashOf(id));
    EXPECT_EQ(paused_ms_, 2000);
    EXPECT_EQ(ReadOnlyEdits(), "");
  }
  void ExpectNoFlash() { EXPECT_TRUE(read_only_at_pause_.empty()); }

  // Fills the current page with entries that pass and goes on.
  void PassPage() {
    switch (PageNumber()) {
      case 1:
        Type(control::kProgramUrl, "/scripts/quillo/quillopro.exe");
        break;
      case 2:
        Type(control::kRecipients, "webmaster@example.com");
        break;
      case 5:
        Type(control::kSuccessDocument, "success.htm");
        Type(control::kErrorDocument, "error.htm");
        break;
      default:
        break;
    }
    Next();
  }
  void GoToPage(int number) {
    while (PageNumber() < number) {
      const int before = PageNumber();
      PassPage();
      ASSERT_EQ(PageNumber(), before + 1);
    }
  }

  QString TempPath(const char* name) const { return QDir(temp_.path()).filePath(QString::fromLatin1(name)); }

  static std::string Native(const QString& path) { return QFile::encodeName(path).toStdString(); }

  // `text` with each "T/" standing for the temporary folder.
  std::string InTemp(const char* text) const {
    return Native(
        QString::fromLatin1(text).replace(QStringLiteral("T/"), temp_.path() + QStringLiteral("/")));
  }

  // Creates the folders the wizard searches, with empty files at the given
  // paths below the temporary folder.
  void CreateFiles(const std::vector<const char*>& paths) {
    QDir(temp_.path()).removeRecursively();
    for (const char* folder : {"current", "program", "docs"}) QDir().mkpath(TempPath(folder));
    for (const char* path : paths) {
      QDir().mkpath(QFileInfo(TempPath(path)).path());
      QFile file(TempPath(path));
      ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path;
    }
  }

  static std::string ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll().toStdString();
  }

  QTemporaryDir temp_;
  WizardSettings settings_;
  std::unique_ptr<PropertySheet> sheet_;
  std::vector<std::string> read_only_at_pause_;
  int paused_ms_ = 0;
  std::vector<std::string> opened_;
  std::vector<std::string> edited_;
  int save_dialogs_ = 0;
  QString save_path_;
  std::vector<std::string> warnings_;
};

TEST_F(WizardPages, StartsOnPage1WithBackAndNextEnabled) {
  EXPECT_EQ(PageNumber(), 1);
  EXPECT_EQ(Wizard().windowTitle(), "Tessik Quillo!Pro v4 Form Wizard");
  EXPECT_EQ(Page().title(), "Installation");
  EXPECT_EQ(Page().subTitle(), "Copy or upload the file quillopro.exe");
  EXPECT_TRUE(SheetButtonEnabled(QWizard::BackButton));
  EXPECT_TRUE(SheetButtonEnabled(QWizard::NextButton));
}

TEST_F(WizardPages, Page1FlashesAnAddressWithoutTheProgramAndStays) {
  Type(control::kProgramUrl, "/cgi-bin/formmail.exe");
  Next();
  EXPECT_EQ(PageNumber(), 1);
  ExpectFlashed(control::kProgramUrl);
  EXPECT_EQ(Edit(control::kProgramUrl)->text(), "/cgi-bin/formmail.exe");

  Type(control::kProgramUrl, "  http://www.example.com/cgi-bin/quillo/QuilloPro.exe  ");
  Next();
  EXPECT_EQ(PageNumber(), 2);
  ExpectNoFlash();
  EXPECT_EQ(settings_.program_url, "http://www.example.com/cgi-bin/quillo/QuilloPro.exe");
}

TEST_F(WizardPages, Page2FlashesBlankRecipientsAndTrimsBothEntries) {
  GoToPage(2);
  Type(control::kRecipients, "   ");
  Next();
  EXPECT_EQ(PageNumber(), 2);
  ExpectFlashed(control::kRecipients);

  Type(control::kRecipients, " a@example.com, b@example.com ");
  Type(control::kMailServer, " mail.example.com ");
  Next();
  EXPECT_EQ(PageNumber(), 3);
  EXPECT_EQ(settings_.recipients, "a@example.com, b@example.com");
  EXPECT_EQ(settings_.mail_server, "mail.example.com");
}

TEST_F(WizardPages, Page3DefaultsToNormalOnceAndStoresUpperCase) {
  GoToPage(3);
  auto* priority = Page().ControlAs<QComboBox>(control::kPriority);
  ASSERT_EQ(priority->count(), 2);
  EXPECT_EQ(priority->itemText(0), "High");
  EXPECT_EQ(priority->itemText(1), "Normal");
  EXPECT_EQ(priority->currentText(), "Normal");
  EXPECT_FALSE(Checked(control::kStripEmpty));
  EXPECT_FALSE(Checked(control::kEnvironmentReport));

  priority->setEditText(QStringLiteral("urgent"));
  Click(control::kEnvironmentReport);
  Type(control::kSubject, " Order ##Product## ");
  Next();
  ExpectNoFlash();
  EXPECT_EQ(settings_.priority, "URGENT");
  EXPECT_EQ(settings_.subject, " Order ##Product## ");
  EXPECT_TRUE(settings_.environment_report);
  EXPECT_FALSE(settings_.strip_empty_fields);

  // Coming back shows what was left, not the defaults again.
  Back();
  EXPECT_EQ(PageNumber(), 3);
  EXPECT_EQ(priority->currentText(), "urgent");
  EXPECT_TRUE(Checked(control::kEnvironmentReport));
}

// The priority box takes what was typed, as it was typed: it does not
// complete "h" to "High", which would write a priority nobody chose.
TEST_F(WizardPages, Page3PriorityIsWhatWasTypedWithoutCompletion) {
  const std::string high = quillogen_test::Hidden("QUILLO_PRIORITY", "HIGH");
  const struct {
    const char* typed;
    const char* stored;
    std::initializer_list<std::string> extra_hidden;
  } cases[] = {{"h", "H", {}}, {"Hi", "HI", {}}, {"high", "HIGH", {high}}, {"n", "N", {}}};
  for (const auto& c : cases) {
    Restart();
    GoToPage(3);
    auto* priority = Page().ControlAs<QComboBox>(control::kPriority);
    priority->lineEdit()->selectAll();
    TypeKeys(priority->lineEdit(), QString::fromLatin1(c.typed));
    EXPECT_EQ(priority->currentText(), QString::fromLatin1(c.typed));
    GoToPage(6);
    EXPECT_EQ(settings_.priority, c.stored);
    save_path_ = TempPath("form.htm");
    Finish();
    EXPECT_EQ(ReadBytes(save_path_),
              quillogen_test::DefaultsForm("/scripts/quillo/quillopro.exe", "webmaster@example.com",
                                           "success.htm", "error.htm", c.extra_hidden))
        << "typed: " << c.typed;
  }
}

// The form holds cp1252: the euro sign, curly quotes and dashes keep their
// own bytes, and only what cp1252 lacks becomes "?".
TEST_F(WizardPages, TypedTextIsStoredInCp1252) {
  GoToPage(3);
  Type(control::kSubject, "5 \u20AC \u201CDeluxe\u201D \u2013 \u03A9");
  GoToPage(6);
  save_path_ = TempPath("form.htm");
  Finish();
  EXPECT_EQ(ReadBytes(save_path_),
            quillogen_test::DefaultsForm("/scripts/quillo/quillopro.exe", "webmaster@example.com",
                                         "success.htm", "error.htm",
                                         {quillogen_test::Hidden("QUILLO_SUBJECT",
                                                                 "5 \x80 \x93"
                                                                 "Deluxe\x94 \x96 ?")}));
}

// The HTML5 box writes the page the batch mode writes for the same
// entries, byte for byte, its texts in UTF-8; unchecked, the described page.
TEST_F(WizardPages, TheHtml5BoxWritesWhatTheBatchModeWrites) {
  GoToPage(3);
  Type(control::kSubject, "Bestellung f\u00FCr J\u00FCrgen \u20AC");
  GoToPage(6);
  EXPECT_FALSE(Checked(control::kHtml5Page));
  Click(control::kComments);
  Click(control::kHtml5Page);
  save_path_ = TempPath("form.htm");
  Finish();
  const std::string batch_path = TempPath("batch.htm").toStdString();
  std::ostringstream out, err;
  WindowOptions window;
  ASSERT_EQ(RunCommandLine(
                {"--batch", "-o", batch_path, "--url", "/scripts/quillo/quillopro.exe", "--to",
                 "webmaster@example.com", "--success", "success.htm", "--error", "error.htm", "--subject",
                 "Bestellung f\u00FCr J\u00FCrgen \u20AC", "--comments", "--style", "html5"},
                out, err, window),
            0)
      << err.str();
  const std::string page = ReadBytes(save_path_);
  EXPECT_EQ(page, ReadBytes(QString::fromStdString(batch_path)));
  EXPECT_NE(page.find("name=\"QUILLO_SUBJECT\" value=\"Bestellung f\xC3\xBCr J\xC3\xBCrgen \xE2\x82\xAC\""),
            std::string::npos);
}

TEST_F(WizardPages, Page4FormatChoiceIsExclusiveAndGuardsTheTemplateEdit) {
  GoToPage(4);
  EXPECT_TRUE(Checked(control::kHtmlFormat));
  EXPECT_FALSE(Checked(control::kTextFormat));
  EXPECT_FALSE(Checked(control::kUseTemplate));
  EXPECT_FALSE(Enabled(control::kTemplateFile));

  Click(control::kUseTemplate);
  EXPECT_FALSE(Checked(control::kHtmlFormat));
  EXPECT_TRUE(Checked(control::kUseTemplate));
  EXPECT_TRUE(Enabled(control::kTemplateFile));
  Type(control::kTemplateFile, "C:email.txt");
  Next();
  EXPECT_EQ(PageNumber(), 4);
  ExpectFlashed(control::kTemplateFile);
  EXPECT_EQ(settings_.mail_format, "");
  EXPECT_EQ(settings_.template_file, "C:email.txt");

  Click(control::kTextFormat);
  EXPECT_TRUE(Checked(control::kTextFormat));
  EXPECT_FALSE(Checked(control::kUseTemplate));
  EXPECT_FALSE(Enabled(control::kTemplateFile));
  EXPECT_EQ(Edit(control::kTemplateFile)->text(), "");
  Click(control::kTextFormat);  // clicking the chosen box keeps it chosen
  EXPECT_TRUE(Checked(control::kTextFormat));

  Click(control::kUseTemplate);
  EXPECT_TRUE(Enabled(control::kTemplateFile));
  Next();  // template mode with an empty name
  ExpectFlashed(control::kTemplateFile);

  Click(control::kTextFormat);
  Next();
  EXPECT_EQ(PageNumber(), 5);
  EXPECT_EQ(settings_.mail_format, "TEXT");
  EXPECT_EQ(settings_.template_file, "");
}

TEST_F(WizardPages, Page4KeepsTheTemplateChoiceAcrossBack) {
  GoToPage(4);
  Click(control::kUseTemplate);
  Type(control::kTemplateFile, "email.txt");
  Next();
  ASSERT_EQ(PageNumber(), 5);
  EXPECT_EQ(settings_.template_file, "email.txt");
  Back();
  EXPECT_TRUE(Checked(control::kUseTemplate));
  EXPECT_FALSE(Checked(control::kHtmlFormat));
  EXPECT_TRUE(Enabled(control::kTemplateFile));
  EXPECT_EQ(Edit(control::kTemplateFile)->text(), "email.txt");
}

// The button opens the first sample template found in the editor, or says
// where it looked; the page stays as it was either way.
TEST_F(WizardPages, Page4FormatButtonOpensTheSampleTemplateFoundInTheEditor) {
  GoToPage(4);
  const struct {
    std::vector<const char*> files;
    const char* edited;  // below the temporary folder
    const char* warning;
  } cases[] = {
      {{"program/tools/wiz/sample.template", "docs/sample.template"},
       "program/tools/wiz/sample.template",
       nullptr},
      {{"current/sample.template", "docs/tools/wiz/sample.template"},
       nullptr,
       "Cannot find sample.template: looked in T/current/tools/wiz, T/program/tools/wiz, T/docs"},
  };
  for (const auto& c : cases) {
    CreateFiles(c.files);
    edited_.clear();
    warnings_.clear();
    Click(control::kTemplateFormat);
    EXPECT_EQ(edited_, c.edited == nullptr ? std::vector<std::string>{}
                                           : std::vector<std::string>{Native(TempPath(c.edited))});
    EXPECT_EQ(warnings_, c.warning == nullptr ? std::vector<std::string>{}
                                              : std::vector<std::string>{InTemp(c.warning)});
    EXPECT_EQ(PageNumber(), 4);
    EXPECT_TRUE(Checked(control::kHtmlFormat));
  }
}

TEST_F(WizardPages, Page5ChecksSuccessBeforeErrorAndAcceptsAnyRequiredName) {
  GoToPage(5);
  Type(control::kErrorDocument, "docs/error.htm");
  Next();
  EXPECT_EQ(PageNumber(), 5);
  ExpectFlashed(control::kSuccessDocument);

  Type(control::kSuccessDocument, "success.htm");
  Next();
  EXPECT_EQ(PageNumber(), 5);
  ExpectFlashed(control::kErrorDocument);

  Type(control::kErrorDocument, "error.htm");
  Type(control::kRequiredDocument, "docs/required.htm");
  Next();
  EXPECT_EQ(PageNumber(), 6);
  EXPECT_EQ(settings_.required_document, "docs/required.htm");
}

TEST_F(WizardPages, Page6EmailBoxGreysItsDependantsAndKeepsTheirMarks) {
  GoToPage(6);
  EXPECT_TRUE(SheetButtonEnabled(QWizard::BackButton));
  EXPECT_TRUE(SheetButtonEnabled(QWizard::FinishButton));
  EXPECT_TRUE(Checked(control::kEmail));
  EXPECT_TRUE(Checked(control::kEmailFrom));
  EXPECT_FALSE(Checked(control::kEmailVerify));
  Click(control::kEmailVerify);

  Click(control::kEmail);
  EXPECT_FALSE(Enabled(control::kEmailFrom));
  EXPECT_FALSE(Enabled(control::kEmailVerify));
  EXPECT_TRUE(Checked(control::kEmailFrom));
  EXPECT_TRUE(Checked(control::kEmailVerify));

  Click(control::kEmail);
  EXPECT_TRUE(Enabled(control::kEmailFrom));
  EXPECT_TRUE(Enabled(control::kEmailVerify));
  EXPECT_TRUE(Checked(control::kEmailFrom));
  EXPECT_TRUE(Checked(control::kEmailVerify));
}

TEST_F(WizardPages, BackKeepsTypedValuesAndStoresNothing) {
  GoToPage(3);
  Back();
  Type(control::kRecipients, "changed@example.com");
  Back();
  EXPECT_EQ(PageNumber(), 1);
  EXPECT_EQ(Edit(control::kProgramUrl)->text(), "/scripts/quillo/quillopro.exe");
  EXPECT_EQ(settings_.recipients, "webmaster@example.com");
  Next();
  EXPECT_EQ(Edit(control::kRecipients)->text(), "changed@example.com");
}

TEST_F(WizardPages, FinishWritesTheFormAndOpensIt) {
  GoToPage(6);
  save_path_ = TempPath("form.htm");
  Finish();
  EXPECT_EQ(save_dialogs_, 1);
  EXPECT_EQ(ReadBytes(save_path_),
            quillogen_test::DefaultsForm("/scripts/quillo/quillopro.exe", "webmaster@example.com",
                                         "success.htm", "error.htm"));
  EXPECT_EQ(opened_, std::vector<std::string>{Native(save_path_)});
  EXPECT_FALSE(Wizard().isVisible());
  EXPECT_EQ(Wizard().result(), QDialog::Accepted);
}

TEST_F(WizardPages, FinishReplacesAnExistingFile) {
  GoToPage(6);
  save_path_ = TempPath("form.htm");
  {
    QFile old(save_path_);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(20000, 'x'));
  }
  Click(control::kEmail);
  Click(control::kComments);
  Finish();
  EXPECT_EQ(ReadBytes(save_path_),
            quillogen_test::FormHead("/scripts/quillo/quillopro.exe") +
                quillogen_test::CrLfLines(
                    {quillogen_test::Hidden("QUILLO_TO", "webmaster@example.com"),
                     quillogen_test::Hidden("QUILLO_SUCCESS", "success.htm"),
                     quillogen_test::Hidden("QUILLO_ERROR", "error.htm"),
                     quillogen_test::Hidden("QUILLO_FORMAT", "HTML"), "<br>", "<br>", "<br>",
                     "<br><br><h2>Comments</h2>",
                     "<br>Comments:<br><textarea name=\"Comments\" rows=\"5\" cols=\"20\"></textarea>",
                     "<br>", "<br>"}) +
                quillogen_test::FormTail());
}

TEST_F(WizardPages, FinishStaysWhenTheSaveDialogIsCancelled) {
  GoToPage(6);
  save_path_.clear();
  Finish();
  EXPECT_EQ(save_dialogs_, 1);
  EXPECT_TRUE(Wizard().isVisible());
  EXPECT_EQ(PageNumber(), 6);
  EXPECT_TRUE(opened_.empty());
  EXPECT_TRUE(QDir(temp_.path()).isEmpty());
}

// A file that cannot be written is named with the reason; the wizard stays
// on the page, leaves no file behind, and may be given another file.
TEST_F(WizardPages, FinishSaysWhyTheFileCannotBeWrittenAndMayBeTriedAgain) {
  GoToPage(6);
  {
    QFile plain(TempPath("plain.txt"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  }
  const struct {
    QString path;
    int error;
  } cases[] = {
      {TempPath("no-such-folder/form.htm"), ENOENT},
      {TempPath("plain.txt/form.htm"), ENOTDIR},
      {QStringLiteral("/dev/full"), ENOSPC},
  };
  for (const auto& c : cases) {
    warnings_.clear();
    save_path_ = c.path;
    Finish();
    EXPECT_EQ(warnings_,
              std::vector<std::string>{"Cannot write " + Native(c.path) + ": " + std::strerror(c.error)});
    EXPECT_TRUE(Wizard().isVisible());
    EXPECT_EQ(PageNumber(), 6);
    EXPECT_TRUE(opened_.empty());
    EXPECT_EQ(QDir(temp_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("plain.txt")});
  }

  warnings_.clear();
  save_path_ = TempPath("form.htm");
  Finish();
  EXPECT_EQ(save_dialogs_, 4);
  EXPECT_TRUE(warnings_.empty());
  EXPECT_FALSE(Wizard().isVisible());
  EXPECT_EQ(opened_, std::vector<std::string>{Native(save_path_)});
}

TEST_F(WizardPages, CancelClosesAtOnceAndWritesNothing) {
  GoToPage(3);
  Wizard().button(QWizard::CancelButton)->click();
  Settle();
  EXPECT_FALSE(Wizard().isVisible());
  EXPECT_EQ(Wizard().result(), QDialog::Rejected);
  EXPECT_EQ(save_dialogs_, 0);
  EXPECT_TRUE(opened_.empty());
}

// Help opens the first manual found, the compiled one before the HTML one
// within a folder, or says where it looked; the page and its entries stay.
TEST_F(WizardPages, HelpOpensTheManualFoundFirstAndKeepsThePage) {
  WizardApp app;
  app.SetMainWindow(sheet_.get());
  GoToPage(2);
  Type(control::kRecipients, "typed@example.com");
  const struct {
    std::vector<const char*> files;
    const char* opened;  // below the temporary folder
    const char* warning;
  } cases[] = {
      {{"current/manual-en-us.html", "current/manual-en-us.chm"}, "current/manual-en-us.chm", nullptr},
      {{"docs/manual-en-us.html"}, "docs/manual-en-us.html", nullptr},
      {{"docs/manual-en-us.pdf"},
       nullptr,
       "Cannot find manual-en-us.html: looked in T/current, T/program, T/docs"},
  };
  for (const auto& c : cases) {
    CreateFiles(c.files);
    opened_.clear();
    warnings_.clear();
    Wizard().button(QWizard::HelpButton)->click();
    EXPECT_EQ(opened_, c.opened == nullptr ? std::vector<std::string>{}
                                           : std::vector<std::string>{Native(TempPath(c.opened))});
    EXPECT_EQ(warnings_, c.warning == nullptr ? std::vector<std::string>{}
                                              : std::vector<std::string>{InTemp(c.warning)});
    EXPECT_EQ(PageNumber(), 2);
    EXPECT_EQ(Edit(control::kRecipients)->text(), "typed@example.com");
  }
  app.SetMainWindow(nullptr);
}

// Outside the tests the wizard searches the current folder, the program's
// folder and the documentation folder where an installation puts it beside
// the program's: share/doc/quillo next to bin.
TEST_F(WizardPages, TheRealSearchFoldersAreCurrentProgramAndDocumentation) {
  const SearchFolders folders = RealDesktop().search_folders();
  const QString program = QCoreApplication::applicationDirPath();
  EXPECT_EQ(std::vector<std::string>({folders.current, folders.program, folders.docs}),
            std::vector<std::string>({Native(QDir::currentPath()), Native(program),
                                      Native(QDir::cleanPath(program + "/../share/doc/quillo"))}));
}

}  // namespace
}  // namespace quillogen

int main(int argc, char** argv) {
  // The pages need no display: the offscreen platform draws into memory.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
