// The webhook's body and signature, as a receiver checks them.
#include "webhook/webhook.h"

#include <gtest/gtest.h>

namespace quillo {
namespace {

TEST(Webhook, TheBodyIsOneJsonObjectAndTheSignatureCoversTimeAndBody) {
  WebhookPost post;
  post.id = 7;
  post.state = "failed";
  post.fields = {{"Name", "J\xC3\xB6"}, {"Note", "a \"b\"\n\xFF"}};
  EXPECT_EQ(
      WebhookBody(post, "2026-12-09T18:00:00Z"),
      "{\"id\":7,\"time\":\"2026-12-09T18:00:00Z\",\"state\":\"failed\",\"fields\":[[\"Name\",\"J\xC3\xB6\"],"
      "[\"Note\",\"a \\\"b\\\"\\n\xEF\xBF\xBD\"]]}");
  post.id.reset();
  post.fields.clear();
  EXPECT_EQ(WebhookBody(post, "T"), "{\"id\":null,\"time\":\"T\",\"state\":\"failed\",\"fields\":[]}");
  // hmac.new(b"hook-secret-0123456789", b"1800000000.{}", hashlib.sha256).hexdigest()
  EXPECT_EQ(WebhookSignature("hook-secret-0123456789", 1800000000, "{}"),
            "t=1800000000,v1=74ef59bd0ed1bdb928bd84f4ec0cae49bcf9bd9998e13caaa8003e0062a6d121");
}

}  // namespace
}  // namespace quillo
