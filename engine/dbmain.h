// AcDbDatabase: one drawing held in memory, filled from DXF or DWG and written as either.
#pragma once
#include <memory>

#include "engine/acdb.h"

#include "engine/io.h"

class AcDbDatabase : public AcRxObject {
 public:
  // How readDwgFile may share the file with others.
  enum OpenMode {
    kForReadAndReadShare = 1,
    kForReadAndWriteNoShare = 2,
    kForReadAndAllShare = 3,
    kTryForReadShare = 4,
  };

  // buildDefaultDrawing: create the standard empty drawing content (tables, layer 0, layouts).
  // noDocument: the database belongs to no open document (always true here).
  explicit AcDbDatabase(bool buildDefaultDrawing = true, bool noDocument = false);
  ~AcDbDatabase() override;
  AcDbDatabase(const AcDbDatabase&) = delete;
  AcDbDatabase& operator=(const AcDbDatabase&) = delete;

  // Storage comes from AcHeapOperators::allocRawMem; a failed allocation makes the new-expression
  // yield null (nothing throws).
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* p) noexcept;

  // shareMode: _SH_DENYWR (32) lets others read but not write while we read.
  Acad::ErrorStatus readDwgFile(const char16_t* fileName, int shareMode = 32,
                                bool allowCPConversion = false, const char16_t* password = nullptr);
  Acad::ErrorStatus readDwgFile(const char16_t* fileName, OpenMode openMode,
                                bool allowCPConversion = false, const char16_t* password = nullptr);
  Acad::ErrorStatus dxfIn(const char16_t* dxfFileName, const char16_t* logFileName = nullptr);
  Acad::ErrorStatus dxfOut(const char16_t* fileName, int precision = 16,
                           AcDb::AcDbDwgVersion dwgVer = AcDb::kDHL_CURRENT,
                           bool saveThumbnailImage = false);
  Acad::ErrorStatus saveAs(const char16_t* fileName, bool bakAndRename,
                           AcDb::AcDbDwgVersion dwgVer = AcDb::kDHL_CURRENT,
                           const SecurityParams* security = nullptr);

  AcDbHandle handseed() const;

  Adesk_Int16 saveproxygraphics() const;
  Acad::ErrorStatus setSaveproxygraphics(Adesk_Int16 value);
  Adesk_UInt8 indexctl() const;
  Acad::ErrorStatus setIndexctl(Adesk_UInt8 value);
  Adesk_UInt8 drawOrderCtl() const;
  Acad::ErrorStatus setDrawOrderCtl(Adesk_UInt8 value);
  Adesk_UInt8 updateThumbnail() const;
  Acad::ErrorStatus setUpdateThumbnail(Adesk_UInt8 value);

  // The engine's own view of the drawing (for the engine and its tests).
  kel::engine::Drawing& drawing() { return *m_drawing; }
  const kel::engine::Drawing& drawing() const { return *m_drawing; }

 private:
  kel::engine::DrawingPtr m_drawing;
};
