// The files the wizard opens for the user, the manual and the sample mail
// template, and where it looks for them: in the current folder first, so
// that a copy beside the user's work wins; next to the program, where a
// build or an unpacked archive has them; then in the documentation folder
// of an installation. The search is a function of the folders and of a
// test for existence, so it runs without a file system.
#ifndef QUILLOGEN_SHIPPED_FILES_H_
#define QUILLOGEN_SHIPPED_FILES_H_

#include <functional>
#include <string>
#include <vector>

namespace quillogen {

struct SearchFolders {
  std::string current;  // the current folder
  std::string program;  // the folder that holds the program
  std::string docs;     // the installed documentation folder
};

// A file by the paths it has below the folders: in the current and the
// program's folder it lies as in the source tree, in the documentation folder
// as the installation puts it. A file that comes in several forms lists them
// preferred first.
struct ShippedFile {
  std::string name;                  // what the user is told is missing
  std::vector<std::string> in_tree;  // below the current and the program's folder
  std::vector<std::string> in_docs;  // below the documentation folder
};

// The compiled manual where there is one, else its HTML form.
ShippedFile Manual();
// The sample template that the page 4 button opens.
ShippedFile SampleTemplate();

// Every path where `file` may lie, in the order they are tried: folder by
// folder, and in each folder its forms in order. A folder that is not known
// (empty) is skipped, and a path that two folders share is listed once.
std::vector<std::string> CandidatePaths(const ShippedFile& file, const SearchFolders& folders);

using ExistsFunction = std::function<bool(const std::string& path)>;

// The first candidate path for which `exists` is true, or "" when none is.
std::string FindShippedFile(const ShippedFile& file, const SearchFolders& folders,
                            const ExistsFunction& exists);

// "Cannot find NAME: looked in A, B, C", naming each folder that was
// searched, once, in the order of the search.
std::string NotFoundText(const ShippedFile& file, const SearchFolders& folders);

}  // namespace quillogen

#endif  // QUILLOGEN_SHIPPED_FILES_H_
