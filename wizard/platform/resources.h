// The wizard's resources, compiled into the program from wizard/res/ and
// looked up by their numeric ids. Each back end finds them where its build
// put them: in the toolkit's resource files, or in the program's own Win32
// resources. Bitmaps and the icon stay with the back end that shows them.
#ifndef QUILLOGEN_PLATFORM_RESOURCES_H_
#define QUILLOGEN_PLATFORM_RESOURCES_H_

#include <map>
#include <string>

#include "resource_tables.h"

namespace quillogen {

class Resources {
 public:
  // Read once, on first use, by the back end.
  static const Resources& Get();

  Resources(std::map<int, std::string> strings, std::map<int, DialogTemplate> dialogs,
            std::map<std::string, std::string> version)
      : strings_(std::move(strings)), dialogs_(std::move(dialogs)), version_(std::move(version)) {}

  // Empty for an unknown id.
  std::string String(int id) const;
  // Throws ResourceError for an unknown id: every page names its own.
  const DialogTemplate& Dialog(int id) const;
  // Empty for an unknown key.
  std::string Version(const std::string& key) const;

 private:
  std::map<int, std::string> strings_;
  std::map<int, DialogTemplate> dialogs_;
  std::map<std::string, std::string> version_;
};

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_RESOURCES_H_
