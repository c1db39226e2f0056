// The resources from the toolkit's resource files under :/res, which the
// build compiles from wizard/res.
#include <QFile>
#include <QString>

#include "resources.h"

namespace quillogen {
namespace {

std::string ReadResource(const QString& name) {
  QFile file(QStringLiteral(":/res/") + name);
  if (!file.open(QIODevice::ReadOnly)) throw ResourceError("missing resource " + name.toStdString());
  return file.readAll().toStdString();
}

}  // namespace

const Resources& Resources::Get() {
  static const Resources resources(ParseStringTable(ReadResource(QStringLiteral("strings.txt"))),
                                   ParseDialogTemplates(ReadResource(QStringLiteral("dialogs.txt"))),
                                   ParseKeyedTexts(ReadResource(QStringLiteral("version.txt"))));
  return resources;
}

}  // namespace quillogen
