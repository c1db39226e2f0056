#include "win32_dialog_template.h"

namespace quillogen {
namespace {

// Window and control styles, with the values of the Windows headers.
constexpr std::uint32_t kWsChild = 0x40000000;
constexpr std::uint32_t kWsVisible = 0x10000000;
constexpr std::uint32_t kWsDisabled = 0x08000000;
constexpr std::uint32_t kWsCaption = 0x00C00000;
constexpr std::uint32_t kWsBorder = 0x00800000;
constexpr std::uint32_t kWsVScroll = 0x00200000;
constexpr std::uint32_t kWsGroup = 0x00020000;
constexpr std::uint32_t kWsTabStop = 0x00010000;
constexpr std::uint32_t kDsSetFont = 0x40;
constexpr std::uint32_t kSsLeft = 0x0;
constexpr std::uint32_t kSsEtchedHorz = 0x10;
constexpr std::uint32_t kBsPushButton = 0x0;
constexpr std::uint32_t kBsAutoCheckBox = 0x3;
constexpr std::uint32_t kBsGroupBox = 0x7;
constexpr std::uint32_t kEsAutoHScroll = 0x80;
constexpr std::uint32_t kCbsDropDown = 0x2;
constexpr std::uint32_t kCbsSort = 0x100;

constexpr std::uint16_t kButtonAtom = 0x0080;
constexpr std::uint16_t kEditAtom = 0x0081;
constexpr std::uint16_t kStaticAtom = 0x0082;
constexpr std::uint16_t kComboBoxAtom = 0x0085;
constexpr std::uint16_t kOrdinal = 0xFFFF;
constexpr std::uint16_t kIdcStatic = 0xFFFF;

class Writer {
 public:
  void Word(std::uint16_t value) {
    bytes_.push_back(static_cast<std::uint8_t>(value & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
  }
  void Short(int value) { Word(static_cast<std::uint16_t>(value)); }
  void DoubleWord(std::uint32_t value) {
    Word(static_cast<std::uint16_t>(value & 0xFFFF));
    Word(static_cast<std::uint16_t>(value >> 16));
  }
  // A text and its terminating zero.
  void Text(const std::string& utf8) {
    for (char16_t unit : Utf8ToUtf16(utf8)) Word(static_cast<std::uint16_t>(unit));
    Word(0);
  }
  void AlignToDoubleWord() {
    while (bytes_.size() % 4 != 0) bytes_.push_back(0);
  }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// The number of continuation bytes after `lead`, or -1 when it leads none.
int ContinuationCount(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return -1;
}

}  // namespace

std::uint32_t PageStyle() { return kDsSetFont | kWsChild | kWsDisabled | kWsCaption; }

std::uint32_t ControlStyle(ControlKind kind) {
  const std::uint32_t shown = kWsChild | kWsVisible;
  switch (kind) {
    case ControlKind::kStatic:
      return shown | kSsLeft | kWsGroup;
    case ControlKind::kGroup:
      return shown | kBsGroupBox;
    case ControlKind::kEdit:
      return shown | kEsAutoHScroll | kWsBorder | kWsTabStop;
    case ControlKind::kCheck:
      return shown | kBsAutoCheckBox | kWsTabStop;
    case ControlKind::kButton:
      return shown | kBsPushButton | kWsTabStop;
    case ControlKind::kCombo:
      return shown | kCbsDropDown | kCbsSort | kWsVScroll | kWsTabStop;
    case ControlKind::kSeparator:
      return shown | kSsEtchedHorz;
  }
  return shown;
}

std::uint16_t ControlClassAtom(ControlKind kind) {
  switch (kind) {
    case ControlKind::kGroup:
    case ControlKind::kCheck:
    case ControlKind::kButton:
      return kButtonAtom;
    case ControlKind::kEdit:
      return kEditAtom;
    case ControlKind::kCombo:
      return kComboBoxAtom;
    case ControlKind::kStatic:
    case ControlKind::kSeparator:
      break;
  }
  return kStaticAtom;
}

std::vector<std::uint8_t> Win32DialogTemplate(const DialogTemplate& dialog, const DialogFontName& font) {
  Writer out;
  out.DoubleWord(PageStyle());
  out.DoubleWord(0);  // extended style
  out.Word(static_cast<std::uint16_t>(dialog.controls.size()));
  out.Short(0);  // x and y: the sheet places its pages itself
  out.Short(0);
  out.Short(dialog.width);
  out.Short(dialog.height);
  out.Word(0);   // no menu
  out.Word(0);   // the predefined dialog class
  out.Text("");  // no title: the sheet gives each page its caption
  out.Short(font.point_size);
  out.Text(font.face);
  for (const ControlTemplate& control : dialog.controls) {
    out.AlignToDoubleWord();
    out.DoubleWord(ControlStyle(control.kind));
    out.DoubleWord(0);
    out.Short(control.rect.x);
    out.Short(control.rect.y);
    out.Short(control.rect.width);
    out.Short(control.rect.height);
    out.Word(control.id == kNoId ? kIdcStatic : static_cast<std::uint16_t>(control.id));
    out.Word(kOrdinal);
    out.Word(ControlClassAtom(control.kind));
    // A combo box's items are no title: the page adds them when it opens.
    out.Text(control.kind == ControlKind::kCombo ? std::string() : control.text);
    out.Word(0);  // no creation data
  }
  return out.Take();
}

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int count = lead < 0x80 ? 0 : ContinuationCount(lead);
    bool valid = count >= 0;
    char32_t code = count <= 0 ? lead : static_cast<char32_t>(lead & (0x3F >> count));
    for (int k = 1; valid && k <= count; ++k) {
      if (i + static_cast<std::size_t>(k) >= text.size()) {
        valid = false;
        break;
      }
      const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (next & 0x3F);
    }
    if (valid && count == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) valid = false;
    if (valid && count == 3 && (code < 0x10000 || code > 0x10FFFF)) valid = false;
    if (!valid) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += static_cast<std::size_t>(count) + 1;
  }
  return out;
}

}  // namespace quillogen
