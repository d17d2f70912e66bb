#include "engine/sdk_seam.h"

#include <cstdarg>
#include <cstdio>

#include "engine/acdbhost.h"
#include "platform/utf.h"
#include "platform/wformat.h"

namespace kel::sdk {

const char* opName(Op op) {
  switch (op) {
    case Op::SetHostApplicationServices: return "acdbSetHostApplicationServices";
    case Op::ValidateSetup: return "acdbValidateSetup";
    case Op::NewDatabase: return "new AcDbDatabase";
    case Op::DeleteDatabase: return "delete AcDbDatabase";
    case Op::ReadDwgShareMode: return "readDwgFile(shareMode)";
    case Op::ReadDwgOpenMode: return "readDwgFile(openMode)";
    case Op::DxfIn: return "dxfIn";
    case Op::DxfOut: return "dxfOut";
    case Op::SaveAs: return "saveAs";
    case Op::Handseed: return "handseed";
    case Op::GetSaveproxygraphics: return "saveproxygraphics";
    case Op::SetSaveproxygraphics: return "setSaveproxygraphics";
    case Op::GetIndexctl: return "indexctl";
    case Op::SetIndexctl: return "setIndexctl";
    case Op::GetDrawOrderCtl: return "drawOrderCtl";
    case Op::SetDrawOrderCtl: return "setDrawOrderCtl";
    case Op::GetUpdateThumbnail: return "updateThumbnail";
    case Op::SetUpdateThumbnail: return "setUpdateThumbnail";
    case Op::Printf: return "acutPrintf";
  }
  return "?";
}

Seam& seam() {
  static Seam s;
  return s;
}

void resetSeam() { seam() = Seam{}; }

std::vector<Call> Seam::callsOf(Op op) const {
  std::vector<Call> out;
  for (const auto& c : calls)
    if (c.op == op) out.push_back(c);
  return out;
}

std::optional<Acad::ErrorStatus> enter(Op op, std::vector<std::u16string> texts,
                                       std::vector<int64_t> values, std::vector<int64_t> settings) {
  Seam& s = seam();
  if (s.record) s.calls.push_back(Call{op, std::move(texts), std::move(values), std::move(settings)});
  auto it = s.injections.find(op);
  if (it == s.injections.end()) return std::nullopt;
  Injection inj = it->second;
  if (it->second.remaining > 0 && --it->second.remaining == 0) s.injections.erase(it);
  if (inj.kind == Injection::ThrowException) throw InjectedFailure{op};
  return inj.status;
}

namespace {
PrintSink& sinkSlot() {
  static PrintSink sink;
  return sink;
}
}  // namespace

void setPrintSink(PrintSink sink) { sinkSlot() = std::move(sink); }

}  // namespace kel::sdk

int acutPrintf(const char16_t* format, ...) {
  std::u16string text;
  va_list ap;
  va_start(ap, format);
  plat::formatW(text, format, ap);
  va_end(ap);
  kel::sdk::enter(kel::sdk::Op::Printf, {text}, {});
  if (auto& sink = kel::sdk::sinkSlot(); sink) {
    sink(text);
  } else {
    std::string utf8 = plat::toUtf8(text);
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
  }
  return static_cast<int>(text.size());
}
