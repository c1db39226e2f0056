// The in-memory dialog templates of the Win32 back end, byte for byte: one
// table row per kind of control, each compared as a whole template, the
// alignment between items, and the UTF-8 to UTF-16 conversion of the texts.
#include "platform/win32_dialog_template.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace quillogen {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Little-endian fields, written out independently of the code under test.
Bytes Word(std::uint16_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}
Bytes DoubleWord(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}
// An ASCII text as UTF-16 with its terminating zero.
Bytes Text(const std::string& ascii) {
  Bytes out;
  for (char c : ascii) out.insert(out.end(), {static_cast<std::uint8_t>(c), 0});
  out.insert(out.end(), {0, 0});
  return out;
}
Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}
Bytes PadToFour(Bytes bytes) {
  while (bytes.size() % 4 != 0) bytes.push_back(0);
  return bytes;
}

// DS_SETFONT | WS_CHILD | WS_DISABLED | WS_CAPTION, 397 x 206, 8-point
// "MS Sans Serif", no menu, class or title.
Bytes PageHeader(std::uint16_t controls) {
  return Join({DoubleWord(0x48C00040), DoubleWord(0), Word(controls), Word(0), Word(0), Word(397), Word(206),
               Word(0), Word(0), Text(""), Word(8), Text("MS Sans Serif")});
}

Bytes Item(std::uint32_t style, int x, int y, int width, int height, std::uint16_t id, std::uint16_t atom,
           const std::string& title) {
  return Join({DoubleWord(style), DoubleWord(0), Word(static_cast<std::uint16_t>(x)),
               Word(static_cast<std::uint16_t>(y)), Word(static_cast<std::uint16_t>(width)),
               Word(static_cast<std::uint16_t>(height)), Word(id), Word(0xFFFF), Word(atom), Text(title),
               Word(0)});
}

DialogTemplate Page(std::vector<ControlTemplate> controls) {
  DialogTemplate dialog;
  dialog.id = 107;
  dialog.width = 397;
  dialog.height = 206;
  dialog.controls = std::move(controls);
  return dialog;
}

TEST(Win32DialogTemplate, EachKindOfControlAsTheResourceCompilerWouldWriteIt) {
  const struct {
    ControlTemplate control;
    std::uint32_t style;
    std::uint16_t id;
    std::uint16_t atom;
    const char* title;
  } cases[] = {
      // LTEXT: WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT; no id is IDC_STATIC.
      {{1, kNoId, ControlKind::kStatic, {15, 125, 45, 15}, "URL:"}, 0x50020000, 0xFFFF, 0x82, "URL:"},
      // GROUPBOX: BS_GROUPBOX.
      {{1, kNoId, ControlKind::kGroup, {5, 85, 385, 115}, "Save"}, 0x50000007, 0xFFFF, 0x80, "Save"},
      // EDITTEXT: ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP.
      {{1, 1000, ControlKind::kEdit, {65, 125, 315, 15}, ""}, 0x50810080, 1000, 0x81, ""},
      // AUTOCHECKBOX with WS_TABSTOP.
      {{1, 1013, ControlKind::kCheck, {15, 20, 65, 15}, "Email"}, 0x50010003, 1013, 0x80, "Email"},
      // PUSHBUTTON with WS_TABSTOP.
      {{1, 1008, ControlKind::kButton, {205, 110, 175, 15}, "Format"}, 0x50010000, 1008, 0x80, "Format"},
      // COMBOBOX: CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP; the
      // items are added when the page opens, not written as a title.
      {{1, 1006, ControlKind::kCombo, {65, 180, 85, 35}, "Normal|High"}, 0x50210102, 1006, 0x85, ""},
      // An etched horizontal line: a static control with SS_ETCHEDHORZ.
      {{1, kNoId, ControlKind::kSeparator, {15, 55, 360, 1}, ""}, 0x50000010, 0xFFFF, 0x82, ""},
  };
  for (const auto& c : cases) {
    const DialogRect& r = c.control.rect;
    EXPECT_EQ(
        Win32DialogTemplate(Page({c.control}), DialogFontName()),
        Join({PadToFour(PageHeader(1)), Item(c.style, r.x, r.y, r.width, r.height, c.id, c.atom, c.title)}))
        << "title: " << c.title << ", id " << c.control.id;
  }
}

// Every item starts on a four-byte boundary, whatever the length of the
// item before it.
TEST(Win32DialogTemplate, ItemsAreAlignedToFourBytes) {
  // Items of 34 and 26 bytes, each followed by two bytes of padding.
  const ControlTemplate first{1, kNoId, ControlKind::kStatic, {5, 10, 100, 10}, "Even"};
  const ControlTemplate second{2, 1001, ControlKind::kEdit, {65, 45, 315, 15}, ""};
  const ControlTemplate third{3, kNoId, ControlKind::kStatic, {15, 45, 45, 15}, "Next"};
  EXPECT_EQ(Win32DialogTemplate(Page({first, second, third}), DialogFontName()),
            Join({PadToFour(PageHeader(3)), PadToFour(Item(0x50020000, 5, 10, 100, 10, 0xFFFF, 0x82, "Even")),
                  PadToFour(Item(0x50810080, 65, 45, 315, 15, 1001, 0x81, "")),
                  Item(0x50020000, 15, 45, 45, 15, 0xFFFF, 0x82, "Next")}));
}

TEST(Win32DialogTemplate, TheFontNameAndSizeGoIntoTheHeader) {
  const Bytes bytes = Win32DialogTemplate(Page({}), DialogFontName{9, "Tahoma"});
  EXPECT_EQ(bytes, Join({DoubleWord(0x48C00040), DoubleWord(0), Word(0), Word(0), Word(0), Word(397),
                         Word(206), Word(0), Word(0), Text(""), Word(9), Text("Tahoma")}));
}

TEST(Win32DialogTemplate, TextsAreConvertedFromUtf8ToUtf16) {
  const struct {
    const char* utf8;
    std::u16string utf16;
  } cases[] = {
      {"plain", u"plain"},
      {"caf\xC3\xA9", u"caf\u00E9"},
      {"5 \xE2\x82\xAC", u"5 \u20AC"},
      {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      // A byte that starts no valid sequence stands for itself.
      {"caf\xE9", u"caf\u00E9"},
      {"\xE2\x82", u"\u00E2\u0082"},
      {"\xC0\xAF", u"\u00C0\u00AF"},
      {"\xED\xA0\x80", u"\u00ED\u00A0\u0080"},
      {"line\none", u"line\none"},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
}

}  // namespace
}  // namespace quillogen
