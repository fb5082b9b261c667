// The Windows catalogue: messages.cc compiled as the Windows build compiles
// it (code page 932 execution charset), compared with glibc's own CP932
// encoding of the texts the tests expect.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdarg>
#include <cstdio>
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
  const struct {
    Msg msg;
    std::string utf8;
  } cases[] = {
      {Msg::setup_1p, "1Pの設定を行います。\n"},
      {Msg::press_1p, "1Pのキーをどれか押してください...\n"},
      {Msg::release_all, expected::RELEASE_ALL},
      {Msg::setup_2p, "2Pの設定を行います。\n"},
      {Msg::press_2p, "2Pのキーをどれか押してください...\n"},
      {Msg::skip_2p,
       "2Pが接続されていない場合、省略する場合は1Pのキーをどれか押してください。...\n"},
      {Msg::read_error, expected::ERROR},
      {Msg::no_argument, expected::NO_ARGUMENT},
      {Msg::invalid_argument, expected::INVALID_ARGUMENT},
      {Msg::conversion_start, "キー変換を開始します。\n"},
      {Msg::press_key_to_end, "何かキーボードのキーを押すとプログラムが終了します。\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(message_text(c.msg), to_cp932(c.utf8)) << c.utf8;
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
