// What the site takes with its forms: [uploads] of quillopro.ini. Without
// the section a form sent as multipart/form-data is refused as it always was.
#pragma once

#include <cstddef>

#include "core/text.h"

namespace quillo {

struct UploadSettings {
  bool enabled = false;  // the section is there
  // One file as large as a document with pictures gets, and the message
  // below the 14 MB that common relays take once base64 has grown every file
  // by a third: 10 MB of files make a message of about 13.7 MB.
  std::size_t max_file_size = 10 * 1024 * 1024;
  std::size_t max_files = 5;
  std::size_t max_total_size = 10 * 1024 * 1024;
  // The extensions a form may send, lower case; each has a type the first
  // bytes of a file are checked against (see file_checks.h).
  TextList allowed_types = {"pdf", "png",  "jpg",  "gif", "webp", "txt",
                            "csv", "docx", "xlsx", "odt", "ods",  "zip"};
  // The built-in layouts list the files after the fields.
  bool list_files = false;
};

}  // namespace quillo
