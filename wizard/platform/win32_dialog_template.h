// The in-memory dialog template of the Win32 back end, built from a page's
// template in res/dialogs.txt: the bytes that CreatePropertySheetPage takes
// with PSP_DLGINDIRECT, in the classic DLGTEMPLATE layout (a header, the
// font, then one DLGITEMTEMPLATE per control, each on a 4-byte boundary).
// Dialog units pass through unchanged, so the system lays the page out
// exactly as the table says. A pure function of the table, with no Windows
// header, so that it is tested byte for byte on any system.
#ifndef QUILLOGEN_PLATFORM_WIN32_DIALOG_TEMPLATE_H_
#define QUILLOGEN_PLATFORM_WIN32_DIALOG_TEMPLATE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "resource_tables.h"

namespace quillogen {

// The dialog font every page is laid out for.
struct DialogFontName {
  int point_size = 8;
  std::string face = "MS Sans Serif";
};

// Window styles of the page and of each kind of control, as the resource
// compiler gives them for the usual statements (LTEXT, GROUPBOX, EDITTEXT,
// AUTOCHECKBOX, PUSHBUTTON, COMBOBOX, and an etched horizontal line).
std::uint32_t PageStyle();
std::uint32_t ControlStyle(ControlKind kind);

// The predefined window class of each kind, as its atom: button, edit,
// static or combo box.
std::uint16_t ControlClassAtom(ControlKind kind);

// The template's bytes; texts in UTF-16 from the table's UTF-8. Controls
// without an id get 0xFFFF, the resource compiler's IDC_STATIC.
std::vector<std::uint8_t> Win32DialogTemplate(const DialogTemplate& dialog, const DialogFontName& font);

// UTF-8 to UTF-16 code units; a byte that starts no valid sequence stands
// for itself (as in cp1252's lower half and iso-8859-1).
std::u16string Utf8ToUtf16(const std::string& text);

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_WIN32_DIALOG_TEMPLATE_H_
