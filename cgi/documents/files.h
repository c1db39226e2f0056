// Reading the site's files: documents, templates and lists, each read whole
// as the program has always read documents.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/system.h"

namespace quillo {

// Documents, templates and lists are the site's own small files; a larger
// one is refused rather than held in memory (a name can point at a huge file).
constexpr std::size_t kMaxDocumentBytes = 16 * 1024 * 1024;

// The site's files as the run reads them, over the system's.
//
// For what a form names (documents, templates, lists): none of the
// program's own files is read, whatever name reaches it (compared by the
// identity of the file opened: a link, another case, a short name or a
// trailing dot opens the same file), and no file that holds a private key.
// Either is FileStatus::kProtected.
//
// With the site's settings, pages name a file by its name alone: the
// server's paths are no business of a visitor's.
class SiteFiles : public FileReader {
 public:
  // The program's own files, read as they are.
  SiteFiles(const FileReader& files, bool hide_paths);
  // What a form may name: never one of protected_paths.
  SiteFiles(const FileReader& files, bool hide_paths, const std::vector<std::string>& protected_paths);

  FileText ReadTextFile(const std::string& path, std::size_t max_bytes) const override;
  std::optional<FileIdentity> IdentityOf(const std::string& path) const override;
  std::string ShownPath(const std::string& path) const override;

 private:
  const FileReader& files_;
  bool hide_paths_;
  bool guarded_ = false;
  std::vector<FileIdentity> protected_;
};

// The last part of a path: what follows its last "/" or "\".
std::string FileNameOf(std::string_view path);

// Whether a text holds a PEM private key (PKCS #1, PKCS #8, EC, encrypted).
bool HoldsPrivateKey(std::string_view text);

// A file's text as documents are read: 16383-byte line pieces, each ending at
// its first NUL byte.
std::string DocumentText(std::string_view file_text);

// A site file read whole in text mode, or nothing when there is no such
// file. Ends the run with ERROR 600 when the file is there but cannot be
// read (not a regular file, no permission), with ERROR 601 when it is
// larger than kMaxDocumentBytes and with ERROR 705 when it is protected.
std::optional<std::string> ReadSiteFile(const FileReader& files, const std::string& path);

// The whole document as DocumentText reads it; ends the run with ERROR 600
// when it is missing too.
std::string ReadDocumentFile(const FileReader& files, const std::string& path);

}  // namespace quillo
