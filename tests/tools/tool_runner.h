// tool_runner.h: runs the built quindle-tool with a command line through the shell and hands
// back its exit status, standard output and standard error. Owns nothing but the text it
// returns and never looks at the files the tool reads or writes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

struct ToolRun {
  int code = -1;  // the exit status; -1 when the tool did not exit on its own
  std::string out;
  std::string err;
};

inline ToolRun run_tool(const std::string& args) {
  ToolRun r;
  char err_path[] = "/tmp/quindle_tool_stderr_XXXXXX";
  const int err_fd = mkstemp(err_path);
  if (err_fd < 0) return r;
  close(err_fd);
  std::FILE* p = popen((std::string(QUINDLE_TOOL) + " " + args + " 2>" + err_path).c_str(), "r");
  if (p) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::ifstream err(err_path, std::ios::binary);
  r.err.assign(std::istreambuf_iterator<char>(err), {});
  std::remove(err_path);
  return r;
}
