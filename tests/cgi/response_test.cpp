#include <gtest/gtest.h>

#include "core/messages.h"
#include "core/run_end.h"
#include "documents/files.h"
#include "documents/names.h"
#include "documents/reject_list.h"
#include "response/debug_report.h"
#include "response/pages.h"

namespace quillo {
namespace {

std::string RefusalOf(std::string_view name) { return RefuseDocumentName(name).value_or("(accepted)"); }

const std::string kLongHint =
    "<br><br>This file must be in the same directory on the web server as the file "
    "quillopro.exe!<br><br>Please "
    "enter only the filename!<br><br>Format: filename.extension";
const std::string kShortHint =
    "<br><br>This file must be in the same directory on the web server as the file quillopro.exe!<br>Please "
    "enter "
    "only the filename!<br>Format: filename.extension";

TEST(DocumentName, RefusesDirectoryChangesInTheirOrder) {
  EXPECT_EQ(RefusalOf("..\\win.ini"),
            "QUILLO ERROR 704<br>Directory change not allowed<br><br>..\\win.ini" + kLongHint);
  EXPECT_EQ(RefusalOf("my..page.htm"),
            "QUILLO ERROR 704<br>Directory change not allowed<br><br>my..page.htm" + kLongHint);
  EXPECT_EQ(RefusalOf("sub/page.htm"),
            "QUILLO ERROR 704<br>Directory change not allowed<br><br>sub/page.htm" + kShortHint);
  EXPECT_EQ(RefusalOf("sub\\page.htm"),
            "QUILLO ERROR 704<br>Directory change not allowed<br><br>sub\\page.htm" + kLongHint);
}

TEST(DocumentName, RefusesDevicesExecutablesAndLibrariesIgnoringCase) {
  EXPECT_EQ(RefusalOf("c:page.htm"),
            "QUILLO ERROR 701<br>Invalid characters found in filename<br>c:page.htm");
  EXPECT_EQ(RefusalOf("a|b.htm"), "QUILLO ERROR 701<br>Invalid characters found in filename<br>a|b.htm");
  EXPECT_EQ(RefusalOf("PAGE.EXE.htm"),
            "QUILLO ERROR 702<br>Cannot use executable as document<br>PAGE.EXE.htm");
  EXPECT_EQ(RefusalOf("a.Cgi.htm"), "QUILLO ERROR 702<br>Cannot use executable as document<br>a.Cgi.htm");
  EXPECT_EQ(RefusalOf("x.isapi"), "QUILLO ERROR 702<br>Cannot use executable as document<br>x.isapi");
  EXPECT_EQ(RefusalOf("lib.DLL.txt"),
            "QUILLO ERROR 703<br>Cannot use dynamic link library as document<br>lib.DLL.txt");
  EXPECT_EQ(RefusalOf("Thanks.HTM"), "(accepted)");
  // The web server's own files are no documents.
  EXPECT_EQ(RefusalOf(".htpasswd"), "QUILLO ERROR 701<br>Invalid characters found in filename<br>.htpasswd");
  EXPECT_EQ(RefusalOf(".x.exe"), "QUILLO ERROR 702<br>Cannot use executable as document<br>.x.exe");
}

TEST(DocumentName, EscapesMarkupInTheRefusedName) {
  EXPECT_EQ(RefusalOf("<b onclick=x>.exe"),
            "QUILLO ERROR 702<br>Cannot use executable as document<br>&lt;b onclick=x&gt;.exe");
}

TEST(DocumentName, ResolvesNextToTheProgramKeepingCase) {
  FormRequest r;
  r.program_path = "/srv/quillopro.exe/cgi-bin/quillopro.exe";
  EXPECT_EQ(ResolveDocumentName(r, "  Thanks.HTM \t"), "/srv/Thanks.HTM/cgi-bin/Thanks.HTM");
  EXPECT_EQ(ResolveDocumentName(r, "   "), "");
  try {
    ResolveDocumentName(r, "../x.htm");
    FAIL() << "a directory change must end the run";
  } catch (const RunEnded& end) {
    EXPECT_EQ(end.exit_status, 0);
    EXPECT_EQ(end.output, RenderErrorPage(Error704DirectoryChange("../x.htm", DirectoryHint::Long)));
  }
}

TEST(DocumentText, ReadsLinePiecesUpToTheirFirstNul) {
  EXPECT_EQ(DocumentText("plain\ntext"), "plain\ntext");
  EXPECT_EQ(DocumentText(std::string("ab\0cd\nef\n", 9)), "abef\n");
  std::string long_line = std::string(16383, 'x') + std::string("y\0z", 3) + "\nnext";
  EXPECT_EQ(DocumentText(long_line), std::string(16383, 'x') + "y" + "next");
}

TEST(RejectList, MatchesTrimmedEntriesIgnoringCase) {
  EXPECT_TRUE(RejectTextLists("  Spam.Example  \n", "joe@spam.example"));
  EXPECT_TRUE(RejectTextLists("first\nviagra", "VIAGRA-sales@x.y"));
  EXPECT_FALSE(RejectTextLists("  \n\t\n", "a@b.c"));
  EXPECT_FALSE(RejectTextLists("", "a@b.c"));
  EXPECT_FALSE(RejectTextLists("other.org\r\n", "a@b.c"));
}

TEST(ErrorPage, TheOutOfMemoryPageIsAnErrorPageMadeInAdvance) {
  EXPECT_EQ(kOutOfMemoryPage, RenderErrorPage("QUILLO! ERROR 603 - OUT OF MEMORY"));
}

TEST(ErrorPage, WrapsTheMessageLiterally) {
  EXPECT_EQ(RenderErrorPage("QUILLO! ERROR 300 - QUILLO_TO UNDEFINED"),
            "Content-Type: text/html\n\n<html>\n<header></header><body>\n"
            "<HR><BR><h2>QUILLO! ERROR 300 - QUILLO_TO UNDEFINED</h2></body></html>");
  EXPECT_EQ(
      RenderErrorPage("100% %s\n"),
      "Content-Type: text/html\n\n<html>\n<header></header><body>\n<HR><BR><h2>100% %s\n</h2></body></html>");
}

TEST(ErrorMessages, EscapeTheValuesTakenFromTheRequest) {
  EXPECT_EQ(
      Error600FileNotReadable("/x/<b>.htm"),
      "QUILLO! ERROR 600<br>FILE NOT FOUND / ACCESS DENIED<br><br>/x/&lt;b&gt;.htm<br><br>Please verify "
      "filename and access permissions (read).<br><br>This file must be in the same directory on the web "
      "server as the file quillopro.exe!");
  EXPECT_EQ(Error700WrongProgramName("/cgi/x\"y.exe"),
            "QUILLO ERROR 700<br>-> Rename executable file to quillopro.exe<br>/cgi/x&quot;y.exe");
  EXPECT_EQ(Error900RecipientNotAllowed("a'b@c.d"),
            "QUILLO! ERROR 900 - recipient not allowed<br>a&#39;b@c.d<br><br>Add the target email address "
            "(QUILLO_TO) to allowed recipients -> recipients.txt");
}

TEST(ResultDocument, DropsEveryCarriageReturn) {
  EXPECT_EQ(RenderResultDocument("a\r\nb\rc\n"), "Content-Type: text/html\n\na\nbc\n");
  EXPECT_EQ(RenderResultDocument(""), "Content-Type: text/html\n\n");
}

TEST(DebugReport, ListsEverythingEscapedInItsFixedOrder) {
  FormRequest r;
  r.http_user_agent = "UA";
  r.request_method = "POST";
  r.remote_addr = "127.0.0.1";
  r.content_type = "application/x-www-form-urlencoded";
  r.script_name = "/cgi-bin/quillopro.exe";
  r.server_name = "localhost";
  r.content_length = 77;
  ControlSettings& s = r.settings;
  s.helo = "host";
  s.to = "a@b.c";
  s.subject = "S";
  s.success_doc = "/ok.htm";
  s.required_doc = "/err.htm";
  s.error_doc = "/err.htm";
  s.bad_email_doc = "/err.htm";
  s.debug = "ON";
  s.env_report = "OFF";
  s.priority = "NORMAL";
  s.no_empty_fields = "OFF";
  r.field_names = {"_R_Name", "<i>"};
  r.field_values = {"Jo & Co", "\"q\""};
  const std::string expected =
      "Content-Type: text/html\n\n"
      "<html>\n<header><title>Tessik Quillo!Pro DEBUG MODE</title></header><body>\n"
      "<tt><HR><H4>DEBUG MODE - NO MAIL WILL BE SENT!</H4><BR><tt>\n"
      "<HR><H4>Server variables:</H4>\n"
      "<strong>HTTP_USER_AGENT=UA</strong><BR>\n"
      "(The browser the client is using to send the request. General format: software/version "
      "library/version.)<BR>\n"
      "<strong>REQUEST_METHOD=POST</strong> <BR>\n"
      "(The method with which the request was made. For HTTP, this is \"GET\", \"HEAD\", \"POST\", "
      "etc.)<BR>\n"
      "<strong>REMOTE_HOST=</strong> <BR>\n"
      "(The hostname making the request. If the server does not have this information, it should set "
      "REMOTE_ADDR and leave this unset.)<BR>\n"
      "<strong>REMOTE_ADDR=127.0.0.1</strong> <BR>\n"
      "(The IP address of the remote host making the request.)<BR>\n"
      "<strong>REMOTE_USER=</strong> <BR>\n"
      "(If the server supports user authentication, and the script is protected, this is the username they "
      "have authenticated as.)<BR>\n"
      "<strong>REMOTE_IDENT=</strong> <BR>\n"
      "(If the HTTP server supports RFC 931 identification, then this variable will be set to the remote "
      "user "
      "name retrieved from the server. Usage of this variable should be limited to logging only.)<BR>\n"
      "<strong>AUTH_TYPE=</strong> <BR>\n"
      "(If the server supports user authentication, and the script is protects, this is the "
      "protocol-specific "
      "authentication method used to validate the user.<BR>\n"
      "<strong>CONTENT_TYPE=application/x-www-form-urlencoded</strong> <BR>\n"
      "(For queries which have attached information, such as HTTP POST and PUT, this is the content type of "
      "the data.)<BR>\n"
      "<strong>SCRIPT_NAME=/cgi-bin/quillopro.exe</strong><BR>\n"
      "(A virtual path to the script being executed, used for self-referencing URLs.)<BR>\n"
      "<strong>SERVER_NAME=localhost</strong> <BR>\n"
      "(The server's hostname, DNS alias, or IP address as it would appear in self-referencing URLs.)<BR>\n"
      "<strong>CONTENT_LENGTH=77 bytes</strong> <BR>\n"
      "(The length of the said content as given by the client.)<BR>\n"
      "<BR><HR><H4>Tessik Quillo! variables:</H4>\n"
      "REQUIRED:<BR>\n"
      "<strong>QUILLO_HELO=host</strong> (used to log into SMTP server (if QUILLO_HELO is empty, QUILLO_HELO "
      "= "
      "local_host)<BR>\n"
      "<strong>QUILLO_SERVER=</strong> (external mailserver; uses internal mailserver if not specified)<BR>\n"
      "<strong>QUILLO_FROM=</strong> (sender email address)<BR>\n"
      "<strong>QUILLO_TO=a@b.c</strong> (target address: seperate email addresses with commas)<BR>\n"
      "<strong>QUILLO_SUBJECT=S</strong> (subject of mail/form)<BR>\n"
      "<strong>QUILLO_SUCCESS=/ok.htm</strong> (NAME of [success] html document)<BR>\n"
      "<strong>QUILLO_REQUIRED=/err.htm</strong> (NAME of [please fill out required fields] html "
      "document)<BR>\n"
      "<strong>QUILLO_ERROR=/err.htm</strong> (NAME of [internal error] document)<BR>\n"
      "<BR>OPTIONAL:<BR>\n"
      "<strong>QUILLO_REJECTEMAIL=</strong> NAME of unwanted emails<BR>\n"
      "<strong>QUILLO_BADEMAIL=/err.htm</strong> (NAME of [bad email] document)<BR>\n"
      "<strong>QUILLO_DEBUG=ON</strong> (set this variable to 'ON' for debug mode!)<BR>\n"
      "<strong>QUILLO_ENVREPORT=OFF</strong> (set this variable 'ON' to include authentication information "
      "in "
      "mail![REMOTE_USER,REMOTE_IDENT,AUTH_TYPE,HTTP_USER_AGENT,REMOTE_ADDR,REMOTE_HOST,SERVER_NAME])<BR>\n"
      "<strong>QUILLO_PRIORITY=NORMAL</strong> (use 'HIGH' for high priority)<BR>\n"
      "<strong>QUILLO_NOEMPTYFIELDS=OFF</strong> (set this variable to 'ON' to strip emtpy fields)<BR>\n"
      "<BR><HR><H4>Autoresponder:</H4>\n"
      "<strong>RESPOND_TEMPLATE=</strong>(NAME of template file for autoresponder)<BR>\n"
      "<strong>RESPOND_FROM=</strong>(QUILLO_TO[0] used if empty!)<BR>\n"
      "<strong>RESPOND_SUBJECT=</strong>(AUTOMATIC GENERATED MAIL used if empty!)<BR>\n"
      "<BR><HR><H4>Email template:</H4>\n"
      "<strong>QUILLO_TEMPLATE=</strong>(NAME of template file for email template)<BR>\n"
      "<BR><HR><H4>Allowed recipients (recipients.txt):</H4>\n"
      "<strong>ALL</strong>\n"
      "<BR><HR><H4>User variables:</H4>\n"
      "<BR><strong>_R_Name=Jo &amp; Co</strong><BR>\n"
      "<strong>&lt;i&gt;=&quot;q&quot;</strong><BR>\n"
      "<BR>Variablenames starting with \"_I_\" : ignore<BR>\n"
      "Variablenames starting with \"_R_\" : required user fields<BR>\n"
      "Variablenames starting with \"_E_\" : verify correct email syntax<BR>\n"
      "Variablenames starting with \"_F_\" : use as sender (from)<BR>\n"
      "Variablenames starting with \"_EF_\" : use as sender and verify email (used as recipient for "
      "autoresponder email)<BR>\n"
      "</tt></small></font></body></html>";
  EXPECT_EQ(RenderDebugReport(r), expected);
  // A site with a settings file: which file, and how mail leaves, before the user fields.
  std::string with_site = expected;
  with_site.insert(with_site.find("<BR><HR><H4>User variables:"),
                   "<BR><HR><H4>Site settings:</H4>\n<strong>/etc/quillo/quillopro.ini</strong><BR>\n"
                   "transport: <strong>sendmail</strong>\n");
  EXPECT_EQ(RenderDebugReport(r, SiteSummary{"/etc/quillo/quillopro.ini", "sendmail"}), with_site);

  // Anyone may ask for the report: it counts the allow-list's entries.
  s.allowed_recipients = {"a@b.c"};
  EXPECT_NE(RenderDebugReport(r).find("<strong>1 entry (not shown)</strong>\n"), std::string::npos);
  s.allowed_recipients = {"a@b.c", "<x>"};
  EXPECT_NE(RenderDebugReport(r).find("<strong>2 entries (not shown)</strong>\n"), std::string::npos);
}

}  // namespace
}  // namespace quillo
