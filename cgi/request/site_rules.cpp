// Decisions by the site's settings; see site_rules.h.
#include "request/site_rules.h"

#include <algorithm>
#include <cstdio>
#include <deque>

namespace quillo {
namespace {

// REMOTE_ADDR as the state file keeps it: address characters only, so that
// no value can add a line or a field.
std::string RateKey(std::string_view remote_addr) {
  std::string key;
  for (char c : remote_addr.substr(0, 64)) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == ':')
      key.push_back(c);
  }
  return key.empty() ? "-" : key;
}

// Days since 1970-01-01 as a civil date, for any clock and any platform.
void CivilFromDays(long long days, int& year, int& month, int& day) {
  days += 719468;
  const long long era = (days >= 0 ? days : days - 146096) / 146097;
  const long long day_of_era = days - era * 146097;
  const long long year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const long long shifted_month = (5 * day_of_year + 2) / 153;
  day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
}

std::string UtcStamp(std::time_t now) {
  const long long seconds = static_cast<long long>(now);
  const long long days = (seconds >= 0 ? seconds : seconds - 86399) / 86400;
  const long long in_day = seconds - days * 86400;
  int year = 0, month = 0, day = 0;
  CivilFromDays(days, year, month, day);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02lld:%02lld:%02lldZ", year, month, day, in_day / 3600,
                in_day / 60 % 60, in_day % 60);
  return stamp;
}

std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
    if (c == '"') c = '\'';
  }
  return line;
}

}  // namespace

std::string MailCharset(const SiteSettings& site, std::string_view form_charset) {
  if (!site.charset.empty() && site.charset != "form") return site.charset;
  const std::string from_form = LowerCopy(Trimmed(form_charset));
  return IsMailCharset(from_form) ? from_form : "iso-8859-1";
}

std::optional<std::string> ExpandAliases(const SiteSettings& site, TextList& recipients) {
  TextList addresses;
  for (const std::string& entry : recipients) {
    const Alias* alias = FindAlias(site, entry);
    if (alias == nullptr) return LowerCopy(entry);
    for (const std::string& address : alias->addresses) {
      if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
        addresses.push_back(address);
    }
  }
  recipients = std::move(addresses);
  return std::nullopt;
}

std::string RefererHost(std::string_view referer) {
  const std::string lower = LowerCopy(Trimmed(referer));
  const std::size_t scheme_end = lower.find("://");
  if (scheme_end == std::string::npos) return {};
  const std::string scheme = lower.substr(0, scheme_end);
  if (scheme != "http" && scheme != "https") return {};
  std::string authority =
      lower.substr(scheme_end + 3, lower.find_first_of("/?#", scheme_end + 3) - scheme_end - 3);
  const std::size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  if (!authority.empty() && authority.front() == '[') return authority.substr(0, authority.find(']') + 1);
  return authority.substr(0, authority.find(':'));
}

bool RefererAllowed(const SiteSettings& site, std::string_view referer) {
  if (!site.referers) return true;
  if (Trimmed(referer).empty()) return site.allow_empty_referer;
  const std::string host = RefererHost(referer);
  return !host.empty() &&
         std::find(site.referers->begin(), site.referers->end(), host) != site.referers->end();
}

RateDecision CountPost(std::string_view state, std::string_view remote_addr, std::time_t now,
                       const RateLimit& limit) {
  const std::string key = RateKey(remote_addr);
  std::deque<std::pair<long long, std::string>> entries;
  std::size_t from = 0;
  while (from < state.size()) {
    std::size_t end = state.find('\n', from);
    if (end == std::string_view::npos) end = state.size();
    const std::string line(state.substr(from, end - from));
    from = end + 1;
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) continue;
    const long long when = std::strtoll(line.c_str(), nullptr, 10);
    // Entries from the future are a clock that was set back: they expire too.
    if (when <= now - limit.window_seconds || when > now) continue;
    entries.emplace_back(when, line.substr(blank + 1));
    if (entries.size() > kMaxRateEntries) entries.pop_front();
  }
  const auto posts =
      std::count_if(entries.begin(), entries.end(), [&](const auto& e) { return e.second == key; });
  RateDecision decision;
  decision.allowed = posts < limit.posts;
  if (decision.allowed) {
    entries.emplace_back(static_cast<long long>(now), key);
    if (entries.size() > kMaxRateEntries) entries.pop_front();
  }
  for (const auto& [when, address] : entries) decision.state += std::to_string(when) + " " + address + "\n";
  return decision;
}

std::string FormatLogLine(std::time_t now, std::string_view remote_addr, const RunRecord& record) {
  std::string address = remote_addr.empty() ? "-" : OneLine(remote_addr.substr(0, 64));
  std::replace(address.begin(), address.end(), ' ', '?');
  std::string line = UtcStamp(now) + " " + address + " " + record.outcome +
                     " recipients=" + std::to_string(record.recipients);
  if (record.failure) {
    line += " step=" + OneLine(record.failure->step) + " host=" + OneLine(record.failure->host) +
            " reply=\"" + OneLine(record.failure->reply) + "\"";
  }
  return line;
}

}  // namespace quillo
