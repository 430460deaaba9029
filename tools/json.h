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
  // A close with nothing open is a caller's mistake; it writes nothing rather than leave
  // a document no reader accepts.
  void close(char c) {
    if (first_.empty()) return;
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
  // The length of the well-formed UTF-8 sequence at s[i], or 0 when the bytes there are not
  // one (overlong forms, surrogates and code points past U+10FFFF included).
  static std::size_t utf8_length(std::string_view s, std::size_t i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    if (c >= 0xc2 && c <= 0xdf) n = 2;
    else if (c >= 0xe0 && c <= 0xef) n = 3;
    else if (c >= 0xf0 && c <= 0xf4) n = 4;
    else return 0;
    const unsigned lowest = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
    if (i + n > s.size()) return 0;
    unsigned code = c & (0x7f >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const unsigned char next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xc0) != 0x80) return 0;
      code = (code << 6) | (next & 0x3f);
    }
    if (code < lowest || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
    return n;
  }

  // Text is copied as UTF-8 where it is UTF-8; any other byte >= 0x80 (a script written in an
  // 8-bit code page) is read as Latin-1 and escaped, so the output is always valid JSON.
  void write_string(std::string_view s) {
    std::fputc('"', out_);
    for (std::size_t i = 0; i < s.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(s[i]);
      switch (c) {
        case '"': std::fputs("\\\"", out_); break;
        case '\\': std::fputs("\\\\", out_); break;
        case '\n': std::fputs("\\n", out_); break;
        case '\r': std::fputs("\\r", out_); break;
        case '\t': std::fputs("\\t", out_); break;
        default:
          if (c < 0x20) {
            std::fprintf(out_, "\\u%04x", c);
          } else if (c < 0x80) {
            std::fputc(c, out_);
          } else if (const std::size_t n = utf8_length(s, i)) {
            std::fwrite(s.data() + i, 1, n, out_);
            i += n - 1;
          } else {
            std::fprintf(out_, "\\u%04x", c);
          }
      }
    }
    std::fputc('"', out_);
  }

  std::FILE* out_;
  std::vector<bool> first_;
  bool after_key_ = false;
};
