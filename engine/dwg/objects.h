// Decoding one DWG object record into a model record (type, handle, owner, reactors, extension
// dictionary, DXF-shaped body and extended data).
//
// A record is what the object map points at, without its leading size and trailing CRC. Its
// common part (type, handle, extended data, the common entity or object data and handles) is
// decoded for every type; the type's own part through its description (objects_types.h). A type
// without a description, or one whose description does not fit the bits, keeps its record bytes
// (`raw`), so the common part still places it and a DWG re-save can write it back unchanged.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/acadstrc.h"
#include "engine/dwg/bits.h"
#include "engine/dwg/objects_io.h"
#include "engine/model/tag.h"

namespace kel::dwg {

using kel::engine::Handle;
using kel::engine::Tags;

// One record of the classes section.
struct DwgClass {
  int number = 0;  // the object type number the class answers to (500 + index)
  int proxyFlags = 0;
  std::string appName;
  std::string cppName;
  std::string dxfName;
  bool wasZombie = false;
  bool isEntity = false;  // item class id 0x1F2 (0x1F3: object)
  int32_t instances = 0;  // R2004+
};

enum class RecordKind : uint8_t { Entity, Object, TableControl, TableEntry };

struct DecodedObject {
  uint16_t type = 0;
  std::string dxfName;   // "LINE", "VERTEX", "BLOCK_RECORD", class names, ...
  std::string typeName;  // the DWG type: "VERTEX_2D", "POLYLINE_PFACE", "LAYER_CONTROL", ...
  RecordKind kind = RecordKind::Object;
  std::string table;     // for table controls and entries: "LAYER", "BLOCK_RECORD", ...
  Handle handle = 0;
  Handle owner = 0;
  uint8_t entmode = 0;   // entities: 0 owner in the stream, 1 paper space, 2 model space
  std::vector<Handle> reactors;
  Handle xdict = 0;
  Tags body;   // DXF-shaped, handle-valued where DXF names a record
  Tags side;   // values DXF carries on another record (a block record's BLOCK fields)
  Tags xdata;  // 1001 (handle of the APPID until resolved) ...
  ObjectLinks links;
  bool decoded = false;          // the type's own part was understood
  std::vector<uint8_t> raw;      // the record bytes when not decoded
  Acad::ErrorStatus status = Acad::eOk;
  // Where the parts of the record lie, in bits from its first byte: used to copy a record kept
  // raw into another file (raw_records.h) without understanding its own part.
  struct Layout {
    size_t afterType = 0;      // after the type (and the R2000..R2007 data size): the handle
    size_t afterXdicFlag = 0;  // after the "no extension dictionary" flag (R2004+)
    size_t afterShadow = 0;    // entities, R2007+: after the shadow flags
    size_t previewAt = 0;      // entities: first byte of the graphics, and their size in bytes
    size_t previewBytes = 0;
    size_t ownData = 0;        // the type's own data starts here
    size_t handleStart = 0;    // the handle stream
    size_t ownHandles = 0;     // the type's own handles start here
    size_t end = 0;            // the record's size in bits
  } layout;
};

struct DecodeContext {
  Version version = Version::R2000;
  uint16_t codePage = 30;
  const std::vector<DwgClass>* classes = nullptr;
};

// Decodes `record`. eOk with `decoded` false means the common part was read and the type's own
// part kept raw; eDwgObjectImproperlyRead means not even the common part could be read.
Acad::ErrorStatus decodeObject(std::span<const uint8_t> record, const DecodeContext& ctx, DecodedObject& out);

// DWG keeps angles in radians; the DXF-shaped body has these in degrees (ARC 50/51, INSERT 50,
// TEXT 50/51, DIMENSION 50..53, table entries' rotations ...). decodeObject converts to degrees;
// a writer converts back before it stores a body.
void anglesToDegrees(const std::string& dxfName, Tags& body);
void anglesToRadians(const std::string& dxfName, Tags& body);

// The description registry: DWG type name and DXF name of a fixed type number or class name.
struct TypeDescription;
const TypeDescription* describeFixedType(uint16_t type);
const TypeDescription* describeClass(const std::string& dxfName);
// The DXF names of every type that has a description (for tests).
std::vector<std::string> describedTypeNames();

}  // namespace kel::dwg
