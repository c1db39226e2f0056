// The portable part of the network seam; see net.h.
#include "platform/net.h"

#include <map>
#include <utility>

namespace quillo::platform {

NetStatus ResolveIPv4(const std::string& host, Ipv4Address& address) {
  if (host.empty()) return {NetError::kNotFound, "no host name"};
  // Every recipient's connection binds the same local name, often to the
  // same server, and with a silent resolver every lookup costs its whole
  // time-out: a name is looked up once a run, its answer kept, failures too.
  static std::map<std::string, std::pair<NetStatus, Ipv4Address>> looked_up;
  auto known = looked_up.find(host);
  if (known == looked_up.end()) {
    Ipv4Address found;
    NetStatus status = LookUpIPv4(host, found);
    known = looked_up.emplace(host, std::make_pair(std::move(status), found)).first;
  }
  address = known->second.second;
  return known->second.first;
}

}  // namespace quillo::platform
