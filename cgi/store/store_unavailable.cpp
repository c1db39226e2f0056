// A build without SQLite: the settings refuse [store], so nothing opens one.
#include "store/submission_store.h"

namespace quillo {

const bool kStoreBuilt = false;

OpenedStore OpenSubmissionStore(const std::string& /*path*/, std::uint32_t /*busy_timeout_ms*/,
                                bool /*create*/) {
  return {nullptr, "this build keeps no store"};
}

}  // namespace quillo
