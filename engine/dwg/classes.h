// The classes section: the types a drawing numbers from 500 on, and their DXF CLASS records.
#pragma once
#include <span>
#include <vector>

#include "engine/acadstrc.h"
#include "engine/dwg/bits.h"
#include "engine/dwg/objects.h"

namespace kel::dwg {

// Decodes the class records of `payload` (the section's data after its size field(s); from R2007
// on it starts with the size in bits of the data stream, as the header section does).
// Returns eOk or eDwgObjectImproperlyRead; `out` keeps the classes read before a fault.
Acad::ErrorStatus decodeClasses(std::span<const uint8_t> payload, Version v, uint16_t codePage,
                                std::vector<DwgClass>& out);

// One class as the groups of a DXF CLASS record (1, 2, 3, 90, 91, 280, 281).
kel::engine::Tags classTags(const DwgClass& c, Version v);

}  // namespace kel::dwg
