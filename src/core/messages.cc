// The texts below are the single source of the messages. The file is UTF-8;
// the Windows build compiles it with -fexec-charset=CP932, so the program
// holds and writes the code page 932 bytes, and the Linux build keeps UTF-8.
#include "messages.h"

#include "platform_hooks.h"

namespace {

constexpr const char* MESSAGES[] = {
    "1Pの設定を行います。\n",
    "1Pのキーをどれか押してください...\n",
    " OK!\n(debug)CntrID=%d\n\n",
    "キーをすべて放してください\n\n",
    "2Pの設定を行います。\n",
    "2Pのキーをどれか押してください...\n",
    "2Pが接続されていない場合、省略する場合は1Pのキーをどれか押してください。...\n",
    "Error\n",
    "引数がありません。チャタリング防止タイマーをデフォルト設定(32)で実行します。\n",
    "引数の値が不正です。チャタリング防止タイマーをデフォルト設定(32)で実行します。\n",
    "引数が設定されました。チャタリング防止タイマーを「%d」で実行します。\n",
    "キー変換を開始します。\n",
    "何かキーボードのキーを押すとプログラムが終了します。\n",
};
static_assert(sizeof(MESSAGES) / sizeof(MESSAGES[0]) == static_cast<int>(Msg::count));

}  // namespace

const char* message_text(Msg msg) { return MESSAGES[static_cast<int>(msg)]; }

void say(Msg msg) { msg_printf(message_text(msg)); }

void say(Msg msg, std::int32_t value) { msg_printf(message_text(msg), value); }
