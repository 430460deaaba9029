// data_files.cpp: the name lookup. Only folders are read (one listing each, kept); the match
// itself never touches the disk except to check that a folder part is a folder.
#include "driver/data_files.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "driver/script.h"

namespace fs = std::filesystem;

namespace {

// ASCII letters fold to lower case; every other byte, 0x80 and above included, stays as it is.
std::string fold_case(const std::string& name) {
  std::string folded = name;
  for (char& c : folded)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return folded;
}

std::vector<std::string> split_parts(const std::string& written) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : written) {
    if (c == '/' || c == '\\') {
      parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  parts.push_back(part);
  return parts;
}

std::string join(const std::string& folder, const std::string& entry) {
  if (folder.empty()) return entry;
  if (folder == "/") return "/" + entry;
  return folder + "/" + entry;
}

// The folder's entries, read on first use. Null when it cannot be read; the reason is noted
// once in files.problems, naming the name that needed it.
const FoldedEntries* folder_entries(DataFiles& files, const std::string& folder, const std::string& written) {
  auto found = files.folders.find(folder);
  if (found != files.folders.end()) return &found->second;
  std::error_code error;
  fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), error);
  if (error) {
    files.problems.push_back("cannot read the folder " + (folder.empty() ? std::string(".") : folder) + " (" +
                             error.message() + ") while looking for " + written);
    files.folders.emplace(folder, FoldedEntries());
    return nullptr;
  }
  FoldedEntries entries;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    const std::string name = it->path().filename().string();
    entries[fold_case(name)].push_back(name);
  }
  for (auto& [folded, names] : entries) std::sort(names.begin(), names.end());
  return &files.folders.emplace(folder, std::move(entries)).first->second;
}

// The matching path, or empty when some part has no match.
std::string match_parts(DataFiles& files, const std::string& written, std::vector<std::string>& candidates) {
  const std::vector<std::string> parts = split_parts(written);
  std::string current = written[0] == '/' || written[0] == '\\' ? "/" : "";
  int depth = 0;  // folders below the starting folder
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (depth == 0) return "";  // the match never leads above where the name starts
      current = fs::path(current).parent_path().string();
      --depth;
      continue;
    }
    const FoldedEntries* entries = folder_entries(files, current, written);
    if (!entries) return "";
    const auto same = entries->find(fold_case(part));
    if (same == entries->end()) return "";
    std::vector<std::string> names;
    const bool last = i + 1 == parts.size();
    for (const std::string& name : same->second) {
      std::error_code error;
      if (last || fs::is_directory(join(current, name), error)) names.push_back(name);
    }
    if (names.empty()) return "";
    const auto exact = std::find(names.begin(), names.end(), part);
    const std::string chosen = exact != names.end() ? *exact : names.front();
    if (names.size() > 1 && candidates.empty())
      for (const std::string& name : names) candidates.push_back(join(current, name));
    current = join(current, chosen);
    ++depth;
  }
  return depth > 0 ? current : "";  // a name of separators and dots names no data file
}

}  // namespace

std::string data_file_path(DataFiles& files, const std::string& written) {
  if (written.empty()) return written;
  const auto known = files.paths.find(written);
  if (known != files.paths.end()) return known->second;
  std::error_code error;
  std::string path = written;
  if (!fs::exists(fs::path(written), error)) {
    std::vector<std::string> candidates;
    const std::string found = match_parts(files, written, candidates);
    if (!found.empty() && found != written) {
      path = found;
      files.matches.push_back({written, found, std::move(candidates)});
    }
  }
  files.paths.emplace(written, path);
  return path;
}

std::string data_file_ambiguity(const DataFileMatch& match) {
  if (match.candidates.size() < 2) return "";
  std::string line = match.written + " matches ";
  for (std::size_t i = 0; i < match.candidates.size(); ++i) {
    if (i) line += i + 1 == match.candidates.size() ? " and " : ", ";
    line += match.candidates[i];
  }
  return line + "; using " + match.found;
}

namespace {

bool names_a_file(const Layer& layer) {
  switch (layer.type) {
    case LAYER_3D_MESH:
    case LAYER_BITMAP:
    case LAYER_IPOL_MESH:
    case LAYER_AVIVIDEO:
    case LAYER_SEQUENCE: return true;
    default: return false;
  }
}

}  // namespace

void resolve_script_files(Script& script, DataFiles& files) {
  script.tune = data_file_path(files, script.tune);
  for (PatternBlock& block : script.blocks)
    for (Layer& layer : block.layers)
      if (names_a_file(layer)) layer.param1 = data_file_path(files, layer.param1);
}

void data_files_report(DataFiles& files, std::FILE* out, const char* prefix) {
  for (; files.matches_reported < files.matches.size(); ++files.matches_reported) {
    const std::string line = data_file_ambiguity(files.matches[files.matches_reported]);
    if (!line.empty()) std::fprintf(out, "%s%s\n", prefix, line.c_str());
  }
  for (; files.problems_reported < files.problems.size(); ++files.problems_reported)
    std::fprintf(out, "%s%s\n", prefix, files.problems[files.problems_reported].c_str());
}
