// The undoable delete of the shell, done the freedesktop.org way: the item moves into a trash
// directory's files/ folder and an info/<name>.trashinfo file records where it came from and when,
// so any desktop's trash can restore it. Items on the home trash's file system go to the home trash;
// items on another mount go to that mount's top-directory trash ($topdir/.Trash/$uid when an
// administrator prepared it, else $topdir/.Trash-$uid). Nothing is ever copied across file systems
// or deleted for good: when no trash on the item's own file system can take it, the answer is
// DE_ACCESSDENIED and the item stays.
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/shell.h"
#include "platform/utf.h"

namespace plat {
namespace {

ShellOperation& hookSlot() {
  static ShellOperation hook;
  return hook;
}

bool makeDirs(const std::string& path, mode_t mode) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !makeDirs(path.substr(0, slash), mode)) return false;
  return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

std::string absolutePath(const std::string& path) {
  // Resolve the parent directory, keep the last component as given (it may be a symlink, which is
  // trashed itself, not its target).
  size_t slash = path.find_last_of('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  char buf[PATH_MAX];
  if (!::realpath(dir.c_str(), buf)) return {};
  std::string out = buf;
  if (out != "/") out += '/';
  return out + name;
}

// The mount point holding path: the highest ancestor on the same device.
std::string mountPointOf(const std::string& absPath, dev_t dev) {
  std::string cur = absPath;
  for (;;) {
    size_t slash = cur.find_last_of('/');
    if (slash == std::string::npos) return "/";
    std::string parent = slash == 0 ? "/" : cur.substr(0, slash);
    struct stat st;
    if (::stat(parent.c_str(), &st) != 0 || st.st_dev != dev) return cur;
    if (parent == "/") return "/";
    cur = parent;
  }
}

std::string homeTrash() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg == '/') return std::string(xdg) + "/Trash";
  const char* home = std::getenv("HOME");
  if (!home || !*home) return {};
  return std::string(home) + "/.local/share/Trash";
}

// Device of the nearest existing ancestor of path (the trash may not exist yet).
bool deviceOf(std::string path, dev_t& dev) {
  struct stat st;
  while (!path.empty()) {
    if (::stat(path.c_str(), &st) == 0) {
      dev = st.st_dev;
      return true;
    }
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return false;
    path = slash == 0 ? "/" : path.substr(0, slash);
    if (path == "/") {
      if (::stat("/", &st) != 0) return false;
      dev = st.st_dev;
      return true;
    }
  }
  return false;
}

std::string percentEncode(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string deletionDate() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%S", &tm);
  return buf;
}

// Reserves a free name in trash/info by creating its .trashinfo exclusively, then moves the item to
// trash/files under that name. infoPath is the Path= value to record.
int moveToTrash(const std::string& trash, const std::string& item, const std::string& infoPath) {
  if (!makeDirs(trash + "/files", 0700) || !makeDirs(trash + "/info", 0700)) return DE_ACCESSDENIED;
  std::string base = item.substr(item.find_last_of('/') + 1);
  for (int n = 1; n < 100000; ++n) {
    std::string name = n == 1 ? base : base + "." + std::to_string(n);
    std::string info = trash + "/info/" + name + ".trashinfo";
    int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return DE_ACCESSDENIED;
    }
    struct stat st;
    if (::lstat((trash + "/files/" + name).c_str(), &st) == 0) {  // a stray file without info
      ::close(fd);
      ::unlink(info.c_str());
      continue;
    }
    std::string text = "[Trash Info]\nPath=" + percentEncode(infoPath) + "\nDeletionDate=" + deletionDate() + "\n";
    bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    written = (::close(fd) == 0) && written;
    if (!written || ::rename(item.c_str(), (trash + "/files/" + name).c_str()) != 0) {
      ::unlink(info.c_str());
      return DE_ACCESSDENIED;
    }
    return 0;
  }
  return DE_ACCESSDENIED;
}

// A usable $topdir/.Trash: a real directory (not a link) with the sticky bit.
bool adminTrashUsable(const std::string& dir) {
  struct stat st;
  return ::lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX);
}

int trashOne(const std::string& given, uint16_t flags) {
  std::string item = absolutePath(given);
  struct stat st;
  if (item.empty() || ::lstat(item.c_str(), &st) != 0) return DE_INVALIDFILES;
  // Files only, no recursion: a directory is not ours to move.
  if (S_ISDIR(st.st_mode) && (flags & (FOF_FILESONLY | FOF_NORECURSION))) return DE_OPCANCELLED;

  std::string home = homeTrash();
  dev_t homeDev;
  if (!home.empty() && deviceOf(home, homeDev) && homeDev == st.st_dev) {
    // The home trash must not swallow itself.
    if (item == home || item.rfind(home + "/", 0) == 0) return DE_ACCESSDENIED;
    return moveToTrash(home, item, item);
  }
  std::string top = mountPointOf(item, st.st_dev);
  std::string uid = std::to_string(::getuid());
  std::string rel = item.substr(top == "/" ? 1 : top.size() + 1);
  std::string prefix = top == "/" ? "" : top;
  if (adminTrashUsable(prefix + "/.Trash") && moveToTrash(prefix + "/.Trash/" + uid, item, rel) == 0) return 0;
  return moveToTrash(prefix + "/.Trash-" + uid, item, rel);
}

}  // namespace

ShellOperation setShellOperation(ShellOperation op) {
  ShellOperation old = std::move(hookSlot());
  hookSlot() = std::move(op);
  return old;
}

int SHFileOperationW(SHFILEOPSTRUCTW* op) {
  if (hookSlot()) return hookSlot()(op);
  if (!op || !op->pFrom) return DE_INVALIDFILES;
  // Only the undoable delete is provided; a delete for good is never done by this stand-in.
  if (op->wFunc != FO_DELETE || !(op->fFlags & FOF_ALLOWUNDO)) return DE_UNSUPPORTED;
  for (const char16_t* name = op->pFrom; *name; name += wlen(name) + 1) {
    int r = trashOne(toPosixPath(name), op->fFlags);
    if (r != 0) return r;
  }
  return 0;
}

}  // namespace plat
