#include <gtest/gtest.h>

#include <random>

#include "content/layouts.h"
#include "content/placeholders.h"
#include "content/templates.h"

namespace quillo {
namespace {

FormRequest Sample() {
  FormRequest r;
  r.field_names = {"Name", "Mail", "DATE", "Note"};
  r.field_values = {"Jo <b>", "##Note##", "field date", "##Name## ##REMOTE_ADDR##"};
  r.settings.to = "a@b.c, d@e.f";
  r.settings.from = "jo@x.y";
  r.settings.subject = "Subj";
  r.remote_addr = "10.1.2.3";
  r.muid = "1796748718";
  r.date = "Tue, 08 Dec 2026 16:51:58 +0000";
  return r;
}

std::string Filled(const FormRequest& r, std::string text, Target target = Target::PlainText) {
  SubstitutePlaceholders(r, text, target);
  return text;
}

TEST(Placeholders, UserFieldsComeFirstThenTheFixedValuesInOrder) {
  const FormRequest r = Sample();
  EXPECT_EQ(Filled(r, "no marks"), "no marks");
  EXPECT_EQ(Filled(r, "##Name##/##name##/##_E_Mail##/##Unknown##"),
            "Jo <b>/##name##/##_E_Mail##/##Unknown##");
  EXPECT_EQ(Filled(r, "##DATE## ##MUID## ##QUILLO_TO## ##QUILLO_FROM## ##QUILLO_SUBJECT##"),
            "field date 1796748718 a@b.c, d@e.f jo@x.y Subj");
  // A value holding a later field's placeholder is filled, an earlier one's is not;
  // fixed placeholders are filled in every inserted value.
  EXPECT_EQ(Filled(r, "##Mail##|##Note##"), "##Name## 10.1.2.3|##Name## 10.1.2.3");
  EXPECT_EQ(Filled(r, "##REMOTE_HOST##x##REMOTE_HOST##"), "x");
}

TEST(Placeholders, HtmlTargetsGetEscapedValues) {
  const FormRequest r = Sample();
  EXPECT_EQ(Filled(r, "<p>##Name##</p>", Target::Html), "<p>Jo &lt;b&gt;</p>");
}

TEST(CutTemplate, SplitsBothSectionsWhicheverComesFirst) {
  TemplateParts p = CutTemplate("[QUILLO_TEMPLATE_HTML]\n<p>hi</p>\n[QUILLO_TEMPLATE_TEXT]\nhi\n");
  EXPECT_EQ(p.html, "<p>hi</p>\n");
  EXPECT_EQ(p.text, "hi\n");
  p = CutTemplate("[QUILLO_TEMPLATE_TEXT]\nhi\n[QUILLO_TEMPLATE_HTML]\n<p>hi</p>\n");
  EXPECT_EQ(p.text, "hi\n");
  EXPECT_EQ(p.html, "<p>hi</p>\n");
  EXPECT_TRUE(p.text_filled && p.html_filled);
}

TEST(CutTemplate, SingleMarkersAndNoMarkers) {
  TemplateParts p = CutTemplate("[QUILLO_TEMPLATE_TEXT]\nbody\n");
  EXPECT_EQ(p.text, "body\n");
  EXPECT_EQ(p.html, "");
  EXPECT_FALSE(p.html_filled);
  p = CutTemplate("[QUILLO_TEMPLATE_HTML]\n<b>x</b>");
  EXPECT_EQ(p.html, "\n<b>x</b>");
  EXPECT_EQ(p.text, "");
  p = CutTemplate("[QUILLO_TEMPLATE_TEXT]Xbody");
  EXPECT_EQ(p.text, "body");
  p = CutTemplate("<html lang=en><p>x</p></html>");
  EXPECT_EQ(p.html, "");
  EXPECT_EQ(p.text, "<html lang=en><p>x</p></html>");
  p = CutTemplate("<Html><p>x</p></html>");
  EXPECT_EQ(p.html, "<Html><p>x</p></html>");
  EXPECT_TRUE(p.html_filled);
  EXPECT_FALSE(p.text_filled);
}

TEST(CutTemplate, TextAheadOfTheFirstMarkerBelongsToNoSection) {
  TemplateParts p = CutTemplate("lead\n[QUILLO_TEMPLATE_TEXT]\nt\n[QUILLO_TEMPLATE_HTML]\nh");
  EXPECT_EQ(p.text, "t\n");
  EXPECT_EQ(p.html, "h");
  p = CutTemplate("lead\n[QUILLO_TEMPLATE_HTML]\nh");
  EXPECT_EQ(p.html, "\nh");
  p = CutTemplate("[QUILLO_TEMPLATE_TEXT][QUILLO_TEMPLATE_HTML]\nh");
  EXPECT_EQ(p.text, "");
  EXPECT_EQ(p.html, "h");
  // A later marker that ends the file: the earlier section keeps its last
  // line end, as it does before a marker with a line behind it.
  p = CutTemplate("[QUILLO_TEMPLATE_TEXT]\nabc\n[QUILLO_TEMPLATE_HTML]");
  EXPECT_EQ(p.text, "abc\n");
  EXPECT_EQ(p.html, "");
}

FormRequest LayoutRequest() {
  FormRequest r;
  r.field_names = {"Name", "Empty", "Blank"};
  r.field_values = {"Jo & <Co>", "", " "};
  r.settings.to = "a@b.c";
  r.settings.from = "jo@x.y";
  r.settings.subject = "Hello";
  r.http_user_agent = "UA/1";
  r.script_name = "/cgi-bin/quillopro.exe";
  r.remote_addr = "127.0.0.1";
  r.server_name = "www.x.y";
  r.muid = "42";
  r.date = "DATE";
  r.settings.env_report = "OFF";
  r.settings.no_empty_fields = "OFF";
  return r;
}

const std::string kHtmlHead =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.0 Transitional//EN\">\n<html>\n<head><meta "
    "http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\"></head>\n"
    "<body bgcolor=#FFFFFF>\n<table border=1 cellpadding=0 cellspacing=0 width=100% bordercolor=#808080 "
    "bordercolordark=#808080 bordercolorlight=#808080>\n"
    "<tr><td width=600 bgcolor=#808080><table border=0 cellpadding=3 cellspacing=1>\n"
    "<tr><td><font color=#FFFFFF size=2 face=Arial><strong> Hello\n"
    "</strong></font></td></tr></table></td></tr>\n"
    "<tr><td><table border=0 cellpadding=3 cellspacing=1 width=600 bordercolor=#808080 "
    "bordercolordark=#808080 bordercolorlight=#808080>\n"
    "<tr><td width=150 bgcolor=#FFCB9C><font size=2 face=Arial>\nFrom</font></td>\n"
    "<td width=450><font size=2 face=Arial>\n<a href=mailto:jo@x.y>jo@x.y</a>\n</font></td></tr>"
    "<tr><td width=150 bgcolor=#FFCB9C> <font size=2 face=Arial>\nTo</font></td>\n"
    "<td width=450><font size=2 face=Arial>\na@b.c\n</font></td></tr>\n"
    "<tr><td width=150 bgcolor=#FFCB9C><font size=2 face=Arial>\nSubject</font></td>\n"
    "<td width=450><font size=2 face=Arial>\nHello\n</font></td></tr>\n"
    "<tr><td width=150 bgcolor=#FFCB9C><font size=2 face=Arial>\nDate</font></td>\n"
    "<td width=450><font size=2 face=Arial>\nDATE</font></td></tr>\n";
const std::string kFieldTableStart =
    "</table></td></tr><td><table border=0 cellpadding=3 cellspacing=1 width=600 bordercolor=#808080"
    " bordercolordark=#808080 bordercolorlight=#808080>";
const std::string kHtmlEnd = "</table></td></tr></table></body></html>";

std::string FieldRow(const std::string& name, const std::string& value) {
  return "<tr><td valign=top width=150 bgcolor=#C0C0C0><font size=2 face=Arial>\n" + name +
         " </font></td><td width=450><font size=2 face=Arial>\n" + value + " </font></td></tr>\n";
}

TEST(BuiltInLayouts, ListEveryFieldWithEscapedHtml) {
  FormRequest r = LayoutRequest();
  BuildBuiltInLayouts(r);
  EXPECT_EQ(r.mail_text, "\nName: Jo & <Co>\nEmpty: \nBlank:  \n");
  EXPECT_EQ(r.mail_html, kHtmlHead + kFieldTableStart + FieldRow("Name", "Jo &amp; &lt;Co&gt;") +
                             FieldRow("Empty", "") + FieldRow("Blank", " ") + kHtmlEnd);
  // The sender stands in an unquoted attribute too: nothing in it may end it.
  r = LayoutRequest();
  r.settings.from = "x@y.z onmouseover=alert(1) style=position:fixed";
  r.field_names.clear();
  r.field_values.clear();
  BuildBuiltInLayouts(r);
  std::string head = kHtmlHead;
  head.replace(head.find("<a href=mailto:jo@x.y>jo@x.y</a>"), 32,
               "<a href=mailto:x@y.z&#32;onmouseover&#61;alert(1)&#32;style&#61;position:fixed>"
               "x@y.z onmouseover=alert(1) style=position:fixed</a>");
  EXPECT_EQ(r.mail_html, head + kFieldTableStart + kHtmlEnd);
}

TEST(BuiltInLayouts, EnvironmentReportAndSkippedEmptyFields) {
  FormRequest r = LayoutRequest();
  r.settings.env_report = " on ";
  r.settings.no_empty_fields = "On";
  r.remote_user = "bob";
  BuildBuiltInLayouts(r);
  EXPECT_EQ(r.mail_text,
            "Remote Addr: 127.0.0.1\nRemote User: bob\nHttp User Agent: UA/1\nScript Name: "
            "/cgi-bin/quillopro.exe\nServer Name: www.x.y\nMUID: 42\n\nName: Jo & <Co>\nBlank:  \n");
  auto row = [](const std::string& label, const std::string& value) {
    return "<tr><td width=150 bgcolor=#FFCB9C><font size=2 face=Arial>\n" + label +
           "</font></td>\n<td width=450><font size=2 face=Arial>\n" + value + "</font></td></tr>\n";
  };
  EXPECT_EQ(r.mail_html, kHtmlHead + row("Remote Addr", "127.0.0.1") + row("Remote Host", "") +
                             row("Remote User", "bob") + row("Http User Agent", "UA/1") +
                             row("Script Name", "/cgi-bin/quillopro.exe") + row("Server Name", "www.x.y") +
                             "<tr><td width=150 bgcolor=#FFCB9C><font size=2 face=Arial>\nMUID</font></td>"
                             "<td width=450><font size=2 face=Arial>\n42</font></td></tr>\n" +
                             kFieldTableStart + FieldRow("Name", "Jo &amp; &lt;Co&gt;") +
                             FieldRow("Blank", " ") + kHtmlEnd);
}

TEST(BuiltInLayouts, TextOnlyFormatsAndNoFields) {
  for (const char* format : {"text", "Text", "PLAINTEXT", " text "}) {
    FormRequest r = LayoutRequest();
    r.settings.format = format;
    BuildBuiltInLayouts(r);
    EXPECT_EQ(r.mail_html, "") << format;
  }
  FormRequest r = LayoutRequest();
  r.settings.format = "HTML";
  r.field_names.clear();
  r.field_values.clear();
  BuildBuiltInLayouts(r);
  EXPECT_EQ(r.mail_text, "\n");
  EXPECT_EQ(r.mail_html, kHtmlHead + kFieldTableStart + kHtmlEnd);
}

// Where no name or value holds "##" only the layout's head is filled and
// the rows are appended as they are: the same bytes as filling it whole,
// in the classic layouts and in those of a site with settings.
TEST(BuiltInLayouts, AreTheirLayoutFilledWholeWhateverTheFields) {
  std::mt19937 random(9122026);
  const std::string alphabet = "##ab<>_ ";
  auto word = [&](std::size_t longest) {
    std::string w(random() % (longest + 1), ' ');
    for (char& c : w) c = alphabet[random() % alphabet.size()];
    return w;
  };
  const char* const fixed[] = {"QUILLO_TO", "QUILLO_FROM", "QUILLO_SUBJECT", "DATE", "MUID", ">"};
  for (int round = 0; round < 3000; ++round) {
    FormRequest r = LayoutRequest();
    r.field_names.clear();
    r.field_values.clear();
    r.settings.env_report = random() % 2 ? "ON" : "OFF";
    r.site_settings = random() % 2;
    for (std::size_t i = random() % 6; i > 0; --i) {
      r.field_names.push_back(random() % 3 ? word(3) : fixed[random() % std::size(fixed)]);
      r.field_values.push_back(word(8));
    }
    const BuiltInLayouts unfilled = UnfilledBuiltInLayouts(r);
    BuildBuiltInLayouts(r);
    ASSERT_EQ(r.mail_text, Filled(r, unfilled.text)) << unfilled.text;
    ASSERT_EQ(r.mail_html, Filled(r, unfilled.html, Target::Html)) << unfilled.html;
  }
}

}  // namespace
}  // namespace quillo
