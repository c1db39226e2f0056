// File names and types; see file_checks.h.
#include "upload/file_checks.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace quillo {
namespace {

bool StartsWithAny(std::string_view bytes, std::initializer_list<std::string_view> prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](std::string_view p) { return StartsWith(bytes, p); });
}

bool IsZip(std::string_view bytes) {
  return StartsWithAny(bytes, {std::string_view("PK\x03\x04", 4), std::string_view("PK\x05\x06", 4)});
}

bool IsWebp(std::string_view bytes) {
  return bytes.size() >= 12 && StartsWith(bytes, "RIFF") && bytes.substr(8, 4) == "WEBP";
}

// Text a mail reader shows as text: UTF-8 (ASCII included) without NUL or
// other control characters than tab, line ends and form feed.
bool IsPlainText(std::string_view bytes) {
  if (!IsValidUtf8(bytes)) return false;
  return std::none_of(bytes.begin(), bytes.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') || byte == 0x7F;
  });
}

bool IsAscii(std::string_view bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

struct FileKind {
  std::string_view extension;
  std::string_view content_type;
  bool (*matches)(std::string_view bytes);
  bool text = false;  // the type takes a charset
};

const std::array<FileKind, 16>& Kinds() {
  static const std::array<FileKind, 16> kinds = {{
      {"pdf", "application/pdf", [](std::string_view b) { return StartsWith(b, "%PDF-"); }},
      {"png", "image/png", [](std::string_view b) { return StartsWith(b, "\x89PNG\r\n\x1a\n"); }},
      {"jpg", "image/jpeg", [](std::string_view b) { return StartsWith(b, "\xFF\xD8\xFF"); }},
      {"jpeg", "image/jpeg", [](std::string_view b) { return StartsWith(b, "\xFF\xD8\xFF"); }},
      {"gif", "image/gif",
       [](std::string_view b) {
         return StartsWithAny(b, {"GIF87a", "GIF89a"});
       }},
      {"webp", "image/webp", IsWebp},
      {"txt", "text/plain", IsPlainText, true},
      {"csv", "text/csv", IsPlainText, true},
      {"zip", "application/zip", IsZip},
      {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document", IsZip},
      {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", IsZip},
      {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation", IsZip},
      {"odt", "application/vnd.oasis.opendocument.text", IsZip},
      {"ods", "application/vnd.oasis.opendocument.spreadsheet", IsZip},
      {"odp", "application/vnd.oasis.opendocument.presentation", IsZip},
      {"epub", "application/epub+zip", IsZip},
  }};
  return kinds;
}

const FileKind* KindOf(std::string_view extension) {
  for (const FileKind& kind : Kinds()) {
    if (kind.extension == extension) return &kind;
  }
  return nullptr;
}

// A program (PE, ELF, Mach-O), a script, or markup a browser would run.
bool IsRefusedContent(std::string_view bytes) {
  if (StartsWithAny(bytes, {"MZ",
                            "\x7F"
                            "ELF",
                            "#!", "\xFE\xED\xFA\xCE", "\xFE\xED\xFA\xCF", "\xCE\xFA\xED\xFE",
                            "\xCF\xFA\xED\xFE", "\xCA\xFE\xBA\xBE"}))
    return true;
  std::string_view head = bytes.substr(0, 512);
  if (StartsWith(head, "\xEF\xBB\xBF")) head.remove_prefix(3);
  while (!head.empty() && IsWhiteSpace(head.front())) head.remove_prefix(1);
  const std::string start = LowerCopy(head.substr(0, 16));
  return StartsWithAny(
      start, {"<!doctype", "<html", "<head", "<body", "<script", "<svg", "<?xml", "<iframe", "<!--"});
}

}  // namespace

std::size_t Utf8CharacterLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return overlong || surrogate || code > 0x10FFFF ? 0 : length;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8CharacterLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string ExtensionOf(std::string_view name) {
  while (!name.empty() && (name.back() == '.' || IsWhiteSpace(name.back()))) name.remove_suffix(1);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : LowerCopy(name.substr(dot + 1));
}

std::string CleanFileName(std::string_view sent, std::size_t number) {
  const std::size_t slash = sent.find_last_of("/\\");
  if (slash != std::string_view::npos) sent.remove_prefix(slash + 1);
  std::string name;
  for (std::size_t at = 0; at < sent.size();) {
    const std::size_t length = Utf8CharacterLength(sent, at);
    const char c = sent[at];
    if (length == 0) {
      name.push_back('_');
      ++at;
      continue;
    }
    if (length > 1 || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F && c != '"' && c != '\\'))
      name.append(sent.substr(at, length));
    at += length;
  }
  while (!name.empty() && (name.back() == '.' || IsWhiteSpace(name.back()))) name.pop_back();
  while (!name.empty() && IsWhiteSpace(name.front())) name.erase(0, 1);
  const std::size_t dot = name.rfind('.');
  std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
  std::string stem = name.substr(0, dot);
  // An extension too long to be one is part of the name.
  if (extension.size() > 16) stem = name, extension.clear();
  while (!stem.empty() && IsWhiteSpace(stem.back())) stem.pop_back();
  if (stem.empty()) return "attachment-" + std::to_string(number) + extension;
  const std::size_t room = kMaxFileNameBytes - extension.size();
  if (stem.size() > room) {
    std::size_t cut = 0;
    while (cut < stem.size()) {
      const std::size_t length = Utf8CharacterLength(stem, cut);
      if (cut + length > room) break;
      cut += length;
    }
    stem.resize(cut);
  }
  return stem + extension;
}

std::optional<std::string> DecodeExtendedValue(std::string_view value) {
  const std::size_t first = value.find('\'');
  if (first == std::string_view::npos) return std::nullopt;
  const std::size_t second = value.find('\'', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const std::string charset = LowerCopy(value.substr(0, first));
  if (charset != "utf-8" && charset != "iso-8859-1") return std::nullopt;
  std::string bytes;
  const std::string_view encoded = value.substr(second + 1);
  const auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    if (encoded[i] != '%') {
      bytes.push_back(encoded[i]);
      continue;
    }
    if (i + 2 >= encoded.size()) return std::nullopt;
    const int high = hex(encoded[i + 1]);
    const int low = hex(encoded[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  if (charset == "iso-8859-1") return ToUtf8(bytes, "iso-8859-1");
  if (!IsValidUtf8(bytes)) return std::nullopt;
  return bytes;
}

bool IsKnownFileType(std::string_view extension) {
  return KindOf(extension) != nullptr && !IsAlwaysRefused(extension);
}

bool IsAlwaysRefused(std::string_view extension) {
  static constexpr std::string_view kRefused[] = {
      "exe",  "com",  "bat",   "cmd",  "scr",  "pif",   "msi",   "msp",   "mst", "dll",   "cpl", "sys",
      "drv",  "ocx",  "js",    "jse",  "mjs",  "vbs",   "vbe",   "wsf",   "wsc", "wsh",   "ps1", "psm1",
      "psd1", "sh",   "bash",  "zsh",  "csh",  "ksh",   "py",    "pyc",   "pl",  "rb",    "php", "php3",
      "php4", "php5", "phtml", "phar", "cgi",  "jar",   "class", "app",   "apk", "ipa",   "deb", "rpm",
      "dmg",  "pkg",  "hta",   "htm",  "html", "xhtml", "xht",   "shtml", "mht", "mhtml", "svg", "svgz",
      "xml",  "xsl",  "lnk",   "url",  "reg",  "inf",   "scf",   "chm",   "iso", "vhd",   "elf", "bin",
  };
  return std::find(std::begin(kRefused), std::end(kRefused), extension) != std::end(kRefused);
}

bool NameAllowed(std::string_view name, const TextList& allowed) {
  const std::string extension = ExtensionOf(name);
  if (extension.empty() || IsAlwaysRefused(extension)) return false;
  return std::find(allowed.begin(), allowed.end(), extension) != allowed.end();
}

std::optional<std::string> AttachmentType(std::string_view name, std::string_view bytes,
                                          const TextList& allowed) {
  if (!NameAllowed(name, allowed) || IsRefusedContent(bytes)) return std::nullopt;
  const FileKind* kind = KindOf(ExtensionOf(name));
  if (kind == nullptr || !kind->matches(bytes)) return std::nullopt;
  std::string type(kind->content_type);
  if (kind->text && !IsAscii(bytes)) type += "; charset=utf-8";
  return type;
}

}  // namespace quillo
