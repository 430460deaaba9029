// data_files.h: finding the files a script names (its tune, pictures, textures, sequences,
// scenes, videos, and script.txt itself). Shows made on a system whose file names ignore case
// and separate folders with '\' name their files as their authors typed them: "DATA\TITLE.PCX"
// for data/Title.pcx. A name is tried as written first; when nothing is there, '\' counts as a
// folder separator and each part is matched against its folder's entries without regard to
// the case of ASCII letters (other bytes compare exactly). Names are relative to the working
// folder, which must not change while a DataFiles record is in use.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

struct Script;

// A name found other than as written.
struct DataFileMatch {
  std::string written;  // as the script has it: "DATA\TITLE.PCX"
  std::string found;    // the path used: "data/Title.pcx"
  // Every entry that matched the first part with more than one match, in byte order; empty
  // when each part matched once.
  std::vector<std::string> candidates;
};

// A folder's entries by their case-folded names, each with its entries in byte order.
using FoldedEntries = std::map<std::string, std::vector<std::string>>;

// What one start-up has looked up. Each folder is read once; each name is resolved once.
struct DataFiles {
  std::map<std::string, FoldedEntries> folders;  // folder as reached ("" the working folder)
  std::map<std::string, std::string> paths;                 // name as written -> path to open
  std::vector<DataFileMatch> matches;                       // in the order they were found
  std::vector<std::string> problems;  // folders that could not be read, one sentence each
  std::size_t matches_reported = 0;   // data_files_report has written these
  std::size_t problems_reported = 0;
};

// The path to open for a name as written: the name itself when something is there or nothing
// matches it (so the caller's usual failure follows), else the one match, or among several
// the one whose case is exact, else the first in byte order. A name with ".." that would climb
// above the working folder is only ever used as written.
std::string data_file_path(DataFiles& files, const std::string& written);

// One line saying what was chosen among several matches ("DATA\LOGO.PCX matches data/LOGO.PCX
// and data/Logo.pcx; using data/LOGO.PCX"); empty when there was one match.
std::string data_file_ambiguity(const DataFileMatch& match);

// Replaces the tune's name and every file-naming layer's first parameter with the path to open.
void resolve_script_files(Script& script, DataFiles& files);

// Writes each ambiguous choice and unreadable folder not written before, one line each after
// `prefix` ("quindle: "), so that each is said once.
void data_files_report(DataFiles& files, std::FILE* out, const char* prefix);
