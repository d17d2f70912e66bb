// KelRx: the object the agent drives. The table of eight virtual operations below, in this order,
// is the contract with the agent and must not change.
#pragma once
#include <cstdint>

struct KelRx {
  virtual bool initialize(uint32_t flags);                                            // 0
  virtual bool terminate();                                                           // 1
  virtual bool dxfToDwg(const char16_t* dxfPath, const char16_t* dwgPath,             // 2
                        const char16_t* backupPath, int32_t* status,
                        const char16_t* logPath, const char16_t* reexportPath,
                        bool keepSettings, bool forceBackup);
  virtual bool resaveDwg(const char16_t* sourcePath, const char16_t* targetPath,      // 3
                         void* ignored);
  virtual bool dwgToDxf(const char16_t* dwgPath, const char16_t* dxfPath,             // 4
                        int32_t* status, void* ignored, uint64_t* seedBefore,
                        uint64_t* seedAfter, bool keepSettings);
  virtual const char* statusName(int32_t status);                                     // 5
  virtual int32_t releaseNumber();                                                    // 6
  virtual ~KelRx();                                                                   // 7
};

// The library's one export: the address of the one KelRx object.
__attribute__((visibility("default"))) KelRx* get_kelrx();
