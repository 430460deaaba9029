// startup_problems.h: the words for a start-up failure, shared by the show (on standard error,
// beside its message box) and script-check, so that both say the same thing about a line.
#pragma once

#include <string>

#include "driver/script.h"

// Why load_script gave nothing: failed_line as it reported it (0: the file did not open).
std::string script_load_problem(int failed_line);

// Why a layer has no data after start-up tried to load it: an unknown keyword, a missing
// file (found_path as the show looked for it), or a file its loader refused.
std::string layer_load_problem(const Layer& layer, const std::string& found_path);

// "SCRIPT:LINE: error: PROBLEM" (without ":LINE" for line 0), one line with its newline.
std::string problem_line(const std::string& script_path, int line, const std::string& problem);
