#include "resources.h"

#include <QFile>

namespace quillogen {
namespace {

std::string ReadResource(const QString& name) {
  QFile file(QStringLiteral(":/res/") + name);
  if (!file.open(QIODevice::ReadOnly)) throw ResourceError("missing resource " + name.toStdString());
  return file.readAll().toStdString();
}

}  // namespace

Resources::Resources()
    : strings_(ParseStringTable(ReadResource(QStringLiteral("strings.txt")))),
      dialogs_(ParseDialogTemplates(ReadResource(QStringLiteral("dialogs.txt")))),
      version_(ParseKeyedTexts(ReadResource(QStringLiteral("version.txt")))) {}

const Resources& Resources::Get() {
  static const Resources resources;
  return resources;
}

QString Resources::String(int id) const {
  const auto found = strings_.find(id);
  return found == strings_.end() ? QString() : QString::fromUtf8(found->second.c_str());
}

const DialogTemplate& Resources::Dialog(int id) const {
  const auto found = dialogs_.find(id);
  if (found == dialogs_.end()) throw ResourceError("no dialog template " + std::to_string(id));
  return found->second;
}

QString Resources::Version(const std::string& key) const {
  const auto found = version_.find(key);
  return found == version_.end() ? QString() : QString::fromUtf8(found->second.c_str());
}

QPixmap Resources::Bitmap(int id) { return QPixmap(QStringLiteral(":/res/bitmap%1.bmp").arg(id)); }

QIcon Resources::Icon(int id) { return QIcon(QStringLiteral(":/res/icon%1.ico").arg(id)); }

}  // namespace quillogen
