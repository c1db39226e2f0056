// Reading the site's files: documents, templates and lists, each read whole
// as the program has always read documents.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/system.h"

namespace quillo {

// Documents, templates and lists are the site's own small files; a larger
// one is refused rather than held in memory (a name can point at a huge file).
constexpr std::size_t kMaxDocumentBytes = 16 * 1024 * 1024;

// A file's text as documents are read: 16383-byte line pieces, each ending at
// its first NUL byte.
std::string DocumentText(std::string_view file_text);

// A site file read whole in text mode, or nothing when there is no such
// file. Ends the run with ERROR 600 when the file is there but cannot be
// read (not a regular file, no permission) and with ERROR 601 when it is
// larger than kMaxDocumentBytes.
std::optional<std::string> ReadSiteFile(const FileReader& files, const std::string& path);

// The whole document as DocumentText reads it; ends the run with ERROR 600
// when it is missing too.
std::string ReadDocumentFile(const FileReader& files, const std::string& path);

}  // namespace quillo
