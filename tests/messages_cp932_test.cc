// The Windows catalogue: messages.cc compiled as the Windows build compiles
// it (code page 932 execution charset), compared with glibc's own CP932
// encoding of the texts the tests expect.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdarg>
#include <cstdio>
#include <iterator>
#include <string>

#include "../src/core/messages.h"
#include "expected_text.h"

int msg_printf(const char*, ...) { return 0; }  // not used: the texts are read directly

namespace {

std::string to_cp932(const std::string& utf8) {
  iconv_t conversion = iconv_open("CP932", "UTF-8");
  std::string in = utf8;
  std::string out(in.size() * 2, '\0');
  char* in_pos = in.data();
  char* out_pos = out.data();
  std::size_t in_left = in.size();
  std::size_t out_left = out.size();
  const std::size_t rc = iconv(conversion, &in_pos, &in_left, &out_pos, &out_left);
  iconv_close(conversion);
  EXPECT_NE(rc, static_cast<std::size_t>(-1)) << "cannot encode " << utf8;
  out.resize(out.size() - out_left);
  return out;
}

std::string formatted(Msg msg, int value) {
  char text[256];
  std::snprintf(text, sizeof text, message_text(msg), value);
  return text;
}

TEST(MessagesCp932, EveryMessageIsTheCp932EncodingOfItsText) {
  static_assert(std::size(expected::MESSAGES) == static_cast<std::size_t>(Msg::count));
  for (int i = 0; i < static_cast<int>(Msg::count); ++i) {
    EXPECT_EQ(message_text(static_cast<Msg>(i)), to_cp932(expected::MESSAGES[i].text))
        << expected::MESSAGES[i].name;
  }
  EXPECT_EQ(formatted(Msg::cntr_id_ok, -1), to_cp932(expected::ok(-1)));
  EXPECT_EQ(formatted(Msg::argument_set, -2147483647),
            to_cp932(expected::argument_set(-2147483647)));
}

TEST(MessagesCp932, KnownBytesOfOneMessage) {
  // "キーをすべて放してください\n\n" in code page 932, byte by byte.
  const unsigned char bytes[] = {0x83, 0x4c, 0x81, 0x5b, 0x82, 0xf0, 0x82, 0xb7, 0x82, 0xd7,
                                 0x82, 0xc4, 0x95, 0xfa, 0x82, 0xb5, 0x82, 0xc4, 0x82, 0xad,
                                 0x82, 0xbe, 0x82, 0xb3, 0x82, 0xa2, 0x0a, 0x0a};
  EXPECT_EQ(std::string(message_text(Msg::release_all)),
            std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

}  // namespace
