// What the programs are expected to write, in UTF-8, written out here
// independently of the catalogue.
#pragma once

#include <string>

namespace expected {

inline const std::string SETUP_1P =
    "1Pの設定を行います。\n"
    "1Pのキーをどれか押してください...\n";
inline std::string ok(int id) { return " OK!\n(debug)CntrID=" + std::to_string(id) + "\n\n"; }
inline const std::string RELEASE_ALL = "キーをすべて放してください\n\n";
inline const std::string SETUP_2P =
    "2Pの設定を行います。\n"
    "2Pのキーをどれか押してください...\n"
    "2Pが接続されていない場合、省略する場合は1Pのキーをどれか押してください。...\n";
inline const std::string NO_ARGUMENT =
    "引数がありません。チャタリング防止タイマーをデフォルト設定(32)で実行します。\n";
inline const std::string INVALID_ARGUMENT =
    "引数の値が不正です。チャタリング防止タイマーをデフォルト設定(32)で実行します。\n";
inline std::string argument_set(long long value) {
  return "引数が設定されました。チャタリング防止タイマーを「" + std::to_string(value) +
         "」で実行します。\n";
}
inline const std::string START =
    "キー変換を開始します。\n"
    "何かキーボードのキーを押すとプログラムが終了します。\n";
inline const std::string ERROR = "Error\n";

}  // namespace expected
