// Redirects and JSON answers; see answer_forms.h.
#include "response/answer_forms.h"

#include <cstdio>
#include <cstdlib>

#include "core/messages.h"
#include "core/run_end.h"
#include "core/text.h"

namespace quillo {
namespace {

struct MediaRange {
  std::string type;  // lower case, parameters dropped
  double quality = 1.0;
};

// The q parameter of one range of an Accept header; 1 without one.
MediaRange ReadMediaRange(std::string_view range) {
  MediaRange media;
  const std::vector<std::string_view> parts = Split(range, ';');
  media.type = LowerCopy(Trimmed(parts.front()));
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string parameter = LowerCopy(Trimmed(parts[i]));
    if (StartsWith(parameter, "q=")) media.quality = std::strtod(parameter.c_str() + 2, nullptr);
  }
  return media;
}

void AppendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
}

}  // namespace

bool PrefersJson(std::string_view accept) {
  double json = 0, html = -1, text_any = -1, any = -1;
  for (std::string_view range : Split(accept, ',')) {
    const MediaRange media = ReadMediaRange(range);
    if (media.type == "application/json") json = media.quality;
    if (media.type == "text/html") html = media.quality;
    if (media.type == "text/*") text_any = media.quality;
    if (media.type == "*/*") any = media.quality;
  }
  const double html_rank = html >= 0 ? html : text_any >= 0 ? text_any : any >= 0 ? any : 0;
  return json > 0 && json > html_rank;
}

int HttpStatusOf(int error_number) {
  if (error_number >= 311 && error_number <= 313) return 413;
  if (error_number == 314) return 415;
  if ((error_number >= 300 && error_number < 400) || (error_number >= 700 && error_number < 800)) return 400;
  if (error_number == 900 || error_number == 901 || error_number == 903) return 403;
  if (error_number == 902) return 429;
  return 500;
}

std::string StatusLine(int status) {
  const char* reason = "Internal Server Error";
  switch (status) {
    case 200:
      reason = "OK";
      break;
    case 303:
      reason = "See Other";
      break;
    case 400:
      reason = "Bad Request";
      break;
    case 403:
      reason = "Forbidden";
      break;
    case 413:
      reason = "Content Too Large";
      break;
    case 415:
      reason = "Unsupported Media Type";
      break;
    case 429:
      reason = "Too Many Requests";
      break;
    case 502:
      reason = "Bad Gateway";
      break;
    default:
      break;
  }
  return "Status: " + std::to_string(status) + " " + reason;
}

std::string PlainMessage(std::string_view html_message) {
  std::string text;
  for (std::size_t i = 0; i < html_message.size(); ++i) {
    const char c = html_message[i];
    if (c == '<') {
      const std::size_t close = html_message.find('>', i);
      if (close == std::string_view::npos) break;
      if (!text.empty() && text.back() != ' ') text.push_back(' ');
      i = close;
    } else {
      text.push_back(c);
    }
  }
  for (const auto& [reference, character] :
       {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}}) {
    ReplaceAll(text, reference, character);
  }
  return Trimmed(text);
}

std::string RenderJsonAnswer(bool ok, std::string_view error, int code, int status) {
  std::string answer = ok ? std::string() : StatusLine(status) + "\n";
  answer += "Content-Type: application/json\n\n";
  if (ok) return answer + "{\"ok\":true}";
  answer += "{\"ok\":false,\"error\":";
  AppendJsonString(answer, error);
  return answer + ",\"code\":" + std::to_string(code) + "}";
}

std::string RenderRedirect(std::string_view location) {
  return StatusLine(303) + "\nLocation: " + std::string(location) + "\n\n";
}

void WriteErrorPageWithStatus(int status, const std::string& message) {
  EndRun({StatusLine(status) + "\n" + RenderErrorPage(message),
          0,
          AnswerKind::kErrorPage,
          ErrorNumber(message),
          message,
          {}});
}

}  // namespace quillo
