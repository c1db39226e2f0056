#include "shipped_files.h"

#include <algorithm>

namespace quillogen {
namespace {

// A place to look: the folder a candidate lies in, and the candidate.
struct Place {
  std::string folder;
  std::string path;
};

// Appends `relative` to `folder` with one separator between them; both
// separators are taken, as folders on the wizard's home platform may end in
// either.
std::string Join(const std::string& folder, const std::string& relative) {
  if (relative.empty()) return folder;
  if (folder.back() == '/' || folder.back() == '\\') return folder + relative;
  return folder + "/" + relative;
}

// The folder part of a relative path, "" for a bare name.
std::string FolderOf(const std::string& relative) {
  const std::size_t slash = relative.find_last_of('/');
  return slash == std::string::npos ? std::string() : relative.substr(0, slash);
}

std::vector<Place> Places(const ShippedFile& file, const SearchFolders& folders) {
  std::vector<Place> places;
  const auto add = [&places](const std::string& folder, const std::vector<std::string>& names) {
    if (folder.empty()) return;
    for (const std::string& name : names) {
      Place place{Join(folder, FolderOf(name)), Join(folder, name)};
      const bool listed = std::any_of(places.begin(), places.end(),
                                      [&place](const Place& other) { return other.path == place.path; });
      if (!listed) places.push_back(std::move(place));
    }
  };
  add(folders.current, file.in_tree);
  add(folders.program, file.in_tree);
  add(folders.docs, file.in_docs);
  return places;
}

}  // namespace

ShippedFile Manual() {
  return {"manual-en-us.html",
          {"manual-en-us.chm", "manual-en-us.html"},
          {"manual-en-us.chm", "manual-en-us.html"}};
}

ShippedFile SampleTemplate() {
  return {"sample.template", {"tools/wiz/sample.template"}, {"sample.template"}};
}

std::vector<std::string> CandidatePaths(const ShippedFile& file, const SearchFolders& folders) {
  std::vector<std::string> paths;
  for (const Place& place : Places(file, folders)) paths.push_back(place.path);
  return paths;
}

std::string FindShippedFile(const ShippedFile& file, const SearchFolders& folders,
                            const ExistsFunction& exists) {
  for (const std::string& path : CandidatePaths(file, folders)) {
    if (exists(path)) return path;
  }
  return "";
}

std::string NotFoundText(const ShippedFile& file, const SearchFolders& folders) {
  std::vector<std::string> searched;
  for (const Place& place : Places(file, folders)) {
    if (std::find(searched.begin(), searched.end(), place.folder) == searched.end())
      searched.push_back(place.folder);
  }
  std::string text = "Cannot find " + file.name + ": looked in ";
  for (std::size_t i = 0; i < searched.size(); ++i) text += (i == 0 ? "" : ", ") + searched[i];
  return text;
}

}  // namespace quillogen
