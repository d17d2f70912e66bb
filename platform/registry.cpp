#include "platform/registry.h"

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include "platform/errors.h"
#include "platform/pathmatch.h"
#include "platform/utf.h"

namespace plat {

// An opened key: the root it hangs from and its folded path below the root.
struct RegistryKey {
  uintptr_t root;
  std::u16string path;
};

namespace {

struct Store {
  std::mutex lock;
  // Folded full path ("<root>\A\B") -> default value; every key of the stand-in has an entry.
  std::map<std::u16string, std::u16string> keys;
};
Store& store() {
  static auto* s = new Store;
  return *s;
}

bool isRoot(HKEY k) {
  auto v = reinterpret_cast<uintptr_t>(k);
  return v >= 0x80000000u && v <= 0x80000006u;
}

// Folded path of `sub` below `key`; false for an unknown key.
bool resolve(HKEY key, const char16_t* sub, std::u16string& out) {
  if (!key) return false;
  if (isRoot(key)) {
    out = std::u16string(1, static_cast<char16_t>(u'0' + (reinterpret_cast<uintptr_t>(key) & 0xF)));
  } else {
    out = key->path;
  }
  if (sub) {
    const char16_t* p = sub;
    while (*p == u'\\') ++p;
    std::u16string rest;
    for (; *p; ++p) rest += foldCase(*p);
    while (!rest.empty() && rest.back() == u'\\') rest.pop_back();
    if (!rest.empty()) out += u'\\' + rest;
  }
  return true;
}

}  // namespace

LONG RegOpenKeyW(HKEY key, const char16_t* subKey, HKEY* result) {
  if (!result) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  std::u16string path;
  if (!resolve(key, subKey, path)) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  {
    std::lock_guard<std::mutex> guard(store().lock);
    if (path.size() > 1 && !store().keys.count(path)) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
  }
  auto* k = new (std::nothrow) RegistryKey{0, path};
  if (!k) return static_cast<LONG>(ERROR_NOT_ENOUGH_MEMORY);
  *result = k;
  return static_cast<LONG>(ERROR_SUCCESS);
}

LONG RegQueryValueW(HKEY key, const char16_t* subKey, char16_t* value, LONG* valueBytes) {
  std::u16string path;
  if (!resolve(key, subKey, path)) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  std::u16string text;
  {
    std::lock_guard<std::mutex> guard(store().lock);
    auto it = store().keys.find(path);
    if (it == store().keys.end()) {
      if (path.size() > 1) return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
    } else {
      text = it->second;
    }
  }
  LONG need = static_cast<LONG>((text.size() + 1) * sizeof(char16_t));
  if (!value) {
    if (valueBytes) *valueBytes = need;
    return static_cast<LONG>(ERROR_SUCCESS);
  }
  if (!valueBytes) return static_cast<LONG>(ERROR_INVALID_PARAMETER);
  LONG room = *valueBytes;
  *valueBytes = need;
  if (room < need) return static_cast<LONG>(ERROR_MORE_DATA);
  std::memcpy(value, text.c_str(), static_cast<size_t>(need));
  return static_cast<LONG>(ERROR_SUCCESS);
}

LONG RegCloseKey(HKEY key) {
  if (!key) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  if (!isRoot(key)) delete key;
  return static_cast<LONG>(ERROR_SUCCESS);
}

void registrySetValue(HKEY root, const char16_t* keyPath, const char16_t* value) {
  std::u16string path;
  if (!resolve(root, keyPath, path)) return;
  std::lock_guard<std::mutex> guard(store().lock);
  // Every key above the new one exists too, without a value of its own unless it had one.
  for (size_t i = path.find(u'\\'); i != std::u16string::npos; i = path.find(u'\\', i + 1))
    store().keys.emplace(path.substr(0, i), std::u16string());
  store().keys[path] = value ? value : u"";
}

void registryDeleteKey(HKEY root, const char16_t* keyPath) {
  std::u16string path;
  if (!resolve(root, keyPath, path) || path.size() <= 1) return;
  std::lock_guard<std::mutex> guard(store().lock);
  auto& keys = store().keys;
  for (auto it = keys.lower_bound(path); it != keys.end();) {
    const std::u16string& k = it->first;
    if (k.compare(0, path.size(), path) != 0) break;
    if (k.size() == path.size() || k[path.size()] == u'\\') it = keys.erase(it);
    else ++it;
  }
}

void registryClear() {
  std::lock_guard<std::mutex> guard(store().lock);
  store().keys.clear();
}

}  // namespace plat
