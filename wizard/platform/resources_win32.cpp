// The resources from the program's own Win32 resources, which the build
// generates from wizard/res: the string table, and the page templates and
// version texts as raw data.
#include <windows.h>

#include "resources.h"

namespace quillogen {
namespace {

// The string table is stored in blocks of sixteen; a block's name is its
// number plus one.
constexpr int kStringsPerBlock = 16;
// Longer than any text of the table.
constexpr int kLongestString = 4096;

BOOL CALLBACK CollectBlock(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR found) {
  (void)type;
  if (!IS_INTRESOURCE(name)) return TRUE;
  auto& strings = *reinterpret_cast<std::map<int, std::string>*>(found);
  const int first = (static_cast<int>(reinterpret_cast<ULONG_PTR>(name)) - 1) * kStringsPerBlock;
  for (int id = first; id < first + kStringsPerBlock; ++id) {
    char text[kLongestString];
    const int length = LoadStringA(module, static_cast<UINT>(id), text, sizeof text);
    if (length > 0) strings[id] = std::string(text, static_cast<std::size_t>(length));
  }
  return TRUE;
}

std::map<int, std::string> StringTable() {
  std::map<int, std::string> strings;
  EnumResourceNamesA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(6) /* RT_STRING */, CollectBlock,
                     reinterpret_cast<LONG_PTR>(&strings));
  return strings;
}

std::string RawData(const char* name) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) throw ResourceError(std::string("missing resource ") + name);
  return std::string(static_cast<const char*>(bytes), SizeofResource(module, found));
}

}  // namespace

const Resources& Resources::Get() {
  static const Resources resources(StringTable(), ParseDialogTemplates(RawData("DIALOGS")),
                                   ParseKeyedTexts(RawData("VERSION_TEXTS")));
  return resources;
}

}  // namespace quillogen
