// The reject list of unwanted senders: a file of address fragments, one a
// line, matched whatever their case and the white space around them.
#pragma once

#include <string>
#include <string_view>

#include "core/system.h"

namespace quillo {

// Whether an entry of the reject-list text occurs in the address, ignoring
// case and the white space around entries.
bool RejectTextLists(std::string_view list_text, std::string_view address);

// Reads the reject list at path (ERROR 600 when unreadable) unless the
// address is empty, and tells whether it lists the address.
bool MatchRejectList(const FileReader& files, const std::string& path, std::string_view address);

}  // namespace quillo
