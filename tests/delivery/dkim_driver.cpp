// Test driver for the DKIM verification tests: signs a message the way the
// program does and prints the signed message on standard output.
//
//   dkim_driver KEY_FILE DOMAIN SELECTOR TIME < message
//     reads the message, normalizes its lines as they go on the wire,
//     prints the DKIM-Signature header and then those lines; exit status 1
//     when nothing signs it, 2 on a usage error.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "delivery/dkim.h"
#include "smtp/wire.h"

namespace {

constexpr int kNotSigned = 1;
constexpr int kUsage = 2;

std::string ReadAll(std::istream& in) {
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: dkim_driver KEY_FILE DOMAIN SELECTOR TIME < message\n";
    return kUsage;
  }
  std::ifstream key_file(argv[1], std::ios::binary);
  if (!key_file) {
    std::cerr << "dkim_driver: cannot read " << argv[1] << "\n";
    return kUsage;
  }
  const quillo::DkimKey key{argv[2], argv[3], ReadAll(key_file)};
  const std::time_t now = static_cast<std::time_t>(std::strtoll(argv[4], nullptr, 10));
  const std::string message = quillo::NormalizeDataLines(ReadAll(std::cin));
  const std::optional<std::string> header = quillo::DkimSignatureHeader(message, key, now);
  if (!header) {
    std::cerr << "dkim_driver: not signed\n";
    return kNotSigned;
  }
  std::cout << *header << message;
  return 0;
}
