#include "platform/shell.h"

namespace plat {
namespace {
ShellOperation& hookSlot() {
  static ShellOperation hook;
  return hook;
}
}  // namespace

ShellOperation setShellOperation(ShellOperation op) {
  ShellOperation old = std::move(hookSlot());
  hookSlot() = std::move(op);
  return old;
}

int SHFileOperationW(SHFILEOPSTRUCTW* op) {
  if (hookSlot()) return hookSlot()(op);
  return DE_ACCESSDENIED;
}

}  // namespace plat
