// What the programs are expected to write, in UTF-8, written out here
// independently of the catalogue. The table is the tests' one copy of the
// texts: the Wine scenarios read it too (wine_scenarios.py), so each entry
// keeps to one line.
#pragma once

#include <string>

namespace expected {

struct Message {
  const char* name;
  const char* text;  // "%d" where the number goes
};

// In the catalogue's order.
// clang-format off
inline constexpr Message MESSAGES[] = {
    {"setup_1p", "1Pの設定を行います。\n"},
    {"press_1p", "1Pのキーをどれか押してください...\n"},
    {"cntr_id_ok", " OK!\n(debug)CntrID=%d\n\n"},
    {"release_all", "キーをすべて放してください\n\n"},
    {"setup_2p", "2Pの設定を行います。\n"},
    {"press_2p", "2Pのキーをどれか押してください...\n"},
    {"skip_2p", "2Pが接続されていない場合、省略する場合は1Pのキーをどれか押してください。...\n"},
    {"read_error", "Error\n"},
    {"no_argument", "引数がありません。チャタリング防止タイマーをデフォルト設定(32)で実行します。\n"},
    {"invalid_argument", "引数の値が不正です。チャタリング防止タイマーをデフォルト設定(32)で実行します。\n"},
    {"argument_set", "引数が設定されました。チャタリング防止タイマーを「%d」で実行します。\n"},
    {"conversion_start", "キー変換を開始します。\n"},
    {"press_key_to_end", "何かキーボードのキーを押すとプログラムが終了します。\n"},
};
// clang-format on

// A message by its name, with its number where it takes one.
inline std::string text(const std::string& name, long long value = 0) {
  std::string found = "(no message " + name + ")";
  for (const Message& message : MESSAGES) found = name == message.name ? message.text : found;
  const auto number = found.find("%d");
  return number == std::string::npos ? found : found.replace(number, 2, std::to_string(value));
}

inline const std::string SETUP_1P = text("setup_1p") + text("press_1p");
inline std::string ok(int id) { return text("cntr_id_ok", id); }
inline const std::string RELEASE_ALL = text("release_all");
inline const std::string SETUP_2P = text("setup_2p") + text("press_2p") + text("skip_2p");
inline const std::string NO_ARGUMENT = text("no_argument");
inline const std::string INVALID_ARGUMENT = text("invalid_argument");
inline std::string argument_set(long long value) { return text("argument_set", value); }
inline const std::string START = text("conversion_start") + text("press_key_to_end");
inline const std::string ERROR = text("read_error");

// A whole start: player 1 on id 0, player 2 on id_2p (-1 when skipped), the
// threshold's message, the start messages.
inline std::string started(int id_2p, const std::string& threshold = NO_ARGUMENT) {
  return SETUP_1P + ok(0) + RELEASE_ALL + SETUP_2P + ok(id_2p) + threshold + START;
}

// The same where the driver offers a single id: player 2 is never asked for.
inline std::string started_with_one_id(const std::string& threshold = NO_ARGUMENT) {
  return SETUP_1P + ok(0) + RELEASE_ALL + threshold + START;
}

}  // namespace expected
