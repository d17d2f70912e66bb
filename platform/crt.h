// The C runtime's wide file calls with their Windows meaning, over POSIX. Paths are taken in
// Windows form; backslashes become '/' before the file system sees them. Each call can be replaced
// by a test through crtHooks() (an empty hook means the real call).
#pragma once
#include <functional>

namespace plat {

int _waccess(const char16_t* path, int mode);  // 0 exists, 2 writable, 4 readable, 6 both; -1 on failure
int _wrename(const char16_t* from, const char16_t* to);  // fails if the target exists, as on Windows
int _wunlink(const char16_t* path);
// _waccess_s: the same test as _waccess, answering 0 or the errno value of the failure
// (ENOENT, EACCES, EINVAL).
int _waccess_s(const char16_t* path, int mode);

struct CrtHooks {
  std::function<int(const char16_t*, int)> waccess;
  std::function<int(const char16_t*, const char16_t*)> wrename;
  std::function<int(const char16_t*)> wunlink;
};
CrtHooks& crtHooks();

}  // namespace plat
