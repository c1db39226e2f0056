// A small HTTPS client for the services the program calls: one POST, one
// answer, "Connection: close". The certificate and
// the host name are always verified. Every step shares one time bound, and
// the answer's body has a cap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/answer_reader.h"
#include "http/web_address.h"
#include "platform/net.h"

namespace quillo {

struct HttpsOptions {
  std::uint32_t timeout_ms = 5000;  // connect, handshake, request and answer together
  std::string ca_file;              // the roots to trust; empty: the system's
  std::size_t max_answer_bytes = 64 * 1024;
};

struct HttpsResult {
  std::optional<HttpAnswer> answer;  // set when a whole answer came
  // Otherwise why not: the step ("connect", "tls", "send", "answer") and
  // the network's or the reader's words.
  std::string step;
  std::string error;  // "timeout", "refused", "certificate", ... or "broken"
  std::string detail;
};

// What is posted: the body, its type, and header lines of the caller's
// ("Name: value", each the program's own, never a visitor's).
struct HttpBody {
  std::string content_type = "application/x-www-form-urlencoded";
  std::vector<std::string> headers;
  std::string bytes;
};

// The request's bytes: the request line, Host, the body's type and length,
// the caller's headers, "Connection: close", then the body.
std::string FormatPostRequest(const WebAddress& address, const HttpBody& body);

HttpsResult Post(const WebAddress& address, const HttpBody& body, const HttpsOptions& options);

}  // namespace quillo
