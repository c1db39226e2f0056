// Mail templates and built-in layouts; see templates.h.
#include "content/templates.h"

#include <algorithm>

#include "content/placeholders.h"
#include "core/text.h"
#include "documents/files.h"

namespace quillo {
namespace {

constexpr std::string_view kTextMarker = "[QUILLO_TEMPLATE_TEXT]";
constexpr std::string_view kHtmlMarker = "[QUILLO_TEMPLATE_HTML]";
// A section starts behind its marker and the one character that follows it.
constexpr int kSectionOffset = 23;

bool SwitchIsOn(const std::string& value) { return Trimmed(UpperCopy(value)) == "ON"; }

struct LayoutSwitches {
  bool env_report;
  bool skip_empty;
  bool text_only;
};

LayoutSwitches ReadSwitches(const ControlSettings& s) {
  return {SwitchIsOn(s.env_report), SwitchIsOn(s.no_empty_fields),
          Trimmed(UpperCopy(s.format)).find("TEXT") != std::string::npos};
}

// The row markup around one field of the HTML layout.
constexpr std::string_view kFieldRowStart =
    "<tr><td valign=top width=150 bgcolor=#C0C0C0><font size=2 face=Arial>\n";
constexpr std::string_view kFieldRowMiddle = " </font></td><td width=450><font size=2 face=Arial>\n";
constexpr std::string_view kFieldRowEnd = " </font></td></tr>\n";
// The layouts' lines after the fields, rounded up.
constexpr std::size_t kFixedLayoutBytes = 64;

bool Shown(const FormRequest& r, const LayoutSwitches& on, std::size_t field) {
  return !on.skip_empty || !r.field_values[field].empty();
}

// The room each layout takes, so that a large post's layout is reserved once
// instead of growing by doubling, which holds it twice at the end.
std::size_t TextLayoutBytes(const FormRequest& r, const LayoutSwitches& on) {
  constexpr std::size_t kSeparators = 3;  // ": " and LF
  std::size_t bytes = kFixedLayoutBytes;
  for (std::size_t i = 0; i < r.field_names.size(); ++i) {
    if (Shown(r, on, i)) bytes += r.field_names[i].size() + r.field_values[i].size() + kSeparators;
  }
  return bytes;
}

std::size_t HtmlLayoutBytes(const FormRequest& r, const LayoutSwitches& on) {
  constexpr std::size_t kRow = kFieldRowStart.size() + kFieldRowMiddle.size() + kFieldRowEnd.size();
  std::size_t bytes = kFixedLayoutBytes;
  for (std::size_t i = 0; i < r.field_names.size(); ++i) {
    if (Shown(r, on, i))
      bytes += kRow + EscapedHtmlSize(r.field_names[i]) + EscapedHtmlSize(r.field_values[i]);
  }
  return bytes;
}

// The text layout's lines before the fields.
std::string TextHead(const FormRequest& r, const LayoutSwitches& on) {
  std::string text;
  if (on.env_report) {
    text += "Remote Addr: ##REMOTE_ADDR##\n";
    if (!r.remote_host.empty()) text += "Remote Host: ##REMOTE_HOST##\n";
    if (!r.remote_user.empty()) text += "Remote User: ##REMOTE_USER##\n";
    if (!r.remote_ident.empty()) text += "Remote Ident: ##REMOTE_IDENT##\n";
    text +=
        "Http User Agent: ##HTTP_USER_AGENT##\n"
        "Script Name: ##SCRIPT_NAME##\n"
        "Server Name: ##SERVER_NAME##\n"
        "MUID: ##MUID##\n";
  }
  text += "\n";
  return text;
}

void AppendTextRows(std::string& text, const FormRequest& r, const LayoutSwitches& on) {
  for (std::size_t i = 0; i < r.field_names.size(); ++i) {
    if (Shown(r, on, i)) text.append(r.field_names[i]).append(": ").append(r.field_values[i]).append("\n");
  }
}

constexpr std::string_view kRowStart = "<tr><td width=150 bgcolor=#FFCB9C><font size=2 face=Arial>\n";
constexpr std::string_view kValueStart = "<td width=450><font size=2 face=Arial>\n";
constexpr std::string_view kRowEnd = "</font></td></tr>\n";
constexpr std::string_view kHtmlFoot = "</table></td></tr></table></body></html>";

void AppendEnvRow(std::string& html, std::string_view label, std::string_view placeholder) {
  html.append(kRowStart).append(label).append("</font></td>\n");
  html.append(kValueStart).append(placeholder).append(kRowEnd);
}

// The HTML layout up to the fields' table.
std::string HtmlHead(const FormRequest& r, const LayoutSwitches& on) {
  std::string html =
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\n<html>\n"
      "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=" +
      r.charset +
      "\"></head>\n"
      "<body bgcolor=#FFFFFF>\n<table border=1 cellpadding=0 cellspacing=0 width=100% bordercolor=#808080 "
      "bordercolordark=#808080 bordercolorlight=#808080>\n"
      "<tr><td width=600 bgcolor=#808080><table border=0 cellpadding=3 cellspacing=1>\n"
      "<tr><td><font color=#FFFFFF size=2 face=Arial><strong> ##QUILLO_SUBJECT##\n"
      "</strong></font></td></tr></table></td></tr>\n"
      "<tr><td><table border=0 cellpadding=3 cellspacing=1 width=600 bordercolor=#808080 "
      "bordercolordark=#808080 bordercolorlight=#808080>\n";
  html.append(kRowStart).append("From</font></td>\n").append(kValueStart);
  html += "<a href=mailto:##QUILLO_FROM##>##QUILLO_FROM##</a>\n</font></td></tr>";
  html += "<tr><td width=150 bgcolor=#FFCB9C> <font size=2 face=Arial>\nTo</font></td>\n";
  html.append(kValueStart).append("##QUILLO_TO##\n").append(kRowEnd);
  html.append(kRowStart).append("Subject</font></td>\n").append(kValueStart);
  html.append("##QUILLO_SUBJECT##\n").append(kRowEnd);
  AppendEnvRow(html, "Date", "##DATE##");
  if (on.env_report) {
    AppendEnvRow(html, "Remote Addr", "##REMOTE_ADDR##");
    AppendEnvRow(html, "Remote Host", "##REMOTE_HOST##");
    if (!r.remote_user.empty()) AppendEnvRow(html, "Remote User", "##REMOTE_USER##");
    if (!r.remote_ident.empty()) AppendEnvRow(html, "Remote Ident", "##REMOTE_IDENT##");
    AppendEnvRow(html, "Http User Agent", "##HTTP_USER_AGENT##");
    AppendEnvRow(html, "Script Name", "##SCRIPT_NAME##");
    AppendEnvRow(html, "Server Name", "##SERVER_NAME##");
    html.append(kRowStart).append("MUID</font></td>").append(kValueStart).append("##MUID##").append(kRowEnd);
  }
  html +=
      "</table></td></tr><td><table border=0 cellpadding=3 cellspacing=1 width=600 bordercolor=#808080"
      " bordercolordark=#808080 bordercolorlight=#808080>";
  return html;
}

void AppendHtmlRows(std::string& html, const FormRequest& r, const LayoutSwitches& on) {
  for (std::size_t i = 0; i < r.field_names.size(); ++i) {
    if (!Shown(r, on, i)) continue;
    html += kFieldRowStart;
    AppendEscapedHtml(html, r.field_names[i]);
    html += kFieldRowMiddle;
    AppendEscapedHtml(html, r.field_values[i]);
    html += kFieldRowEnd;
  }
}

bool HoldsPlaceholderEdge(const std::string& text) { return text.find("##") != std::string::npos; }

// Whether a placeholder can stand in the rows of the fields. Their markup
// holds no "##" and keeps every name and value apart from any other "#"
// (a "#" of the markup follows "=" and a name or value stands between a
// ">" and a blank), so one can only where a name or value holds "##".
bool RowsMayHoldPlaceholders(const FormRequest& r) {
  return std::any_of(r.field_names.begin(), r.field_names.end(), HoldsPlaceholderEdge) ||
         std::any_of(r.field_values.begin(), r.field_values.end(), HoldsPlaceholderEdge);
}

// A layout filled in: head, the fields' rows, foot. Where the rows can hold
// no placeholder, nothing can reach into them from the head either (the
// head's last "##" is followed by markup, and no "##" follows), so only the
// head is filled and the rows are appended as they are: the same bytes as
// filling the whole, without a second copy of a large layout.
std::string FilledLayout(const FormRequest& r, std::string head,
                         void (*append_rows)(std::string&, const FormRequest&, const LayoutSwitches&),
                         const LayoutSwitches& on, std::size_t bytes, std::string_view foot, Target target) {
  const bool rows_inert = !RowsMayHoldPlaceholders(r);
  if (rows_inert) SubstitutePlaceholders(r, head, target);
  std::string layout = std::move(head);
  layout.reserve(layout.size() + bytes);
  append_rows(layout, r, on);
  layout += foot;
  if (!rows_inert) SubstitutePlaceholders(r, layout, target);
  return layout;
}

}  // namespace

BuiltInLayouts UnfilledBuiltInLayouts(const FormRequest& request) {
  const LayoutSwitches on = ReadSwitches(request.settings);
  BuiltInLayouts layouts;
  layouts.text = TextHead(request, on);
  AppendTextRows(layouts.text, request, on);
  if (on.text_only) return layouts;
  layouts.html = HtmlHead(request, on);
  AppendHtmlRows(layouts.html, request, on);
  layouts.html += kHtmlFoot;
  return layouts;
}

TemplateParts CutTemplate(std::string_view c) {
  const int html_at = FindText(c, kHtmlMarker);
  const int text_at = FindText(c, kTextMarker);
  TemplateParts parts;
  if (html_at < 0 && text_at < 0) {
    const bool is_html = FindText(UpperCopy(c), "<HTML>") >= 0;
    (is_html ? parts.html : parts.text) = std::string(c);
    (is_html ? parts.html_filled : parts.text_filled) = true;
    return parts;
  }
  if (html_at < 0 || text_at < 0) {
    const bool is_html = html_at >= 0;
    // The HTML section keeps the marker line's LF: it is taken from the end
    // of the marker, the text section from the character behind that LF.
    const int start = is_html ? html_at + static_cast<int>(kHtmlMarker.size()) : text_at + kSectionOffset;
    (is_html ? parts.html : parts.text) = Mid(c, start);
    (is_html ? parts.html_filled : parts.text_filled) = true;
    return parts;
  }
  const int first = std::min(html_at, text_at);
  const int later = std::max(html_at, text_at);
  std::string first_section = Mid(c, first + kSectionOffset, later - (first + kSectionOffset));
  std::string later_section = Mid(c, later + kSectionOffset);
  const bool html_first = html_at < text_at;
  parts.html = html_first ? std::move(first_section) : std::move(later_section);
  parts.text = html_first ? std::move(later_section) : std::move(first_section);
  parts.text_filled = parts.html_filled = true;
  return parts;
}

void LoadMailTemplate(const FormRequest& request, const FileReader& files, const std::string& path,
                      std::string& text_part, std::string& html_part) {
  TemplateParts parts = CutTemplate(ReadDocumentFile(files, path));
  if (parts.text_filled) SubstitutePlaceholders(request, parts.text, Target::PlainText);
  if (parts.html_filled) SubstitutePlaceholders(request, parts.html, Target::Html);
  text_part = std::move(parts.text);
  html_part = std::move(parts.html);
}

void BuildBuiltInLayouts(FormRequest& request) {
  const LayoutSwitches on = ReadSwitches(request.settings);
  std::string text = FilledLayout(request, TextHead(request, on), AppendTextRows, on,
                                  TextLayoutBytes(request, on), {}, Target::PlainText);
  if (request.mail_text.empty()) {
    request.mail_text = std::move(text);
  } else {
    request.mail_text += text;
  }
  request.mail_html.clear();
  if (on.text_only) return;
  request.mail_html = FilledLayout(request, HtmlHead(request, on), AppendHtmlRows, on,
                                   HtmlLayoutBytes(request, on), kHtmlFoot, Target::Html);
}

}  // namespace quillo
