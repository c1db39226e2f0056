// The system resolver's MX query behind the network seam, with the Windows
// DNS API; see net.h. DnsQuery_A asks the servers the system is configured
// with and hands back the records already parsed, as a list in message
// order; the answer section is what mail routing reads.
#include <winsock2.h>
// windns.h needs the Windows types that winsock2.h brings in.
#include <windns.h>

#include "platform/net.h"

namespace quillo::platform {

std::optional<std::vector<DnsRecord>> QueryMx(const std::string& domain) {
  PDNS_RECORD found = nullptr;
  const DNS_STATUS status =
      DnsQuery_A(domain.c_str(), DNS_TYPE_MX, DNS_QUERY_STANDARD, nullptr, &found, nullptr);
  if (status != ERROR_SUCCESS) {
    if (found != nullptr) DnsRecordListFree(found, DnsFreeRecordList);
    return std::nullopt;
  }
  std::vector<DnsRecord> records;
  // The list also holds the authority and additional sections' records, after
  // the answer's; a record that is its own successor ends it like the end.
  for (const DNS_RECORD* record = found; record != nullptr;
       record = record->pNext == record ? nullptr : record->pNext) {
    if (record->Flags.S.Section != DnsSectionAnswer) continue;
    DnsRecord entry;
    entry.type = record->wType;
    if (entry.type == kDnsTypeMx) {
      entry.preference = record->Data.MX.wPreference;
      if (record->Data.MX.pNameExchange != nullptr) entry.exchange = record->Data.MX.pNameExchange;
    }
    records.push_back(std::move(entry));
  }
  DnsRecordListFree(found, DnsFreeRecordList);
  return records;
}

}  // namespace quillo::platform
