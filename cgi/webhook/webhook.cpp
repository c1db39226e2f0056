// The webhook; see webhook.h.
#include "webhook/webhook.h"

#include <nlohmann/json.hpp>

#include "core/text.h"
#include "http/https_client.h"
#include "platform/crypto.h"

namespace quillo {

std::string WebhookBody(const WebhookPost& post, std::string_view time_stamp) {
  nlohmann::ordered_json body;
  body["id"] = post.id ? nlohmann::ordered_json(*post.id) : nlohmann::ordered_json(nullptr);
  body["time"] = time_stamp;
  body["state"] = post.state;
  nlohmann::ordered_json fields = nlohmann::ordered_json::array();
  for (const auto& [name, value] : post.fields) fields.push_back({name, value});
  body["fields"] = std::move(fields);
  // A value that is not UTF-8 after all is mended, never a reason to throw.
  return body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string WebhookSignature(std::string_view secret, std::time_t when, std::string_view body) {
  const std::string stamp = std::to_string(when);
  return "t=" + stamp + ",v1=" + HexOf(platform::HmacSha256(secret, stamp + "." + std::string(body)));
}

WebhookOutcome SendWebhook(const WebhookSettings& settings, const WebhookPost& post,
                           std::string_view time_stamp, std::time_t now) {
  const std::optional<WebAddress> address = ParseHttpsAddress(settings.url);
  if (!address) return {false, "not an https address"};
  HttpBody body;
  body.content_type = "application/json";
  body.bytes = WebhookBody(post, time_stamp);
  body.headers.push_back("X-Quillo-Signature: " + WebhookSignature(settings.secret, now, body.bytes));
  HttpsOptions options;
  options.timeout_ms = settings.timeout_ms;
  options.ca_file = settings.tls_ca_file;
  const HttpsResult result = Post(*address, body, options);
  if (!result.answer)
    return {false, result.step + " " + address->host + ": " + result.error + " " + result.detail};
  if (result.answer->status < 200 || result.answer->status > 299)
    return {false, address->host + " answered HTTP " + std::to_string(result.answer->status)};
  return {true, {}};
}

}  // namespace quillo
