#include "convert/convert.h"

#include <memory>

#include "engine/acdbhost.h"
#include "lib/cpu/shared/getfn.h"
#include "platform/crt.h"

namespace {

struct DatabaseDeleter {
  void operator()(AcDbDatabase* db) const { delete db; }
};
using Database = std::unique_ptr<AcDbDatabase, DatabaseDeleter>;

Database newDatabase() { return Database(new AcDbDatabase(false, true)); }

// Clears the way for the new DWG file: recycle the existing one, or move it to the backup name.
// Prints the reason and answers false when the old file could not be moved.
bool moveExistingTarget(const char16_t* dwgPath, const char16_t* backupPath, bool forceBackup) {
  if (plat::_waccess(dwgPath, 0) == -1) return true;
  if (backupPath) {
    if (!forceBackup && recycleFile(dwgPath, false, nullptr)) return true;
    if (plat::_waccess(backupPath, 0) != -1) plat::_wunlink(backupPath);
    if (plat::_wrename(dwgPath, backupPath) != 0) {
      acutPrintf(u"\nCannot backup existing DWG file: %s to %s.", dwgPath, backupPath);
      return false;
    }
    return true;
  }
  if (!recycleFile(dwgPath, false, nullptr)) {
    acutPrintf(u"\nCannot move existing DWG file to recycle bin: %s.", dwgPath);
    return false;
  }
  return true;
}

}  // namespace

bool dxfToDwg(const char16_t* dxfPath, const char16_t* dwgPath, const char16_t* backupPath,
              int32_t* status, const char16_t* logPath, const char16_t* reexportPath,
              bool keepSettings, bool forceBackup) {
  Database db = newDatabase();
  if (!db) return false;
  Acad::ErrorStatus es = Acad::eInvalidInput;
  try {
    es = db->dxfIn(dxfPath, logPath);
  } catch (...) {
    acutPrintf(u"\nCannot validate %s", dwgPath ? dwgPath : dxfPath);
    es = Acad::eInvalidInput;
  }
  if (es == Acad::eOk && dwgPath) {
    // An import that failed never disturbs the existing DWG file; the status is not written when
    // the old file could not be moved.
    if (!moveExistingTarget(dwgPath, backupPath, forceBackup)) return false;
    // A failed re-export is neither printed nor reported: the save decides the outcome.
    if (reexportPath && reexportPath[0]) dxfOutWithSettings(db.get(), reexportPath, keepSettings);
    es = saveAsWithSettings(db.get(), dwgPath, keepSettings);
    if (es != Acad::eOk) acutPrintf(u"\nCould not write %s.", dwgPath);
  }
  db.reset();
  if (status) *status = es;
  return es == Acad::eOk;
}

bool resaveDwg(const char16_t* sourcePath, const char16_t* targetPath, void*) {
  Database db = newDatabase();
  if (!db) return false;
  // Exceptions from the engine pass to the caller here; the database is still released.
  Acad::ErrorStatus es = db->readDwgFile(sourcePath, 32, false, nullptr);
  if (es != Acad::eOk)
    acutPrintf(u"\nCould not read %s.", sourcePath);
  else
    es = saveAsCurrent(db.get(), targetPath, nullptr);
  if (es != Acad::eOk) acutPrintf(u"\nCould not SAVEAS to %s.", targetPath);
  return es == Acad::eOk;
}

bool dwgToDxf(const char16_t* dwgPath, const char16_t* dxfPath, int32_t* status, void*,
              uint64_t* seedBefore, uint64_t* seedAfter, bool keepSettings) {
  if (seedBefore) *seedBefore = 0;
  if (seedAfter) *seedAfter = 0;
  Database db = newDatabase();
  if (!db) return false;
  Acad::ErrorStatus es = Acad::eNoInputFiler;
  try {
    es = db->readDwgFile(dwgPath, AcDbDatabase::kTryForReadShare, false, nullptr);
  } catch (...) {
    es = Acad::eNoInputFiler;
  }
  if (status) *status = es;
  if (es != Acad::eOk) {
    acutPrintf(u"\nCould not read %s.", dwgPath);
  } else {
    uint64_t before = db->handseed().value();
    es = dxfOutWithSettings(db.get(), dxfPath, keepSettings);
    uint64_t after = db->handseed().value();
    if (seedBefore) *seedBefore = before;
    if (seedAfter) *seedAfter = after;
  }
  if (es != Acad::eOk) acutPrintf(u"\nCould not saveas DXFOUT to %s.", dxfPath);
  return es == Acad::eOk;
}
