// MX lookup and server choice; see mx.h.
#include "smtp/mx.h"

namespace quillo {

std::string DomainOf(const std::string& address) {
  const std::size_t at = address.find('@');
  return at == std::string::npos ? address : address.substr(at + 1);
}

std::optional<MxHosts> ChooseMxHosts(const std::vector<platform::DnsRecord>& records) {
  const platform::DnsRecord* seed = nullptr;
  for (const platform::DnsRecord& record : records) {
    if (record.type == platform::kDnsTypeMx) {
      seed = &record;
      break;
    }
  }
  if (seed == nullptr) return std::nullopt;
  MxHosts hosts{seed->exchange, seed->exchange};
  std::uint16_t best = seed->preference;
  std::uint16_t second = seed->preference;
  for (const platform::DnsRecord& record : records) {
    if (record.type != platform::kDnsTypeMx) continue;
    if (record.preference < best) {
      hosts.primary = record.exchange;
      best = record.preference;
    } else if (record.preference <= second) {
      hosts.secondary = record.exchange;
      second = record.preference;
    }
  }
  return hosts;
}

MxHosts ChooseCandidates(const std::string& server, const MxHosts& looked_up) {
  if (server.empty()) return looked_up;
  return MxHosts{server, looked_up.primary};
}

bool MxResolver::lookupMx(const std::string& address, std::string& primaryHost, std::string& secondaryHost) {
  primaryHost.clear();
  const std::string domain = DomainOf(address);
  if (domain.empty()) return false;
  const auto records = queryMx(domain);
  if (!records) return false;
  const std::optional<MxHosts> hosts = ChooseMxHosts(*records);
  if (!hosts) return false;
  primaryHost = hosts->primary;
  secondaryHost = hosts->secondary;
  return true;
}

std::optional<std::vector<platform::DnsRecord>> MxResolver::queryMx(const std::string& domain) {
  return platform::QueryMx(domain);
}

}  // namespace quillo
