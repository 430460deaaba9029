// stderr_pipe.h: what a piece of code writes to standard error, read back through a pipe. A
// thread drains the pipe while the code runs, so long output cannot fill it and block.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>

class StderrPipe {
 public:
  StderrPipe() {
    std::fflush(stderr);
    int ends[2];
    if (pipe(ends) != 0) return;
    saved_ = dup(STDERR_FILENO);
    dup2(ends[1], STDERR_FILENO);
    close(ends[1]);
    reader_ = std::thread([this, from = ends[0]] {
      char buffer[4096];
      for (ssize_t n; (n = read(from, buffer, sizeof buffer)) > 0;) text_.append(buffer, std::size_t(n));
      close(from);
    });
  }
  StderrPipe(const StderrPipe&) = delete;
  StderrPipe& operator=(const StderrPipe&) = delete;
  ~StderrPipe() { finish(); }

  // Restores standard error and gives everything written to it since the pipe was made.
  const std::string& finish() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      dup2(saved_, STDERR_FILENO);  // closes the pipe's last write end: the reader sees its end
      close(saved_);
      saved_ = -1;
      reader_.join();
    }
    return text_;
  }

 private:
  int saved_ = -1;
  std::thread reader_;
  std::string text_;
};

// Runs `code` and gives what it wrote to standard error.
template <class Code>
std::string stderr_of(Code code) {
  StderrPipe pipe;
  code();
  return pipe.finish();
}
