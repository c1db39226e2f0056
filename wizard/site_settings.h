// The site settings file of the CGI program, quillopro.ini, that the batch
// mode writes beside the form: settings no form can override, and the alias
// by which the form names its recipients, so that their addresses stay off
// the page.
#ifndef QUILLOGEN_SITE_SETTINGS_H_
#define QUILLOGEN_SITE_SETTINGS_H_

#include <string>

#include "settings.h"

namespace quillogen {

// The alias of a form's recipients, from the form file's path: the base name
// without its extension, lower-cased, keeping only a to z, 0 to 9, "-", "_"
// and "."; "form" when nothing is left. "Contact Us!.htm" gives "contactus".
std::string RecipientsAliasName(const std::string& form_path);

// Returns the exact bytes of the settings file, every line ending in CR LF
// as the form's: comments on what each setting protects against, the [site]
// settings, and the alias `settings.recipients_alias` with the addresses
// `settings.recipients`; with a CAPTCHA, its [captcha] section (for the
// program's own challenge with `settings.captcha_secret` and state_dir). The comments are ASCII, the
// addresses are written in the form's charset as they are held.
std::string RenderSiteSettings(const WizardSettings& settings);

// A fresh key for the program's own challenges: 32 random bytes in hex.
std::string DrawChallengeSecret();

}  // namespace quillogen

#endif  // QUILLOGEN_SITE_SETTINGS_H_
