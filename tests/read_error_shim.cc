// Loaded into a program under test with LD_PRELOAD: makes its next read of
// an input event node fail once, as a passing fault of the device would.
// The file that KEYCONV_READ_ERROR names holds the errno to fail with
// ("EIO" or "EINTR"); it is removed when the read has failed.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

constexpr unsigned int INPUT_MAJOR = 13;

namespace {

ssize_t real(int fd, void* buffer, size_t size) {
  using Read = ssize_t (*)(int, void*, size_t);
  static const auto real_read = reinterpret_cast<Read>(dlsym(RTLD_NEXT, "read"));
  return real_read(fd, buffer, size);
}

}  // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
  const char* control = std::getenv("KEYCONV_READ_ERROR");
  struct stat node;
  if (control == nullptr || fstat(fd, &node) != 0 || !S_ISCHR(node.st_mode) ||
      major(node.st_rdev) != INPUT_MAJOR) {
    return real(fd, buffer, size);
  }
  char error[16] = {};
  const int file = open(control, O_RDONLY | O_CLOEXEC);
  if (file < 0) return real(fd, buffer, size);
  const ssize_t got = real(file, error, sizeof error - 1);
  close(file);
  if (got <= 0) return real(fd, buffer, size);
  unlink(control);
  errno = std::strncmp(error, "EINTR", 5) == 0 ? EINTR : EIO;
  return -1;
}

// A fortified program's read of a buffer of known size.
extern "C" ssize_t __read_chk(int fd, void* buffer, size_t size, size_t /*buffer_size*/) {
  return read(fd, buffer, size);
}
