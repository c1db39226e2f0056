// Mail templates and built-in layouts; see templates.h.
#include "content/templates.h"

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

// Room for the fields and their values, so that a large post's layout is
// reserved once instead of growing by doubling.
std::size_t FieldBytes(const FormRequest& r) {
  constexpr std::size_t kPerField = 128;  // the row markup around one field
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < r.field_names.size(); ++i) {
    bytes += r.field_names[i].size() + r.field_values[i].size() + kPerField;
  }
  return bytes;
}

std::string BuildTextLayout(const FormRequest& r, const LayoutSwitches& on) {
  std::string text;
  text.reserve(FieldBytes(r));
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
  for (std::size_t i = 0; i < r.field_names.size(); ++i) {
    if (on.skip_empty && r.field_values[i].empty()) continue;
    text.append(r.field_names[i]).append(": ").append(r.field_values[i]).append("\n");
  }
  return text;
}

constexpr std::string_view kRowStart = "<tr><td width=150 bgcolor=#FFCB9C><font size=2 face=Arial>\n";
constexpr std::string_view kValueStart = "<td width=450><font size=2 face=Arial>\n";
constexpr std::string_view kRowEnd = "</font></td></tr>\n";

void AppendEnvRow(std::string& html, std::string_view label, std::string_view placeholder) {
  html.append(kRowStart).append(label).append("</font></td>\n");
  html.append(kValueStart).append(placeholder).append(kRowEnd);
}

std::string BuildHtmlLayout(const FormRequest& r, const LayoutSwitches& on) {
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
  html.reserve(FieldBytes(r) + html.size() * 4);
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
  for (std::size_t i = 0; i < r.field_names.size(); ++i) {
    if (on.skip_empty && r.field_values[i].empty()) continue;
    html += "<tr><td valign=top width=150 bgcolor=#C0C0C0><font size=2 face=Arial>\n";
    AppendEscapedHtml(html, r.field_names[i]);
    html += " </font></td><td width=450><font size=2 face=Arial>\n";
    AppendEscapedHtml(html, r.field_values[i]);
    html += " </font></td></tr>\n";
  }
  html += "</table></td></tr></table></body></html>";
  return html;
}

}  // namespace

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
  std::string text = BuildTextLayout(request, on);
  SubstitutePlaceholders(request, text, Target::PlainText);
  if (request.mail_text.empty()) {
    request.mail_text = std::move(text);
  } else {
    request.mail_text += text;
  }
  request.mail_html.clear();
  if (on.text_only) return;
  std::string html = BuildHtmlLayout(request, on);
  SubstitutePlaceholders(request, html, Target::Html);
  request.mail_html = std::move(html);
}

}  // namespace quillo
