// The site settings file, byte for byte, and the alias named in it.
#include "site_settings.h"

#include <gtest/gtest.h>

#include "expected_forms.h"

namespace quillogen {
namespace {

// Addresses are written as held; a line break among them would start a line
// of its own, read as a setting.
TEST(RenderSiteSettings, WholeFileWithTheFormsAlias) {
  const char* const cases[][3] = {
      {"contact", "sales@example.com, b\xFCro@example.com",
       "contact = sales@example.com, b\xFCro@example.com"},
      {"form", "a@example.com\r\n[site]\ndebug = on", "form = a@example.com  [site] debug = on"},
  };
  for (const auto& c : cases) {
    WizardSettings s;
    s.recipients_alias = c[0];
    s.recipients = c[1];
    EXPECT_EQ(RenderSiteSettings(s), quillogen_test::SiteSettingsFile(c[2])) << c[2];
  }
}

// The form's documents are the only ones a copy of it may name, each once.
TEST(RenderSiteSettings, ListsTheFormsDocumentsAndItsReplyTemplate) {
  WizardSettings s;
  s.recipients_alias = "contact";
  s.recipients = "sales@example.com";
  s.success_document = "thanks.htm";
  s.error_document = " error.htm ";
  s.required_document = "error.htm";
  s.template_file = "mail.tpl";
  s.respond_template = "reply.txt";
  EXPECT_EQ(RenderSiteSettings(s),
            quillogen_test::SiteSettingsFile(
                "contact = sales@example.com",
                {"documents = thanks.htm, error.htm, mail.tpl", "autoreply_templates = reply.txt"}));
}

TEST(RecipientsAliasName, BaseNameLowerCasedToTheAliasCharacters) {
  const char* const cases[][2] = {
      {"/srv/www/Contact Us!.htm", "contactus"},
      {"site.d/My_Order-Form.2.HTML", "my_order-form.2"},
      {"Formul\u00E4r.htm", "formulr"},
      {"\u20AC!.htm", "form"},
  };
  for (const auto& c : cases) EXPECT_EQ(RecipientsAliasName(c[0]), c[1]) << c[0];
}

}  // namespace
}  // namespace quillogen
