// Which hosts get a recipient's mail: the MX records of the recipient's
// domain, and a configured server that takes precedence over them.
//
// The choice over the answer's records is a pure function: the primary host
// is the earliest record with the lowest preference; the secondary starts at
// the first MX record and moves to later records whose preference is not
// better than the best so far and not worse than its own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/net.h"

namespace quillo {

struct MxHosts {
  std::string primary;
  std::string secondary;
};

// The domain of an address: what follows its first "@", or the whole address
// when it has none.
std::string DomainOf(const std::string& address);

// The two hosts over an answer's records in answer order; records of other
// types are skipped, the first MX record seeds both. Nothing without MX.
std::optional<MxHosts> ChooseMxHosts(const std::vector<platform::DnsRecord>& records);

// The hosts to try in order: a configured server first, then the looked-up
// primary; without a server the looked-up pair as it is.
MxHosts ChooseCandidates(const std::string& server, const MxHosts& looked_up);

// One MX lookup per recipient through the system resolver.
class MxResolver {
 public:
  virtual ~MxResolver() = default;

  // Empties primaryHost; when the domain's MX answer could be processed,
  // sets both hosts and returns true. Otherwise secondaryHost keeps its value.
  bool lookupMx(const std::string& address, std::string& primaryHost, std::string& secondaryHost);

 protected:
  // The answer's records for domain; nothing on any resolver error.
  virtual std::optional<std::vector<platform::DnsRecord>> queryMx(const std::string& domain);
};

}  // namespace quillo
