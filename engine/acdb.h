// Basic types of the drawing-database interface: versions, handles, the root object class and the
// engine's raw heap.
#pragma once
#include <cstddef>
#include <cstdint>

#include "engine/acadstrc.h"

using Adesk_Int16 = int16_t;
using Adesk_UInt8 = uint8_t;

namespace AcDb {
// DWG/DXF format versions as the engine numbers them. Only the ones the library names are listed;
// kDHL_1027 (31) is the AutoCAD 2013 format we write.
enum AcDbDwgVersion : int {
  kDHL_MC0_0 = 0,
  kDHL_1012 = 16,  // R13
  kDHL_1014 = 20,  // R14
  kDHL_1015 = 23,  // 2000
  kDHL_1018 = 25,  // 2004
  kDHL_1021 = 27,  // 2007
  kDHL_1024 = 29,  // 2010
  kDHL_1027 = 31,  // 2013
  kDHL_1032 = 33,  // 2018
  kDHL_CURRENT = kDHL_1027,
};
}  // namespace AcDb

// A 64-bit object handle.
class AcDbHandle {
 public:
  AcDbHandle() = default;
  explicit AcDbHandle(uint64_t value) : m_value(value) {}
  uint64_t value() const { return m_value; }
  explicit operator uint64_t() const { return m_value; }
  bool operator==(const AcDbHandle&) const = default;

 private:
  uint64_t m_value = 0;
};

class AcRxClass;

// Root of the engine's class tree; its five virtual operations come first in every table.
class AcRxObject {
 public:
  virtual ~AcRxObject() = default;
  virtual AcRxClass* isA() const { return nullptr; }
  virtual AcRxObject* clone() const { return nullptr; }
  virtual Acad::ErrorStatus copyFrom(const AcRxObject*) { return Acad::eNotApplicable; }
  virtual bool isEqualTo(const AcRxObject* other) const { return other == this; }
  virtual int comparedTo(const AcRxObject*) const { return 0; }
  virtual AcRxObject* subQueryX(const AcRxClass*) const { return nullptr; }
};

// The engine's raw heap. allocRawMem answers null when the memory cannot be had (or a test asks
// it to); freeRawMem accepts null.
struct AcHeapOperators {
  static void* allocRawMem(size_t size);
  static void freeRawMem(void* p);
};

// The security parameters of a save; the library always passes null.
struct SecurityParams;
