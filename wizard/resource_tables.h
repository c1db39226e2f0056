// The wizard's resources as data: the string table, the version texts and
// the page templates (wizard/res/*.txt), parsed without any user interface.
#ifndef QUILLOGEN_RESOURCE_TABLES_H_
#define QUILLOGEN_RESOURCE_TABLES_H_

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillogen {

// A malformed table is a build fault, not a user's; it is reported with its
// line number.
class ResourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class ControlKind { kStatic, kGroup, kEdit, kCheck, kButton, kCombo, kSeparator };

// A rectangle in dialog units.
struct DialogRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

constexpr int kNoId = -1;

struct ControlTemplate {
  int tab = 0;     // position in the tab order, from 1
  int id = kNoId;  // kNoId for controls without an id of their own
  ControlKind kind = ControlKind::kStatic;
  DialogRect rect;
  std::string text;  // for combo boxes: the initial items, separated by "|"
};

struct DialogTemplate {
  int id = 0;
  int width = 0;                          // dialog units
  int height = 0;                         // dialog units
  std::vector<ControlTemplate> controls;  // in tab order
};

// "KEY "TEXT"" lines; KEY is returned as written.
std::map<std::string, std::string> ParseKeyedTexts(const std::string& table);

// The string table: numeric ids to texts.
std::map<int, std::string> ParseStringTable(const std::string& table);

// The page templates by dialog id.
std::map<int, DialogTemplate> ParseDialogTemplates(const std::string& table);

// Splits a combo box's item list.
std::vector<std::string> SplitItems(const std::string& items);

// The dialog font's base units: its average character width and its height
// in pixels, as the dialog manager measures them.
struct DialogBaseUnits {
  int x = 0;
  int y = 0;
};

// A rectangle in pixels.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// Horizontal dialog units are quarters of the average character width,
// vertical ones eighths of the character height, rounded to the nearest pixel.
PixelRect DialogUnitsToPixels(const DialogRect& rect, DialogBaseUnits base);

// The horizontal base unit from the width of "A".."Z" and "a".."z" set in the
// dialog font: the average width of a character, rounded half up.
int AverageCharWidth(int width_of_52_letters);

}  // namespace quillogen

#endif  // QUILLOGEN_RESOURCE_TABLES_H_
