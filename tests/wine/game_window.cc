// A game's view of the keyboard: a window that takes the foreground and the
// focus on the Wine desktop and records every key as games read it, one
// line per event into the file named by the first argument, its view first:
//   msg 10 2A down       WM_KEYDOWN, WM_KEYUP (SYS too): wParam, scan code,
//   msg 11 1D up ext     and "ext" for the extended bit
//   raw 11 1D down ext   raw input: VKey, MakeCode, and "ext" for E0
//   dinput 9D up         DirectInput 8 keyboard: DIK code
//   state A0 A3          the left and right keys that GetAsyncKeyState finds
//                        down (A0 A1 A2 A3), polled once a frame as a game
//                        polls it, whenever they differ from the last frame's
// DirectInput's buffered events are read each frame too.
// Creates the file named by the second argument once it has the focus and
// raw input, and ends when the file named by the third argument appears.
#if !defined(_WIN32)
#error "game_window.cc builds a Windows test program only"
#endif

#define WIN32_LEAN_AND_MEAN
#define DIRECTINPUT_VERSION 0x0800
#include <windows.h>
// windows.h must come first.
#include <dinput.h>

#include <cstdio>

namespace {

constexpr UINT FRAME_MS = 10;

FILE* out = nullptr;
unsigned last_state = 0;  // bit vk - VK_LSHIFT for each key down
IDirectInputDevice8W* dinput_keyboard = nullptr;

void record(const char* view, unsigned vk, bool up, unsigned scan, bool extended) {
  std::fprintf(out, "%s %02X %02X %s%s\n", view, vk, scan, up ? "up" : "down",
               extended ? " ext" : "");
  std::fflush(out);
}

void record_key_state() {
  unsigned state = 0;
  for (int vk = VK_LSHIFT; vk <= VK_RCONTROL; ++vk) {
    if ((GetAsyncKeyState(vk) & 0x8000) != 0) state |= 1u << (vk - VK_LSHIFT);
  }
  if (state == last_state) return;
  last_state = state;
  std::fprintf(out, "state");
  for (int vk = VK_LSHIFT; vk <= VK_RCONTROL; ++vk) {
    if ((state & (1u << (vk - VK_LSHIFT))) != 0) std::fprintf(out, " %02X", vk);
  }
  std::fprintf(out, "\n");
  std::fflush(out);
}

// The system keyboard through DirectInput 8, in the foreground and shared,
// with a buffer of events, as a game takes it.
bool open_dinput_keyboard(HWND window) {
  IDirectInput8W* dinput = nullptr;
  if (FAILED(DirectInput8Create(GetModuleHandleW(nullptr), DIRECTINPUT_VERSION, IID_IDirectInput8W,
                                reinterpret_cast<void**>(&dinput), nullptr)) ||
      FAILED(dinput->CreateDevice(GUID_SysKeyboard, &dinput_keyboard, nullptr)) ||
      FAILED(dinput_keyboard->SetDataFormat(&c_dfDIKeyboard)) ||
      FAILED(dinput_keyboard->SetCooperativeLevel(window, DISCL_FOREGROUND | DISCL_NONEXCLUSIVE))) {
    return false;
  }
  DIPROPDWORD buffer = {};
  buffer.diph.dwSize = sizeof buffer;
  buffer.diph.dwHeaderSize = sizeof buffer.diph;
  buffer.diph.dwHow = DIPH_DEVICE;
  buffer.dwData = 64;
  return SUCCEEDED(dinput_keyboard->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph)) &&
         SUCCEEDED(dinput_keyboard->Acquire());
}

void record_dinput_events() {
  DIDEVICEOBJECTDATA events[64];
  DWORD count = 64;
  if (FAILED(dinput_keyboard->GetDeviceData(sizeof events[0], events, &count, 0))) return;
  for (DWORD i = 0; i < count; ++i) {
    std::fprintf(out, "dinput %02lX %s\n", events[i].dwOfs,
                 (events[i].dwData & 0x80) != 0 ? "down" : "up");
  }
  std::fflush(out);
}

void record_raw_input(LPARAM lparam) {
  RAWINPUT input;
  UINT size = sizeof input;
  if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lparam), RID_INPUT, &input, &size,
                      sizeof(RAWINPUTHEADER)) == static_cast<UINT>(-1) ||
      input.header.dwType != RIM_TYPEKEYBOARD) {
    return;
  }
  const RAWKEYBOARD& key = input.data.keyboard;
  record("raw", key.VKey, (key.Flags & RI_KEY_BREAK) != 0, key.MakeCode,
         (key.Flags & RI_KEY_E0) != 0);
}

LRESULT CALLBACK on_message(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP: {
      const auto flags = static_cast<unsigned>(lparam >> 16);
      record("msg", static_cast<unsigned>(wparam), (flags & KF_UP) != 0, flags & 0xFF,
             (flags & KF_EXTENDED) != 0);
      return 0;
    }
    case WM_INPUT:
      record_raw_input(lparam);
      break;  // the system frees the input in DefWindowProc
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// Pumps messages until the window has the foreground and the focus, or a
// few seconds have passed.
bool take_focus(HWND window) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    SetForegroundWindow(window);
    SetFocus(window);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    if (GetForegroundWindow() == window && GetFocus() == window) return true;
    Sleep(20);
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc != 4) return 2;
  out = _wfopen(argv[1], L"w");
  if (out == nullptr) return 3;
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = on_message;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"keyconv_game_window";
  if (RegisterClassW(&window_class) == 0) return 4;
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"game", WS_OVERLAPPEDWINDOW, 0, 0,
                                640, 480, nullptr, nullptr, window_class.hInstance, nullptr);
  if (window == nullptr) return 5;
  ShowWindow(window, SW_SHOW);
  // The generic desktop keyboard, as a game registers it: delivered while
  // the window has the foreground.
  const RAWINPUTDEVICE keyboard = {1, 6, 0, window};
  if (!RegisterRawInputDevices(&keyboard, 1, sizeof keyboard)) return 6;
  if (!take_focus(window)) return 7;
  if (!open_dinput_keyboard(window)) return 8;
  FILE* ready = _wfopen(argv[2], L"w");
  if (ready != nullptr) std::fclose(ready);
  SetTimer(window, 1, FRAME_MS, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) {
      record_key_state();
      record_dinput_events();
      if (exists(argv[3])) break;
    }
    DispatchMessageW(&msg);
  }
  std::fclose(out);
  return 0;
}
