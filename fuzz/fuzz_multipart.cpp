// Fuzz target: the multipart/form-data reader. The body fed whole and fed
// in pieces, cut where the first byte says, must give the same parts and
// the same verdict; no part header passes its bounds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "upload/multipart_reader.h"

using namespace quillo;

namespace {

class Parts : public MultipartSink {
 public:
  std::vector<std::string> parts;
  void StartPart(const PartHeaders& headers) override {
    if (headers.name.size() > kMaxPartHeaderLine) std::abort();
    parts.push_back(headers.name + '\0' + headers.filename.value_or("-") + '\0');
  }
  void PartBytes(std::string_view bytes) override {
    if (parts.empty()) std::abort();  // bytes only inside a part
    parts.back().append(bytes);
  }
  void EndPart() override { parts.back().push_back('\1'); }
};

MultipartProblem Read(std::string_view body, std::size_t piece, Parts& parts) {
  MultipartReader reader("b0", parts);
  for (std::size_t at = 0; at < body.size(); at += piece) reader.Feed(body.substr(at, piece));
  reader.Finish();
  return reader.problem();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view body(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t piece = data[0] % 16 + 1;
  Parts whole;
  Parts pieces;
  const MultipartProblem whole_problem = Read(body, body.size() + 1, whole);
  if (Read(body, piece, pieces) != whole_problem) std::abort();
  if (whole_problem == MultipartProblem::kNone && whole.parts != pieces.parts) std::abort();
  BoundaryOf(body);
  return 0;
}
