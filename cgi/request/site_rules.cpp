// Decisions by the site's settings; see site_rules.h.
#include "request/site_rules.h"

#include <algorithm>
#include <cstdio>
#include <deque>

namespace quillo {
namespace {

// The posts counted together once the table is full.
constexpr std::string_view kSharedKey = "*";

std::optional<std::uint32_t> ParseIpv4(std::string_view text) {
  std::uint32_t address = 0;
  int parts = 0;
  std::size_t at = 0;
  while (parts < 4) {
    const std::size_t start = at;
    unsigned value = 0;
    while (at < text.size() && at - start < 3 && text[at] >= '0' && text[at] <= '9')
      value = value * 10 + static_cast<unsigned>(text[at++] - '0');
    if (at == start || value > 255) return std::nullopt;
    address = (address << 8) | value;
    if (++parts < 4) {
      if (at >= text.size() || text[at] != '.') return std::nullopt;
      ++at;
    }
  }
  if (at != text.size()) return std::nullopt;
  return address;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string HexGroup(std::uint16_t group) {
  char text[8];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(group));
  return text;
}

}  // namespace

std::optional<std::array<std::uint16_t, 8>> ParseIpv6(std::string_view text) {
  text = text.substr(0, text.find('%'));  // a zone names the interface, not the host
  std::array<std::uint16_t, 8> groups{};
  std::size_t count = 0;
  std::optional<std::size_t> gap;  // where "::" stands, in groups
  std::size_t at = 0;
  if (text.compare(0, 2, "::") == 0) {
    gap = 0;
    at = 2;
  }
  while (at < text.size()) {
    // An IPv4 address may end it (RFC 4291 2.2 (3)).
    const std::size_t next_colon = text.find(':', at);
    if (next_colon == std::string_view::npos && text.find('.', at) != std::string_view::npos) {
      const std::optional<std::uint32_t> ipv4 = ParseIpv4(text.substr(at));
      if (!ipv4 || count + 2 > 8) return std::nullopt;
      groups[count++] = static_cast<std::uint16_t>(*ipv4 >> 16);
      groups[count++] = static_cast<std::uint16_t>(*ipv4 & 0xFFFF);
      at = text.size();
      break;
    }
    unsigned value = 0;
    const std::size_t start = at;
    for (; at < text.size() && at - start < 4 && HexValue(text[at]) >= 0; ++at)
      value = value * 16 + static_cast<unsigned>(HexValue(text[at]));
    if (at == start || count == 8) return std::nullopt;
    groups[count++] = static_cast<std::uint16_t>(value);
    if (at == text.size()) break;
    if (text[at] != ':') return std::nullopt;
    ++at;
    if (at < text.size() && text[at] == ':') {
      if (gap) return std::nullopt;
      gap = count;
      ++at;
    } else if (at == text.size()) {
      return std::nullopt;  // a single ":" at the end
    }
  }
  if (gap) {
    if (count == 8) return std::nullopt;
    const std::size_t moved = count - *gap;
    std::copy_backward(groups.begin() + static_cast<std::ptrdiff_t>(*gap),
                       groups.begin() + static_cast<std::ptrdiff_t>(count), groups.end());
    std::fill(groups.begin() + static_cast<std::ptrdiff_t>(*gap),
              groups.end() - static_cast<std::ptrdiff_t>(moved), std::uint16_t{0});
  } else if (count != 8) {
    return std::nullopt;
  }
  return groups;
}

std::string RateKey(std::string_view remote_addr) {
  if (const auto ipv6 = ParseIpv6(remote_addr)) {
    const std::array<std::uint16_t, 8>& g = *ipv6;
    // An IPv4 address written as IPv6 (::ffff:192.0.2.7) is that address.
    if (g[0] == 0 && g[1] == 0 && g[2] == 0 && g[3] == 0 && g[4] == 0 && g[5] == 0xFFFF) {
      return std::to_string(g[6] >> 8) + "." + std::to_string(g[6] & 0xFF) + "." + std::to_string(g[7] >> 8) +
             "." + std::to_string(g[7] & 0xFF);
    }
    return HexGroup(g[0]) + ":" + HexGroup(g[1]) + ":" + HexGroup(g[2]) + ":" + HexGroup(g[3]) + "::/64";
  }
  std::string key;
  for (char c : remote_addr.substr(0, 64)) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == ':')
      key.push_back(c);
  }
  return key.empty() ? "-" : key;
}

namespace {

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

// A field of the log line that a blank would split.
std::string NoBlanks(std::string text) {
  std::replace(text.begin(), text.end(), ' ', '?');
  return text;
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
  // The shared count has room for its own posts; the addresses share the rest.
  const std::size_t shared_room =
      std::min<std::size_t>(static_cast<std::size_t>(limit.posts), kMaxRateEntries / 2);
  const std::size_t address_room = kMaxRateEntries - shared_room;
  std::deque<std::pair<long long, std::string>> addresses, shared;
  for (std::string_view state_line : Lines(state)) {
    const std::string line(state_line);
    // "SECONDS KEY": anything else is not a line this program wrote.
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos || blank + 1 == line.size() ||
        line.find(' ', blank + 1) != std::string::npos)
      continue;
    const long long when = std::strtoll(line.c_str(), nullptr, 10);
    // Entries from the future are a clock that was set back: they expire too.
    if (when <= now - limit.window_seconds || when > now) continue;
    std::string key = line.substr(blank + 1);
    auto& entries = key == kSharedKey ? shared : addresses;
    entries.emplace_back(when, std::move(key));
    // A file fuller than this program writes it keeps its newest lines.
    if (entries.size() > (&entries == &shared ? shared_room : address_room)) entries.pop_front();
  }
  const auto posts_of = [](const auto& entries, std::string_view key) {
    return std::count_if(entries.begin(), entries.end(), [&](const auto& e) { return e.second == key; });
  };
  // Once the table is full, a post that finds no room is counted in the
  // shared count: a flood of new addresses cannot push out the counts of
  // others, and gets the limit's posts in all.
  std::string key = RateKey(remote_addr);
  const bool room = addresses.size() < address_room;
  RateDecision decision;
  decision.allowed = posts_of(addresses, key) < limit.posts;
  if (decision.allowed && !room) {
    key = kSharedKey;
    decision.allowed = static_cast<std::size_t>(posts_of(shared, key)) < shared_room;
  }
  if (decision.allowed) (room ? addresses : shared).emplace_back(static_cast<long long>(now), key);
  for (const auto* entries : {&addresses, &shared}) {
    for (const auto& [when, address] : *entries)
      decision.state += std::to_string(when) + " " + address + "\n";
  }
  return decision;
}

std::string FormatLogLine(std::time_t now, std::string_view remote_addr, const RunRecord& record) {
  std::string address = remote_addr.empty() ? "-" : OneLine(remote_addr.substr(0, 64));
  std::replace(address.begin(), address.end(), ' ', '?');
  std::string line = UtcStamp(now) + " " + address + " " + record.outcome +
                     " recipients=" + std::to_string(record.recipients);
  if (!record.reply.empty()) line += " reply=" + record.reply;
  if (!record.captcha.empty()) line += " captcha=" + record.captcha;
  if (!record.captcha_codes.empty()) line += " error-codes=" + NoBlanks(OneLine(record.captcha_codes));
  if (!record.captcha_detail.empty()) line += " detail=\"" + OneLine(record.captcha_detail) + "\"";
  const auto note = [](const DeliveryNote& n) {
    std::string said = " step=" + NoBlanks(OneLine(n.step)) + " host=" + NoBlanks(OneLine(n.host)) +
                       " reply=\"" + OneLine(n.reply) + "\"";
    if (n.code != 0) said += " code=" + std::to_string(n.code);
    if (n.error == kMessageTooLarge) {
      said += " error=\"" + std::string(kMessageTooLarge) + "\"";
    } else if (n.code == 0 && !n.error.empty()) {
      said += " error=" + NoBlanks(OneLine(n.error));
    }
    if (!n.step.empty()) said += n.permanent ? " failure=permanent" : " failure=temporary";
    return said;
  };
  if (record.failure) line += note(*record.failure);
  const std::vector<DeliveryNote>& undelivered = record.undelivered;
  if (undelivered.size() > 1 || (undelivered.size() == 1 && !record.failure)) {
    line += " undelivered=" + std::to_string(undelivered.size());
    for (std::size_t i = 0; i < undelivered.size() && i < kMaxLoggedRecipients; ++i)
      line += " to=<" + NoBlanks(OneLine(undelivered[i].recipient)) + ">" + note(undelivered[i]);
  }
  line += " settings=" +
          (record.settings_file.empty() ? std::string("none") : NoBlanks(OneLine(record.settings_file)));
  return line + " transport=" + record.transport;
}

bool NeedsAttention(const RunRecord& record) {
  return !record.success || record.reply == "failed" || !record.undelivered.empty();
}

}  // namespace quillo
