// tool_runner.h: runs the built quindle-tool with a command line through the shell and hands
// back its exit status and standard output; standard error is dropped. Owns nothing but the
// text it returns and never looks at the files the tool reads or writes.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

struct ToolRun {
  int code = -1;  // the exit status; -1 when the tool did not exit on its own
  std::string out;
};

inline ToolRun run_tool(const std::string& args) {
  ToolRun r;
  std::FILE* p = popen((std::string(QUINDLE_TOOL) + " " + args + " 2>/dev/null").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}
