// The site settings file, byte for byte, and the alias that names a form's
// recipients in it.
#include "site_settings.h"

#include <gtest/gtest.h>

#include "expected_forms.h"

namespace quillogen {
namespace {

using quillogen_test::SiteSettingsFile;

// The addresses are written as they are held, in the form's charset; a line
// break among them would start a line of its own, read as a setting.
TEST(RenderSiteSettings, WholeFileWithTheFormsAlias) {
  const struct {
    const char* alias;
    const char* recipients;
    const char* alias_line;
  } cases[] = {
      {"contact", "sales@example.com, info@example.com", "contact = sales@example.com, info@example.com"},
      {"orders", "b\xFCro@example.com", "orders = b\xFCro@example.com"},
      {"orders", "b\u00FCro@example.com", "orders = b\u00FCro@example.com"},
      {"form", "a@example.com\r\n[site]\ndebug = on", "form = a@example.com  [site] debug = on"},
  };
  for (const auto& c : cases) {
    WizardSettings s;
    s.recipients = c.recipients;
    s.recipients_alias = c.alias;
    EXPECT_EQ(RenderSiteSettings(s), SiteSettingsFile(c.alias_line)) << c.alias_line;
  }
}

TEST(RecipientsAliasName, BaseNameLowerCasedToTheAliasCharacters) {
  const struct {
    const char* form_path;
    const char* alias;
  } cases[] = {
      {"contact.htm", "contact"},
      {"/srv/www/Contact Us!.htm", "contactus"},
      {"site.d/My_Order-Form.2.HTML", "my_order-form.2"},
      {"Formul\u00E4r \u20AC.htm", "formulr"},
      {"noextension", "noextension"},
      {"\u20AC!.htm", "form"},
      {"", "form"},
  };
  for (const auto& c : cases) EXPECT_EQ(RecipientsAliasName(c.form_path), c.alias) << c.form_path;
}

}  // namespace
}  // namespace quillogen
