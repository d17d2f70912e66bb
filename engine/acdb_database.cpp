// AcDbDatabase: the public face of a drawing. Each operation passes the test seam first, then
// hands the work to the engine proper (engine/io.h).
#include <new>

#include "engine/dbmain.h"
#include "engine/sdk_seam.h"
#include "platform/utf.h"

using kel::sdk::Op;

namespace {
std::u16string text(const char16_t* s) { return s ? std::u16string(s) : std::u16string(u"<null>"); }
}  // namespace

void* AcDbDatabase::operator new(size_t size) noexcept { return AcHeapOperators::allocRawMem(size); }
void AcDbDatabase::operator delete(void* p) noexcept { AcHeapOperators::freeRawMem(p); }

AcDbDatabase::AcDbDatabase(bool buildDefaultDrawing, bool noDocument) {
  kel::sdk::enter(Op::NewDatabase, {}, {buildDefaultDrawing, noDocument});
  m_drawing = kel::engine::newDrawing(buildDefaultDrawing);
}

AcDbDatabase::~AcDbDatabase() {
  if (kel::sdk::seam().record) kel::sdk::seam().calls.push_back({Op::DeleteDatabase, {}, {}, {}});
}

namespace {
std::vector<int64_t> settingsOf(const AcDbDatabase& db) {
  const auto& s = kel::engine::saveSettings(const_cast<kel::engine::Drawing&>(db.drawing()));
  return {s.saveProxyGraphics, s.indexCtl, s.drawOrderCtl, s.updateThumbnail};
}
}  // namespace

Acad::ErrorStatus AcDbDatabase::readDwgFile(const char16_t* fileName, int shareMode, bool cp,
                                            const char16_t* password) {
  if (kel::sdk::seam().active())
    if (auto r = kel::sdk::enter(Op::ReadDwgShareMode, {text(fileName), text(password)},
                                 {shareMode, cp}))
      return *r;
  return kel::engine::readDwg(*m_drawing, fileName, shareMode);
}

Acad::ErrorStatus AcDbDatabase::readDwgFile(const char16_t* fileName, OpenMode openMode, bool cp,
                                            const char16_t* password) {
  if (kel::sdk::seam().active())
    if (auto r = kel::sdk::enter(Op::ReadDwgOpenMode, {text(fileName), text(password)},
                                 {openMode, cp}))
      return *r;
  // Try-for-read-share: deny writers while we read, as share mode 32 does.
  return kel::engine::readDwg(*m_drawing, fileName, 32);
}

Acad::ErrorStatus AcDbDatabase::dxfIn(const char16_t* dxfFileName, const char16_t* logFileName) {
  if (kel::sdk::seam().active())
    if (auto r = kel::sdk::enter(Op::DxfIn, {text(dxfFileName), text(logFileName)}, {}))
      return *r;
  return kel::engine::readDxf(*m_drawing, dxfFileName, logFileName);
}

Acad::ErrorStatus AcDbDatabase::dxfOut(const char16_t* fileName, int precision,
                                       AcDb::AcDbDwgVersion dwgVer, bool saveThumbnailImage) {
  if (kel::sdk::seam().active())
    if (auto r = kel::sdk::enter(Op::DxfOut, {text(fileName)}, {precision, dwgVer, saveThumbnailImage},
                                 settingsOf(*this)))
      return *r;
  return kel::engine::writeDxf(*m_drawing, fileName, precision, dwgVer, saveThumbnailImage);
}

Acad::ErrorStatus AcDbDatabase::saveAs(const char16_t* fileName, bool bakAndRename,
                                       AcDb::AcDbDwgVersion dwgVer, const SecurityParams* security) {
  if (kel::sdk::seam().active())
    if (auto r = kel::sdk::enter(Op::SaveAs, {text(fileName)},
                                 {bakAndRename, dwgVer, security != nullptr}, settingsOf(*this)))
      return *r;
  return kel::engine::writeDwg(*m_drawing, fileName, dwgVer, bakAndRename);
}

AcDbHandle AcDbDatabase::handseed() const {
  if (kel::sdk::seam().active()) {
    kel::sdk::enter(Op::Handseed, {}, {});
    if (auto it = kel::sdk::seam().getterValues.find(Op::Handseed); it != kel::sdk::seam().getterValues.end())
      return AcDbHandle(static_cast<uint64_t>(it->second));
  }
  return AcDbHandle(kel::engine::handseed(*m_drawing));
}

// The getters and setters: record, let a test throw from them, then touch the drawing's header.
#define KEL_SETTING(Getter, Setter, Type, Field, GetOp, SetOp)                                \
  Type AcDbDatabase::Getter() const {                                                         \
    if (kel::sdk::seam().active()) {                                                          \
      kel::sdk::enter(GetOp, {}, {});                                                         \
      auto& g = kel::sdk::seam().getterValues;                                                \
      if (auto it = g.find(GetOp); it != g.end()) return static_cast<Type>(it->second);       \
    }                                                                                         \
    return kel::engine::saveSettings(*m_drawing).Field;                                       \
  }                                                                                           \
  Acad::ErrorStatus AcDbDatabase::Setter(Type value) {                                        \
    if (kel::sdk::seam().active())                                                            \
      if (auto r = kel::sdk::enter(SetOp, {}, {value})) return *r;                            \
    kel::engine::saveSettings(*m_drawing).Field = value;                                      \
    return Acad::eOk;                                                                         \
  }

KEL_SETTING(saveproxygraphics, setSaveproxygraphics, Adesk_Int16, saveProxyGraphics,
            Op::GetSaveproxygraphics, Op::SetSaveproxygraphics)
KEL_SETTING(indexctl, setIndexctl, Adesk_UInt8, indexCtl, Op::GetIndexctl, Op::SetIndexctl)
KEL_SETTING(drawOrderCtl, setDrawOrderCtl, Adesk_UInt8, drawOrderCtl, Op::GetDrawOrderCtl,
            Op::SetDrawOrderCtl)
KEL_SETTING(updateThumbnail, setUpdateThumbnail, Adesk_UInt8, updateThumbnail,
            Op::GetUpdateThumbnail, Op::SetUpdateThumbnail)
#undef KEL_SETTING
