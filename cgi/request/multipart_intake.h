// A form sent as multipart/form-data to a site that takes files: read as it
// arrives, its text parts sorted into the request exactly as URL-encoded
// pairs are, its files checked against the site's bounds and types before
// the rest of the post is read.
#pragma once

#include <string>
#include <vector>

#include "core/form_request.h"
#include "core/system.h"
#include "upload/upload_settings.h"

namespace quillo {

// QUILLO_FILES: a line per file, "name (size bytes)", LF between them.
std::string FilesList(const std::vector<Attachment>& attachments);

// Reads the body of request.content_length bytes into the request's fields
// and attachments. Ends the run with ERROR 315 for a body that is no
// multipart/form-data (no boundary, a malformed or truncated body), ERROR
// 306 for text parts past the bound of a URL-encoded body, ERROR 310 for too
// many fields, ERROR 311, 312 or 313 for a file, the files or the post past
// the site's bounds (status 413), ERROR 314 for a file of a type the site
// does not take (status 415).
void ReadMultipartBody(System& system, const UploadSettings& uploads, FormRequest& request);

}  // namespace quillo
