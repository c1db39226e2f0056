// The built-in layouts; see layouts.h.
#include "content/layouts.h"

#include <algorithm>
#include <string_view>

#include "content/placeholders.h"
#include "core/text.h"

namespace quillo {
namespace {

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

// --- what both kinds share ---

// The row markup around one field of the classic HTML layout.
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

// row_markup: the bytes of markup around one field.
std::size_t HtmlLayoutBytes(const FormRequest& r, const LayoutSwitches& on, std::size_t row_markup) {
  std::size_t bytes = kFixedLayoutBytes;
  for (std::size_t i = 0; i < r.field_names.size(); ++i) {
    if (Shown(r, on, i))
      bytes += row_markup + EscapedHtmlSize(r.field_names[i]) + EscapedHtmlSize(r.field_values[i]);
  }
  return bytes;
}

// --- the classic layouts ---

// The text layout's lines before the fields.
void AppendEnvironmentLines(std::string& text, const FormRequest& r, const LayoutSwitches& on) {
  if (!on.env_report) return;
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

std::string TextHead(const FormRequest& r, const LayoutSwitches& on) {
  std::string text;
  AppendEnvironmentLines(text, r, on);
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

// --- the layouts of a site with settings ---

constexpr std::string_view kLabelCell =
    "<tr><th style=\"text-align:left;vertical-align:top;padding:4px 12px 4px 4px;"
    "background-color:#eeeeee;color:#000000\">";
constexpr std::string_view kValueCell = ":</th><td style=\"padding:4px;white-space:pre-wrap\">";
constexpr std::string_view kCellsEnd = "</td></tr>\n";
constexpr std::string_view kSiteHtmlFoot = "</table>\n</body>\n</html>\n";

std::string SiteTextHead(const FormRequest& r, const LayoutSwitches& on) {
  std::string text =
      "From: ##QUILLO_FROM##\n"
      "To: ##QUILLO_TO##\n"
      "Subject: ##QUILLO_SUBJECT##\n"
      "Date: ##DATE##\n";
  AppendEnvironmentLines(text, r, on);
  text += "\n";
  return text;
}

void AppendLabelled(std::string& html, std::string_view label, std::string_view value) {
  html.append(kLabelCell).append(label).append(kValueCell).append(value).append(kCellsEnd);
}

std::string SiteHtmlHead(const FormRequest& r, const LayoutSwitches& on) {
  std::string html = "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"" + r.charset +
                     "\">\n<title>##QUILLO_SUBJECT##</title>\n</head>\n"
                     "<body style=\"margin:0;padding:16px;background-color:#ffffff;color:#000000;"
                     "font-family:Arial,Helvetica,sans-serif;font-size:14px\">\n"
                     "<table style=\"border-collapse:collapse;background-color:#ffffff;color:#000000\">\n"
                     "<tr><th colspan=\"2\" style=\"text-align:left;padding:8px 4px;background-color:#404040;"
                     "color:#ffffff\">##QUILLO_SUBJECT##</th></tr>\n";
  AppendLabelled(html, "From", "<a href=\"mailto:##QUILLO_FROM##\">##QUILLO_FROM##</a>");
  AppendLabelled(html, "To", "##QUILLO_TO##");
  AppendLabelled(html, "Subject", "##QUILLO_SUBJECT##");
  AppendLabelled(html, "Date", "##DATE##");
  if (on.env_report) {
    AppendLabelled(html, "Remote Addr", "##REMOTE_ADDR##");
    if (!r.remote_host.empty()) AppendLabelled(html, "Remote Host", "##REMOTE_HOST##");
    if (!r.remote_user.empty()) AppendLabelled(html, "Remote User", "##REMOTE_USER##");
    if (!r.remote_ident.empty()) AppendLabelled(html, "Remote Ident", "##REMOTE_IDENT##");
    AppendLabelled(html, "Http User Agent", "##HTTP_USER_AGENT##");
    AppendLabelled(html, "Script Name", "##SCRIPT_NAME##");
    AppendLabelled(html, "Server Name", "##SERVER_NAME##");
    AppendLabelled(html, "MUID", "##MUID##");
  }
  return html;
}

void AppendSiteHtmlRows(std::string& html, const FormRequest& r, const LayoutSwitches& on) {
  for (std::size_t i = 0; i < r.field_names.size(); ++i) {
    if (!Shown(r, on, i)) continue;
    html += kLabelCell;
    AppendEscapedHtml(html, r.field_names[i]);
    html += kValueCell;
    AppendEscapedHtml(html, r.field_values[i]);
    html += kCellsEnd;
  }
}

// A row per file the post carries, after the fields, where the site asks
// for them: "File: name (size bytes)".
void AppendFileRows(std::string& layout, const FormRequest& r, Target target) {
  if (!r.list_files) return;
  for (const Attachment& file : r.attachments) {
    const std::string value = DescribedFile(file);
    if (target == Target::PlainText) {
      layout += "File: " + value + "\n";
      continue;
    }
    layout += kLabelCell;
    layout += "File";
    layout += kValueCell;
    AppendEscapedHtml(layout, value);
    layout += kCellsEnd;
  }
}

// --- filling ---

using RowWriter = void (*)(std::string&, const FormRequest&, const LayoutSwitches&);

// One kind of layout: its parts around the fields' rows.
struct Layout {
  std::string (*text_head)(const FormRequest&, const LayoutSwitches&);
  std::string (*html_head)(const FormRequest&, const LayoutSwitches&);
  RowWriter html_rows;
  std::string_view html_foot;
  std::size_t html_row_markup;
};

const Layout& LayoutOf(const FormRequest& r) {
  static const Layout classic = {TextHead, HtmlHead, AppendHtmlRows, kHtmlFoot,
                                 kFieldRowStart.size() + kFieldRowMiddle.size() + kFieldRowEnd.size()};
  static const Layout site = {SiteTextHead, SiteHtmlHead, AppendSiteHtmlRows, kSiteHtmlFoot,
                              kLabelCell.size() + kValueCell.size() + kCellsEnd.size()};
  return r.site_settings ? site : classic;
}

bool HoldsPlaceholderEdge(const std::string& text) { return text.find("##") != std::string::npos; }

// Whether a placeholder can stand in the rows of the fields. Their markup
// holds no "##" and keeps every name and value apart from any other "#"
// (a "#" of the markup follows "=" or ":", and a name or value stands
// between a ">" and a blank, a ":" or a "<"), so one can only where a name
// or value holds "##".
bool RowsMayHoldPlaceholders(const FormRequest& r) {
  return std::any_of(r.field_names.begin(), r.field_names.end(), HoldsPlaceholderEdge) ||
         std::any_of(r.field_values.begin(), r.field_values.end(), HoldsPlaceholderEdge);
}

// A layout filled in: head, the fields' rows, foot. Where the rows can hold
// no placeholder, nothing can reach into them from the head either (the
// head's last "##" is followed by markup, and no "##" follows), so only the
// head is filled and the rows are appended as they are: the same bytes as
// filling the whole, without a second copy of a large layout.
std::string FilledLayout(const FormRequest& r, std::string head, RowWriter append_rows,
                         const LayoutSwitches& on, std::size_t bytes, std::string_view foot, Target target) {
  const bool rows_inert = !RowsMayHoldPlaceholders(r);
  if (rows_inert) SubstitutePlaceholders(r, head, target);
  std::string layout = std::move(head);
  layout.reserve(layout.size() + bytes);
  append_rows(layout, r, on);
  AppendFileRows(layout, r, target);
  layout += foot;
  if (!rows_inert) SubstitutePlaceholders(r, layout, target);
  return layout;
}

}  // namespace

BuiltInLayouts UnfilledBuiltInLayouts(const FormRequest& request) {
  const LayoutSwitches on = ReadSwitches(request.settings);
  BuiltInLayouts layouts;
  const Layout& layout = LayoutOf(request);
  layouts.text = layout.text_head(request, on);
  AppendTextRows(layouts.text, request, on);
  AppendFileRows(layouts.text, request, Target::PlainText);
  if (on.text_only) return layouts;
  layouts.html = layout.html_head(request, on);
  layout.html_rows(layouts.html, request, on);
  AppendFileRows(layouts.html, request, Target::Html);
  layouts.html += layout.html_foot;
  return layouts;
}

void BuildBuiltInLayouts(FormRequest& request) {
  const LayoutSwitches on = ReadSwitches(request.settings);
  const Layout& layout = LayoutOf(request);
  std::string text = FilledLayout(request, layout.text_head(request, on), AppendTextRows, on,
                                  TextLayoutBytes(request, on), {}, Target::PlainText);
  if (request.mail_text.empty()) {
    request.mail_text = std::move(text);
  } else {
    request.mail_text += text;
  }
  request.mail_html.clear();
  if (on.text_only) return;
  request.mail_html =
      FilledLayout(request, layout.html_head(request, on), layout.html_rows, on,
                   HtmlLayoutBytes(request, on, layout.html_row_markup), layout.html_foot, Target::Html);
}

}  // namespace quillo
