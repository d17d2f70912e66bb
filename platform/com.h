// The small part of COM that error reporting needs, over POSIX: interface identifiers, BSTR
// texts, task memory, and the per-thread error information object (IErrorInfo) with
// SetErrorInfo/GetErrorInfo. createErrorInfo makes such an object, as CreateErrorInfo and
// ICreateErrorInfo do on Windows.
#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

using HRESULT = int32_t;
using ULONG = uint32_t;
using BSTR = char16_t*;

constexpr HRESULT S_OK = 0, S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001), E_NOINTERFACE = static_cast<HRESULT>(0x80004002),
                  E_POINTER = static_cast<HRESULT>(0x80004003), E_FAIL = static_cast<HRESULT>(0x80004005),
                  E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E), E_INVALIDARG = static_cast<HRESULT>(0x80070057);

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
using IID = GUID;
inline bool operator==(const GUID& a, const GUID& b) {
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3;
}

constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

struct IUnknown {
  virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IErrorInfo : IUnknown {
  virtual HRESULT GetGUID(GUID* guid) = 0;
  virtual HRESULT GetSource(BSTR* source) = 0;
  virtual HRESULT GetDescription(BSTR* description) = 0;
  virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
  virtual HRESULT GetHelpContext(uint32_t* helpContext) = 0;

 protected:
  ~IErrorInfo() = default;
};

// A new error information object with one reference; null texts stay null (GetSource and
// GetDescription then hand out null). Returns null when memory runs out.
IErrorInfo* createErrorInfo(const GUID& guid, const char16_t* source, const char16_t* description);

// SetErrorInfo: makes `info` (or none, for null) the calling thread's error information, taking
// a reference of its own and releasing the one it held before. `reserved` must be 0.
HRESULT SetErrorInfo(ULONG reserved, IErrorInfo* info);
// GetErrorInfo: hands the thread's error information over to the caller and clears it, so a
// second call finds none. S_OK with the object, or S_FALSE with null when there is none.
HRESULT GetErrorInfo(ULONG reserved, IErrorInfo** info);

// BSTR texts: length-prefixed, released with SysFreeString (null is allowed).
BSTR SysAllocString(const char16_t* text);
void SysFreeString(BSTR text);
uint32_t SysStringLen(BSTR text);

void* CoTaskMemAlloc(size_t size);
void CoTaskMemFree(void* block);

// StringFromIID: the identifier in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with
// upper-case digits, in task memory (CoTaskMemFree). E_OUTOFMEMORY leaves *text null.
HRESULT StringFromIID(const IID& iid, char16_t** text);

}  // namespace plat
