// What the site's [store] section says.
#pragma once

#include <cstdint>
#include <string>

namespace quillo {

struct StoreSettings {
  std::string path;  // the database; empty: no store
  // A post whose mail failed but which is stored gets the success answer.
  bool answer_success_when_stored = false;
  bool keep_spam = false;  // store posts refused as spam, never to be mailed
  std::uint32_t give_up_after_seconds = 3 * 24 * 3600;
  std::uint32_t retention_days = 0;  // 0: kept until purged by hand
};

// How long a post waits for the store's lock; within any delivery deadline.
constexpr std::uint32_t kStoreBusyTimeoutMs = 5000;

}  // namespace quillo
