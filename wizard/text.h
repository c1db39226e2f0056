// Text helpers of the wizard, over 8-bit strings.
//
// Only ASCII bytes are ever looked at or changed, so the helpers are safe on
// single-byte code pages and on UTF-8 alike: no byte of a multibyte sequence
// can be mistaken for an ASCII character.
#ifndef QUILLOGEN_TEXT_H_
#define QUILLOGEN_TEXT_H_

#include <string>

namespace quillogen {

// Removes blanks, tabs, line feeds, vertical tabs, form feeds and carriage
// returns from both ends.
std::string Trim(const std::string& text);

// Maps a to z onto A to Z and leaves every other byte alone.
std::string ToUpper(const std::string& text);

// True when `text` contains `part` anywhere.
bool ContainsText(const std::string& text, const std::string& part);

// True for a plain file name: not empty and free of "|", "/", "\" and ":".
// Template files and result documents must lie next to the CGI program, so a
// path or a drive name is refused.
bool IsPlainFileName(const std::string& name);

// Converts UTF-8 to cp1252, the Windows code page that browsers read and send
// for the form's declared iso-8859-1: it has iso-8859-1's letters, and the
// euro sign, curly quotes, dashes and the like at 0x80 to 0x9F, where
// iso-8859-1 has control codes. Characters beyond cp1252, those control
// codes among them, become "?". Bytes that are not valid UTF-8 are kept as
// they are, so text that already is cp1252 passes unchanged.
std::string Utf8ToCp1252(const std::string& text);

// The other way: cp1252 as UTF-8, for the page written in UTF-8 from what
// the window stored; the five bytes cp1252 leaves unassigned become "?".
std::string Cp1252ToUtf8(const std::string& text);

// Turns every LF into CR LF, the line ends that a file written in text mode
// on the wizard's home platform gets: the files the wizard writes are
// composed with bare LF.
std::string WithCrLf(const std::string& text);

}  // namespace quillogen

#endif  // QUILLOGEN_TEXT_H_
