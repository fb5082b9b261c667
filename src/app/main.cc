// Entry of keyconv (KEYCONV_PACED=1) and keyconv_busy (KEYCONV_PACED=0).
#include "../core/platform_hooks.h"
#include "startup.h"

#if !defined(KEYCONV_PACED)
#error "the build must define KEYCONV_PACED: 1 for keyconv, 0 for keyconv_busy"
#endif

namespace {

constexpr Pacing PACING = KEYCONV_PACED ? Pacing::paced : Pacing::busy;

template <typename Char>
int run(int argc, const Char* const* argv) {
  if (!platform_open()) return 1;
  const int exit_code = run_program(PACING, argc, argv);
  platform_close();
  return exit_code;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t* argv[]) { return run(argc, argv); }
#else
int main(int argc, char* argv[]) { return run(argc, argv); }
#endif
