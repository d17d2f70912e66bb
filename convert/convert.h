// The conversions the agent asks for, and the guarded write steps they share.
#pragma once
#include <cstdint>

#include "engine/dbmain.h"

// The one DWG save: back up and rename, format version 31.
Acad::ErrorStatus saveAsCurrent(AcDbDatabase* db, const char16_t* path, const SecurityParams* security);
// A DWG save / DXF export with the four save settings held at 0 during the write (unless
// keepSettings) and put back afterwards; an exception from the write becomes eNoInputFiler.
Acad::ErrorStatus saveAsWithSettings(AcDbDatabase* db, const char16_t* path, bool keepSettings);
Acad::ErrorStatus dxfOutWithSettings(AcDbDatabase* db, const char16_t* path, bool keepSettings);

bool dxfToDwg(const char16_t* dxfPath, const char16_t* dwgPath, const char16_t* backupPath,
              int32_t* status, const char16_t* logPath, const char16_t* reexportPath,
              bool keepSettings, bool forceBackup);
bool resaveDwg(const char16_t* sourcePath, const char16_t* targetPath, void* ignored);
bool dwgToDxf(const char16_t* dwgPath, const char16_t* dxfPath, int32_t* status, void* ignored,
              uint64_t* seedBefore, uint64_t* seedAfter, bool keepSettings);
