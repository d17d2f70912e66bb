#include "platform/com.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/utf.h"

namespace plat {
namespace {

class ErrorInfo final : public IErrorInfo {
 public:
  ErrorInfo(const GUID& guid, BSTR source, BSTR description)
      : guid_(guid), source_(source), description_(description) {}

  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IErrorInfo) {
      AddRef();
      *object = static_cast<IErrorInfo*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) {
      SysFreeString(source_);
      SysFreeString(description_);
      delete this;
    }
    return left;
  }
  HRESULT GetGUID(GUID* guid) override {
    if (!guid) return E_INVALIDARG;
    *guid = guid_;
    return S_OK;
  }
  HRESULT GetSource(BSTR* source) override { return copyOut(source_, source); }
  HRESULT GetDescription(BSTR* description) override { return copyOut(description_, description); }
  HRESULT GetHelpFile(BSTR* helpFile) override { return copyOut(nullptr, helpFile); }
  HRESULT GetHelpContext(uint32_t* helpContext) override {
    if (!helpContext) return E_INVALIDARG;
    *helpContext = 0;
    return S_OK;
  }

 private:
  static HRESULT copyOut(BSTR from, BSTR* to) {
    if (!to) return E_INVALIDARG;
    *to = nullptr;
    if (!from) return S_OK;
    *to = SysAllocString(from);
    return *to ? S_OK : E_OUTOFMEMORY;
  }

  std::atomic<ULONG> refs_{1};
  GUID guid_;
  BSTR source_;
  BSTR description_;
};

// The thread's error information; the reference it holds goes when the thread ends.
struct ThreadSlot {
  IErrorInfo* info = nullptr;
  ~ThreadSlot() {
    if (info) info->Release();
  }
};
thread_local ThreadSlot errorSlot;

}  // namespace

IErrorInfo* createErrorInfo(const GUID& guid, const char16_t* source, const char16_t* description) {
  BSTR s = source ? SysAllocString(source) : nullptr;
  BSTR d = description ? SysAllocString(description) : nullptr;
  if ((source && !s) || (description && !d)) {
    SysFreeString(s);
    SysFreeString(d);
    return nullptr;
  }
  auto* info = new (std::nothrow) ErrorInfo(guid, s, d);
  if (!info) {
    SysFreeString(s);
    SysFreeString(d);
  }
  return info;
}

HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info) {
  if (reserved != 0) return E_INVALIDARG;
  if (info) info->AddRef();
  IErrorInfo* old = errorSlot.info;
  errorSlot.info = info;
  if (old) old->Release();
  return S_OK;
}

HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = nullptr;
  if (reserved != 0) return E_INVALIDARG;
  *info = errorSlot.info;
  errorSlot.info = nullptr;
  return *info ? S_OK : S_FALSE;
}

// A BSTR points past a 32-bit byte count and ends with a terminator.
BSTR SysAllocString(const char16_t* text) {
  if (!text) return nullptr;
  size_t n = wlen(text);
  auto* block = static_cast<char*>(std::malloc(sizeof(uint32_t) + (n + 1) * sizeof(char16_t)));
  if (!block) return nullptr;
  uint32_t bytes = static_cast<uint32_t>(n * sizeof(char16_t));
  std::memcpy(block, &bytes, sizeof bytes);
  auto* s = reinterpret_cast<char16_t*>(block + sizeof(uint32_t));
  std::memcpy(s, text, (n + 1) * sizeof(char16_t));
  return s;
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<char*>(text) - sizeof(uint32_t));
}

uint32_t SysStringLen(BSTR text) {
  if (!text) return 0;
  uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<char*>(text) - sizeof(uint32_t), sizeof bytes);
  return bytes / sizeof(char16_t);
}

void* CoTaskMemAlloc(size_t size) { return std::malloc(size); }
void CoTaskMemFree(void* block) { std::free(block); }

HRESULT StringFromIID(const IID& iid, char16_t** text) {
  if (!text) return E_INVALIDARG;
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(iid.Data1), iid.Data2, iid.Data3, iid.Data4[0], iid.Data4[1],
                iid.Data4[2], iid.Data4[3], iid.Data4[4], iid.Data4[5], iid.Data4[6], iid.Data4[7]);
  size_t n = std::strlen(buf);
  auto* out = static_cast<char16_t*>(CoTaskMemAlloc((n + 1) * sizeof(char16_t)));
  *text = out;
  if (!out) return E_OUTOFMEMORY;
  for (size_t i = 0; i <= n; ++i) out[i] = static_cast<char16_t>(buf[i]);
  return S_OK;
}

}  // namespace plat
