// startup_problems.h: the words for a start-up failure, shared by the show (on standard error,
// beside its message box) and script-check, so that both say the same thing about a line.
#pragma once

#include <string>

#include "driver/layers.h"
#include "driver/script.h"

// A file or word as the problem lines show it: in double quotes.
std::string quoted(const std::string& text);

// Why load_script gave nothing: failed_line as it reported it (0: the file did not open).
std::string script_load_problem(int failed_line);

// Why a layer has no data after start-up tried to load it, from what its loader reported: an
// unknown keyword, a missing file, or the reason the file's reader refused it. The layer's
// param1 names the file as the message should show it.
std::string layer_load_problem(const Layer& layer, const LayerLoad& load);

// The damage a layer's file loaded with (load.warning), named with the file; "" when none.
std::string layer_load_warning(const Layer& layer, const LayerLoad& load);

// Why the tune cannot be played (the sound library's error code) and what the show does then;
// for a script that names no tune, that it names none.
std::string tune_problem(const std::string& tune, int sound_error);

// "SCRIPT:LINE: SEVERITY: PROBLEM" (without ":LINE" for line 0), one line with its newline.
std::string problem_line(const std::string& script_path, int line, const std::string& problem,
                         const char* severity = "error");
