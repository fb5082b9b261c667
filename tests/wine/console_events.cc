#include "console_events.h"

#include "call_log.h"

namespace {

constexpr int MOST_HANDLERS = 8;
PHANDLER_ROUTINE handlers[MOST_HANDLERS];
LONG handler_count = 0;  // registered on the program's thread, before any event

DWORD WINAPI dispatch(LPVOID event_value) {
  const auto event = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(event_value));
  for (LONG i = handler_count; i-- > 0;) {
    if (handlers[i](event)) return 0;
  }
  log_call("console_event_unhandled", event, 0);
  ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

}  // namespace

void note_console_handler(PHANDLER_ROUTINE handler, BOOL add) {
  if (handler == nullptr) return;
  if (add) {
    if (handler_count < MOST_HANDLERS) handlers[handler_count++] = handler;
    return;
  }
  for (LONG i = handler_count; i-- > 0;) {
    if (handlers[i] != handler) continue;
    for (LONG j = i; j + 1 < handler_count; ++j) handlers[j] = handlers[j + 1];
    --handler_count;
    return;
  }
}

void raise_console_event(DWORD event) {
  HANDLE thread = CreateThread(nullptr, 0, dispatch,
                               reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(event)), 0, nullptr);
  log_call("console_event", event, thread != nullptr);
  if (thread != nullptr) CloseHandle(thread);
}
