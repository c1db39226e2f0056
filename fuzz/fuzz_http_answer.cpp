// Fuzz target: the HTTP answer reader. The answer read whole and the same
// bytes fed in two pieces, split where the first byte says, must agree; a
// body never passes the cap.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "http/answer_reader.h"

using namespace quillo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kCap = 256;
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t split = data[0] % (bytes.size() + 1);
  HttpAnswerReader whole(kCap);
  HttpAnswerReader pieces(kCap);
  whole.Feed(bytes);
  pieces.Feed(bytes.substr(0, split));
  pieces.Feed(bytes.substr(split));
  if (data[0] & 1) {
    whole.FeedClose();
    pieces.FeedClose();
  }
  if (whole.state() != pieces.state() || whole.problem() != pieces.problem()) std::abort();
  if (whole.state() != HttpAnswerReader::State::kBroken &&
      (whole.answer().body != pieces.answer().body || whole.answer().status != pieces.answer().status))
    std::abort();
  if (whole.answer().body.size() > kCap) std::abort();
  return 0;
}
