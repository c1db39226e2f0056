// The wizard's resources, compiled into the program from wizard/res/ and
// looked up by their numeric ids.
#ifndef QUILLOGEN_PLATFORM_RESOURCES_H_
#define QUILLOGEN_PLATFORM_RESOURCES_H_

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <map>

#include "resource_tables.h"

namespace quillogen {

class Resources {
 public:
  // Parsed once, on first use.
  static const Resources& Get();

  QString String(int id) const;
  // Throws ResourceError for an unknown id: every page names its own.
  const DialogTemplate& Dialog(int id) const;
  QString Version(const std::string& key) const;
  // A null pixmap when the bitmap cannot be loaded; the sheet then runs
  // without that picture.
  static QPixmap Bitmap(int id);
  static QIcon Icon(int id);

 private:
  Resources();
  std::map<int, std::string> strings_;
  std::map<int, DialogTemplate> dialogs_;
  std::map<std::string, std::string> version_;
};

}  // namespace quillogen

#endif  // QUILLOGEN_PLATFORM_RESOURCES_H_
