// KelHostApp: the host object the engine calls back to find files and to report a corrupt drawing.
#pragma once
#include <cstdint>

#include "engine/acdbhost.h"

// The agent's file-finding policy, stored by initialize. Bit 0: refuse the two engine modules.
// Bit 1: answer other requests by an existence test instead of blindly.
extern uint32_t findFileFlags;

class KelHostApp : public AcDbHostApplicationServices {
 public:
  KelHostApp() : AcDbHostApplicationServices(1) {}
  ~KelHostApp() override = default;

  Acad::ErrorStatus findFile(char16_t* fileOut, int bufLen, const char16_t* name,
                             AcDbDatabase* db = nullptr, FindFileHint hint = kDefault) override;
  Acad::ErrorStatus registerSelectFileCallback(const char16_t* appName, void* callback,
                                               bool asPrimary = false, bool removeSelf = false) override;
  void* workingGlobalsData() override;
  int getSubstituteFont(char16_t** fileName, char16_t* prompt, int type, int fontAlt) override;
  using AcDbHostApplicationServices::getSubstituteFont;
  bool notifyCorruptDrawingFoundOnOpen(uint64_t objectId, uint32_t es) override;
};
