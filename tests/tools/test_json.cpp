// The tools' JSON writer: what reaches a reader for awkward strings and misuse.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/json.h"

namespace {

// The document that `write` makes through a JsonWriter.
template <class Write>
std::string written(Write write) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  JsonWriter json(out);
  write(json);
  std::fclose(out);
  std::string document(buffer, size);
  std::free(buffer);
  return document;
}

}  // namespace

TEST(JsonWriter, StringsAreEscapedToValidJson) {
  struct Case {
    const char* name;
    std::string text;
    std::string json;
  };
  const Case cases[] = {
      {"quote and backslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
      {"named controls", "\n\r\t", "\"\\n\\r\\t\""},
      {"other controls", std::string("\x00\x01\x1f", 3), "\"\\u0000\\u0001\\u001f\""},
      {"delete passes", "\x7f", "\"\x7f\""},
      {"two-byte UTF-8 passes", "\xc3\xa9", "\"\xc3\xa9\""},
      {"three-byte UTF-8 passes", "\xe2\x82\xac", "\"\xe2\x82\xac\""},
      {"four-byte UTF-8 passes", "\xf0\x9f\x8e\xb5", "\"\xf0\x9f\x8e\xb5\""},
      {"Latin-1 byte", "caf\xe9", "\"caf\\u00e9\""},
      {"lone continuation byte", "\x80", "\"\\u0080\""},
      {"sequence cut by the end", "\xe2\x82", "\"\\u00e2\\u0082\""},
      {"overlong slash", "\xc0\xaf", "\"\\u00c0\\u00af\""},
      {"surrogate", "\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},
      {"past U+10FFFF", "\xf4\x90\x80\x80", "\"\\u00f4\\u0090\\u0080\\u0080\""},
      {"0xff", "\xff", "\"\\u00ff\""},
  };
  for (const Case& c : cases) EXPECT_EQ(written([&](JsonWriter& json) { json.value(c.text); }), c.json) << c.name;
}

// Closing what is not open writes nothing, so a document stays valid after a misuse.
TEST(JsonWriter, CloseWithNothingOpenWritesNothing) {
  const std::string document = written([](JsonWriter& json) {
    json.begin_array();
    json.value(1);
    json.end_array();
    json.end_array();
    json.end_object();
    json.newline();
  });
  EXPECT_EQ(document, "[1]\n");
}
