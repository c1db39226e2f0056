// Debug report page; see debug_report.h.
#include "response/debug_report.h"

#include <initializer_list>

#include "core/run_end.h"
#include "core/text.h"

namespace quillo {
namespace {

// One "<strong>NAME=value" line: the escaped value between the name and the
// rest of the line.
struct Row {
  const char* name;
  const std::string& value;
  const char* rest;
};

void AppendRows(std::string& page, std::initializer_list<Row> rows) {
  for (const Row& row : rows) {
    page += "<strong>";
    page += row.name;
    page += "=";
    page += EscapeHtml(row.value);
    page += row.rest;
  }
}

void AppendServerVariables(std::string& page, const FormRequest& r) {
  const std::string content_length = std::to_string(r.content_length) + " bytes";
  AppendRows(
      page,
      {
          {"HTTP_USER_AGENT", r.http_user_agent,
           "</strong><BR>\n(The browser the client is using to send the request. General format: "
           "software/version library/version.)<BR>\n"},
          {"REQUEST_METHOD", r.request_method,
           "</strong> <BR>\n(The method with which the request was made. For HTTP, this is \"GET\", "
           "\"HEAD\", "
           "\"POST\", etc.)<BR>\n"},
          {"REMOTE_HOST", r.remote_host,
           "</strong> <BR>\n(The hostname making the request. If the server does not have this information, "
           "it "
           "should set REMOTE_ADDR and leave this unset.)<BR>\n"},
          {"REMOTE_ADDR", r.remote_addr,
           "</strong> <BR>\n(The IP address of the remote host making the request.)<BR>\n"},
          {"REMOTE_USER", r.remote_user,
           "</strong> <BR>\n(If the server supports user authentication, and the script is protected, this "
           "is "
           "the username they have authenticated as.)<BR>\n"},
          {"REMOTE_IDENT", r.remote_ident,
           "</strong> <BR>\n(If the HTTP server supports RFC 931 identification, then this variable will be "
           "set "
           "to the remote user name retrieved from the server. Usage of this variable should be limited to "
           "logging only.)<BR>\n"},
          {"AUTH_TYPE", r.auth_type,
           "</strong> <BR>\n(If the server supports user authentication, and the script is protects, this is "
           "the "
           "protocol-specific authentication method used to validate the user.<BR>\n"},
          {"CONTENT_TYPE", r.content_type,
           "</strong> <BR>\n(For queries which have attached information, such as HTTP POST and PUT, this is "
           "the "
           "content type of the data.)<BR>\n"},
          {"SCRIPT_NAME", r.script_name,
           "</strong><BR>\n(A virtual path to the script being executed, used for self-referencing "
           "URLs.)<BR>\n"},
          {"SERVER_NAME", r.server_name,
           "</strong> <BR>\n(The server's hostname, DNS alias, or IP address as it would appear in "
           "self-referencing URLs.)<BR>\n"},
          {"CONTENT_LENGTH", content_length,
           "</strong> <BR>\n(The length of the said content as given by the client.)<BR>\n"},
      });
}

void AppendControlVariables(std::string& page, const ControlSettings& s) {
  page += "REQUIRED:<BR>\n";
  AppendRows(
      page, {
                {"QUILLO_HELO", s.helo,
                 "</strong> (used to log into SMTP server (if QUILLO_HELO is empty, QUILLO_HELO = "
                 "local_host)<BR>\n"},
                {"QUILLO_SERVER", s.server,
                 "</strong> (external mailserver; uses internal mailserver if not specified)<BR>\n"},
                {"QUILLO_FROM", s.from, "</strong> (sender email address)<BR>\n"},
                {"QUILLO_TO", s.to, "</strong> (target address: seperate email addresses with commas)<BR>\n"},
                {"QUILLO_SUBJECT", s.subject, "</strong> (subject of mail/form)<BR>\n"},
                {"QUILLO_SUCCESS", s.success_doc, "</strong> (NAME of [success] html document)<BR>\n"},
                {"QUILLO_REQUIRED", s.required_doc,
                 "</strong> (NAME of [please fill out required fields] html document)<BR>\n"},
                {"QUILLO_ERROR", s.error_doc, "</strong> (NAME of [internal error] document)<BR>\n"},
            });
  page += "<BR>OPTIONAL:<BR>\n";
  AppendRows(page,
             {
                 {"QUILLO_REJECTEMAIL", s.reject_email_doc, "</strong> NAME of unwanted emails<BR>\n"},
                 {"QUILLO_BADEMAIL", s.bad_email_doc, "</strong> (NAME of [bad email] document)<BR>\n"},
                 {"QUILLO_DEBUG", s.debug, "</strong> (set this variable to 'ON' for debug mode!)<BR>\n"},
                 {"QUILLO_ENVREPORT", s.env_report,
                  "</strong> (set this variable 'ON' to include authentication information in "
                  "mail![REMOTE_USER,REMOTE_IDENT,AUTH_TYPE,HTTP_USER_AGENT,REMOTE_ADDR,REMOTE_HOST,SERVER_"
                  "NAME])<BR>\n"},
                 {"QUILLO_PRIORITY", s.priority, "</strong> (use 'HIGH' for high priority)<BR>\n"},
                 {"QUILLO_NOEMPTYFIELDS", s.no_empty_fields,
                  "</strong> (set this variable to 'ON' to strip emtpy fields)<BR>\n"},
             });
  page += "<BR><HR><H4>Autoresponder:</H4>\n";
  AppendRows(page, {
                       {"RESPOND_TEMPLATE", s.respond_template_doc,
                        "</strong>(NAME of template file for autoresponder)<BR>\n"},
                       {"RESPOND_FROM", s.respond_from, "</strong>(QUILLO_TO[0] used if empty!)<BR>\n"},
                       {"RESPOND_SUBJECT", s.respond_subject,
                        "</strong>(AUTOMATIC GENERATED MAIL used if empty!)<BR>\n"},
                   });
  page += "<BR><HR><H4>Email template:</H4>\n";
  AppendRows(page, {{"QUILLO_TEMPLATE", s.template_doc,
                     "</strong>(NAME of template file for email template)<BR>\n"}});
}

// Anyone can switch debug mode on, so the report tells that a list is in
// use, not what it allows.
void AppendAllowedRecipients(std::string& page, const TextList& allowed) {
  page += "<BR><HR><H4>Allowed recipients (recipients.txt):</H4>\n<strong>";
  if (allowed.empty()) {
    page += "ALL";
  } else {
    page += std::to_string(allowed.size()) + (allowed.size() == 1 ? " entry" : " entries") + " (not shown)";
  }
  page += "</strong>\n";
}

void AppendUserFields(std::string& page, const FormRequest& r) {
  page += "<BR><HR><H4>User variables:</H4>\n<BR>";
  for (std::size_t i = 0; i < r.field_names.size(); ++i) {
    page += "<strong>";
    page += EscapeHtml(r.field_names[i]);
    page += "=";
    page += EscapeHtml(r.field_values[i]);
    page += "</strong><BR>\n";
  }
  page +=
      "<BR>Variablenames starting with \"_I_\" : ignore<BR>\n"
      "Variablenames starting with \"_R_\" : required user fields<BR>\n"
      "Variablenames starting with \"_E_\" : verify correct email syntax<BR>\n"
      "Variablenames starting with \"_F_\" : use as sender (from)<BR>\n"
      "Variablenames starting with \"_EF_\" : use as sender and verify email (used as recipient for "
      "autoresponder email)<BR>\n";
}

// With [uploads]: each file as the mail would carry it.
void AppendFiles(std::string& page, const FormRequest& r) {
  if (!r.uploads) return;
  page += "<BR><HR><H4>Files:</H4>\n";
  if (r.attachments.empty()) page += "<strong>none</strong><BR>\n";
  for (const Attachment& file : r.attachments) {
    page += "<strong>" + EscapeHtml(file.name) + "</strong> " + EscapeHtml(file.content_type) + ", " +
            std::to_string(file.size) + " bytes<BR>\n";
  }
}

}  // namespace

std::string RenderDebugReport(const FormRequest& request, const std::optional<SiteSummary>& site) {
  std::string page =
      "Content-Type: text/html\n\n"
      "<html>\n<header><title>Tessik Quillo!Pro DEBUG MODE</title></header><body>\n"
      "<tt><HR><H4>DEBUG MODE - NO MAIL WILL BE SENT!</H4><BR><tt>\n"
      "<HR><H4>Server variables:</H4>\n";
  AppendServerVariables(page, request);
  page += "<BR><HR><H4>Tessik Quillo! variables:</H4>\n";
  AppendControlVariables(page, request.settings);
  AppendAllowedRecipients(page, request.settings.allowed_recipients);
  if (site) {
    page += "<BR><HR><H4>Site settings:</H4>\n<strong>" + EscapeHtml(site->settings_file) +
            "</strong><BR>\ntransport: <strong>" + EscapeHtml(site->transport) + "</strong>\n";
  }
  AppendUserFields(page, request);
  AppendFiles(page, request);
  page += "</tt></small></font></body></html>";
  return page;
}

void WriteDebugReport(const FormRequest& request, const std::optional<SiteSummary>& site) {
  EndRun({RenderDebugReport(request, site), 0, AnswerKind::kDebugReport, 0, {}, {}});
}

}  // namespace quillo
