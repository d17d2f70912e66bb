// Test seam of the engine's public interface: record every call with its arguments (and the four
// header settings at that moment), make any operation answer a chosen status or throw, and make
// the raw heap fail. Production code never touches it; with nothing set it costs one branch.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/acadstrc.h"

namespace kel::sdk {

enum class Op {
  SetHostApplicationServices,
  ValidateSetup,
  NewDatabase,
  DeleteDatabase,
  ReadDwgShareMode,
  ReadDwgOpenMode,
  DxfIn,
  DxfOut,
  SaveAs,
  Handseed,
  GetSaveproxygraphics,
  SetSaveproxygraphics,
  GetIndexctl,
  SetIndexctl,
  GetDrawOrderCtl,
  SetDrawOrderCtl,
  GetUpdateThumbnail,
  SetUpdateThumbnail,
  Printf,
};
const char* opName(Op op);

struct Call {
  Op op;
  std::vector<std::u16string> texts;   // path arguments (a null pointer is recorded as "<null>")
  std::vector<int64_t> values;         // numeric and flag arguments, in order
  // The database's four settings when the call was made (saveproxygraphics, indexctl,
  // drawOrderCtl, updateThumbnail), for database operations; empty otherwise.
  std::vector<int64_t> settings;
};

// What an operation does instead of its real work.
struct Injection {
  enum Kind { ReturnStatus, ThrowException } kind = ReturnStatus;
  Acad::ErrorStatus status = Acad::eOk;
  int remaining = -1;  // how many calls it applies to; -1: every call
};

struct Seam {
  bool record = false;
  std::vector<Call> calls;
  std::map<Op, Injection> injections;
  bool failRawAlloc = false;
  // Replaces the value a getter answers (the recorded settings still show the real ones).
  std::map<Op, int64_t> getterValues;

  void inject(Op op, Acad::ErrorStatus status, int times = -1) {
    injections[op] = Injection{Injection::ReturnStatus, status, times};
  }
  void injectThrow(Op op, int times = -1) {
    injections[op] = Injection{Injection::ThrowException, Acad::eOk, times};
  }
  std::vector<Call> callsOf(Op op) const;
  bool active() const { return record || !injections.empty() || failRawAlloc || !getterValues.empty(); }
};

Seam& seam();
void resetSeam();

// Scope guard for tests: a clean seam on entry and on exit.
struct SeamScope {
  SeamScope() { resetSeam(); }
  ~SeamScope() { resetSeam(); }
  Seam& operator*() const { return seam(); }
  Seam* operator->() const { return &seam(); }
};

// The exception an injected throw raises.
struct InjectedFailure {
  Op op;
};

// Called at the top of each operation: records it and answers an injected status (or throws).
std::optional<Acad::ErrorStatus> enter(Op op, std::vector<std::u16string> texts,
                                       std::vector<int64_t> values,
                                       std::vector<int64_t> settings = {});

// Where acutPrintf's text goes. Null restores the default (UTF-8 on standard error).
using PrintSink = std::function<void(const std::u16string&)>;
void setPrintSink(PrintSink sink);

}  // namespace kel::sdk
