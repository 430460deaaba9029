// json.h: a small streaming JSON writer for the tools' --json output. Keys and values are
// written in call order; commas and string escapes are handled here.
#pragma once

#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

class JsonWriter {
 public:
  explicit JsonWriter(std::FILE* out) : out_(out) {}

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }

  JsonWriter& key(std::string_view name) {
    separate();
    write_string(name);
    std::fputc(':', out_);
    after_key_ = true;
    return *this;
  }
  void value(std::string_view text) {
    separate();
    write_string(text);
  }
  void value(const char* text) { value(std::string_view(text)); }
  void value(bool b) {
    separate();
    std::fputs(b ? "true" : "false", out_);
  }
  void value(long long n) {
    separate();
    std::fprintf(out_, "%lld", n);
  }
  void value(int n) { value(static_cast<long long>(n)); }
  void value(unsigned n) { value(static_cast<long long>(n)); }
  // Floats print with enough digits to read back the same 32-bit value; NaN and infinities,
  // which JSON lacks, print as null.
  void value(double x) {
    separate();
    if (!std::isfinite(x)) {
      std::fputs("null", out_);
      return;
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", x);
    std::string s = text;
    if (s.find_first_of(".eE") == std::string::npos) s += ".0";
    std::fputs(s.c_str(), out_);
  }
  void null() {
    separate();
    std::fputs("null", out_);
  }
  void newline() { std::fputc('\n', out_); }

 private:
  void open(char c) {
    separate();
    std::fputc(c, out_);
    first_.push_back(true);
  }
  void close(char c) {
    std::fputc(c, out_);
    first_.pop_back();
  }
  void separate() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (!first_.empty()) {
      if (!first_.back()) std::fputc(',', out_);
      first_.back() = false;
    }
  }
  void write_string(std::string_view s) {
    std::fputc('"', out_);
    for (unsigned char c : s) {
      switch (c) {
        case '"': std::fputs("\\\"", out_); break;
        case '\\': std::fputs("\\\\", out_); break;
        case '\n': std::fputs("\\n", out_); break;
        case '\r': std::fputs("\\r", out_); break;
        case '\t': std::fputs("\\t", out_); break;
        default:
          if (c < 0x20) std::fprintf(out_, "\\u%04x", c);
          else std::fputc(c, out_);
      }
    }
    std::fputc('"', out_);
  }

  std::FILE* out_;
  std::vector<bool> first_;
  bool after_key_ = false;
};
