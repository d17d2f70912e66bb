#include "convert/convert.h"

Acad::ErrorStatus saveAsCurrent(AcDbDatabase* db, const char16_t* path, const SecurityParams* security) {
  return db->saveAs(path, true, AcDb::kDHL_1027, security);
}

namespace {

struct Settings {
  Adesk_Int16 saveProxyGraphics;
  Adesk_UInt8 indexCtl, drawOrderCtl, updateThumbnail;
};

void apply(AcDbDatabase* db, const Settings& s) {
  db->setSaveproxygraphics(s.saveProxyGraphics);
  db->setIndexctl(s.indexCtl);
  db->setDrawOrderCtl(s.drawOrderCtl);
  db->setUpdateThumbnail(s.updateThumbnail);
}

// Reads the four settings, zeroes them unless asked to keep them, runs the write, and restores
// them whatever the write did. Only the write is guarded: a failing getter or setter is not ours
// to hide.
template <class Write>
Acad::ErrorStatus guardedSave(AcDbDatabase* db, bool keepSettings, Write write) {
  Acad::ErrorStatus status = Acad::eNoInputFiler;
  const Settings saved{db->saveproxygraphics(), db->indexctl(), db->drawOrderCtl(), db->updateThumbnail()};
  if (!keepSettings) apply(db, Settings{0, 0, 0, 0});
  try {
    status = write();
  } catch (...) {
    status = Acad::eNoInputFiler;
  }
  if (!keepSettings) apply(db, saved);
  return status;
}

}  // namespace

Acad::ErrorStatus saveAsWithSettings(AcDbDatabase* db, const char16_t* path, bool keepSettings) {
  return guardedSave(db, keepSettings, [&] { return saveAsCurrent(db, path, nullptr); });
}

Acad::ErrorStatus dxfOutWithSettings(AcDbDatabase* db, const char16_t* path, bool keepSettings) {
  return guardedSave(db, keepSettings, [&] { return db->dxfOut(path, 16, AcDb::kDHL_1027, false); });
}
