#include "tools/info.h"

#include <cstdio>
#include <memory>

#include "engine/acdbhost.h"
#include "engine/info.h"
#include "extension/state.h"
#include "platform/utf.h"

namespace kel::tools {

namespace {
// DWG files start with "AC10"; anything else is taken as DXF (ASCII or binary).
bool looksLikeDwg(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char magic[4] = {};
  size_t n = std::fread(magic, 1, 4, f);
  std::fclose(f);
  return n == 4 && magic[0] == 'A' && magic[1] == 'C' && magic[2] == '1' && magic[3] == '0';
}
}  // namespace

int runInfo(const std::string& path, bool json) {
  // The engine is linked into the tool for this: it reads the file without the agent's library.
  static AcDbHostApplicationServices host;
  acdbSetHostApplicationServices(&host);
  std::unique_ptr<AcDbDatabase> db(new AcDbDatabase(false, true));
  if (!db) {
    std::fprintf(stderr, "kelmoor: out of memory\n");
    return 1;
  }
  std::u16string wpath = plat::fromUtf8(path);
  Acad::ErrorStatus es = looksLikeDwg(path) ? db->readDwgFile(wpath.c_str(), AcDbDatabase::kTryForReadShare)
                                            : db->dxfIn(wpath.c_str(), nullptr);
  if (es != Acad::eOk) {
    std::fprintf(stderr, "kelmoor: cannot read %s: %s\n", path.c_str(), statusName(es));
    return 1;
  }
  std::printf("%s\n", kel::engine::describe(*db, json).c_str());
  return 0;
}

}  // namespace kel::tools
