// The host-application-services object the engine calls back while it works: file finding, the
// corrupt-drawing notice and the host's other services. The table order below is fixed (84 entries,
// the destructor first); overriding classes must keep it. The defaults are what an engine without a
// real host answers: empty paths, zero, false, null.
#pragma once
#include <cstdint>

#include "engine/acdb.h"

class AcDbDatabase;
class AcDbUndoController;
class AcDbGlobals;
class AcDbTransactionManager;
class AcDbPlotSettingsValidator;
class AcDbLayoutManager;
class AcDbAbstractClipBoundaryDefinition;

class AcDbHostApplicationServices : public AcRxObject {
 public:
  // What kind of file a findFile request is for (the engine's hint; hosts may ignore it).
  enum FindFileHint {
    kDefault = 0, kFontFile, kCompiledShapeFile, kTrueTypeFontFile, kEmbeddedImageFile,
    kXRefDrawing, kPatternFile, kARXApplication, kFontMapFile, kUnderlayFile, kDataLinkFile,
    kPhotometricWebFile, kMaterialMapFile, kCloudOrProjectFile,
  };

  // createGlobals: 1 asks the engine to create its working globals at construction.
  explicit AcDbHostApplicationServices(int createGlobals = 1);
  ~AcDbHostApplicationServices() override;                                           // 0

  // 1..6 come from AcRxObject.
  virtual Acad::ErrorStatus findFile(char16_t* fileOut, int bufLen, const char16_t* name,  // 7
                                     AcDbDatabase* db = nullptr, FindFileHint hint = kDefault);
  virtual Acad::ErrorStatus getRoamableRootFolder(const char16_t*& folder);           // 8
  virtual Acad::ErrorStatus getLocalRootFolder(const char16_t*& folder);              // 9
  virtual Acad::ErrorStatus getAllUsersRootFolder(const char16_t*& folder);           // 10
  virtual Acad::ErrorStatus getGraphicsCacheFolder(const char16_t*& folder);          // 11
  virtual Acad::ErrorStatus selectFile(int& flags, const char16_t* prompt,            // 12
                                       const char16_t* ext, char16_t* fileOut, int bufLen);
  virtual Acad::ErrorStatus registerSelectFileCallback(const char16_t* appName,       // 13
                                                       void* callback, bool asPrimary = false,
                                                       bool removeSelf = false);
  virtual void* primaryClientForSelectFileCallback();                                 // 14
  virtual Acad::ErrorStatus getRegisteredSelectFileClients(void* clients);            // 15
  virtual Acad::ErrorStatus mapFile(char16_t* fileOut, int bufLen,                    // 16
                                    const char16_t* name, AcDbDatabase* db);
  virtual Acad::ErrorStatus registerMapFileCallback(const char16_t* appName,          // 17
                                                    void* callback, bool asPrimary = false);
  virtual void* primaryClientForMapFileCallback();                                    // 18
  virtual Acad::ErrorStatus setMapFlag(bool flag);                                    // 19
  virtual Acad::ErrorStatus getRegisteredFileMapClients(void* clients);               // 20
  virtual Acad::ErrorStatus registerMapFileNotification(const char16_t* appName,      // 21
                                                        void* callback, bool remove = false);
  virtual void fatalError(const char16_t* format, ...);                               // 22
  virtual void reportUnhandledArxException(const char16_t* appName);                  // 23
  virtual bool userBreak(bool updateDisplay = false) const;                            // 24
  virtual void displayChar(char16_t c) const;                                         // 25
  virtual void displayString(const char16_t* text, int count) const;                  // 26
  virtual bool readyToDisplayMessages();                                              // 27
  virtual void enableMessageDisplay(bool enable);                                     // 28
  virtual bool doFullCRCCheck();                                                      // 29
  virtual unsigned getTempPath(uint32_t bufLen, char16_t* buffer);                    // 30
  virtual const char16_t* getEnv(const char16_t* var);                                // 31
  virtual void* newProgressMeter();                                                   // 32
  virtual AcDbAbstractClipBoundaryDefinition* newClipBoundaryRectangular();           // 33
  virtual AcDbAbstractClipBoundaryDefinition* newClipBoundaryPolygonal();             // 34
  virtual void* newClipBoundaryArray();                                               // 35
  virtual AcDbUndoController* defaultUndoController();                                // 36
  virtual void* workingGlobalsData();                                                 // 37
  virtual AcDbGlobals* createWorkingGlobals();                                        // 38
  virtual const char16_t* program();                                                  // 39
  virtual const char16_t* product();                                                  // 40
  virtual const char16_t* companyName();                                              // 41
  virtual int prodcode();                                                             // 42
  virtual const char16_t* releaseMajorMinorString();                                  // 43
  virtual int releaseMajorVersion();                                                  // 44
  virtual int releaseMinorVersion();                                                  // 45
  virtual const char16_t* versionString();                                            // 46
  virtual const char16_t* getMachineRegistryProductRootKey();                         // 47
  virtual const char16_t* getUserRegistryProductRootKey();                            // 48
  virtual const char16_t* releaseMarketVersion();                                     // 49
  virtual uint32_t getRegistryProductLCID();                                          // 50
  virtual bool supportsMultiRedo() const;                                             // 51
  virtual int getModelerFlavor() const;                                               // 52
  virtual void* acadInternalServices();                                               // 53
  virtual bool isURL(const char16_t* name) const;                                     // 54
  virtual bool isRemoteFile(const char16_t* localName, char16_t* url, int bufLen) const;  // 55
  virtual Acad::ErrorStatus getRemoteFile(const char16_t* url, char16_t* localOut,    // 56
                                          int bufLen, bool ignoreCache = false) const;
  virtual Acad::ErrorStatus putRemoteFile(const char16_t* url,                        // 57
                                          const char16_t* localName) const;
  virtual bool isCloudFile(const char16_t* name) const;                               // 58
  virtual bool launchBrowserDialog(char16_t* selected, int bufLen, const char16_t* title,  // 59
                                   const char16_t* button, const char16_t* startUrl,
                                   const char16_t* registryRoot = nullptr,
                                   bool openButtonAlwaysEnabled = false) const;
  virtual void drawOleOwnerDrawItem(void* item, void* hdc, int32_t left, int32_t top,  // 60
                                    int32_t right, int32_t bottom);
  virtual Acad::ErrorStatus getNewOleClientItem(void*& item);                         // 61
  virtual Acad::ErrorStatus serializeOleItem(void* item, void* archive);              // 62
  virtual Acad::ErrorStatus _entToWorldTransform(double* ename, double* xform);       // 63
  virtual void terminateScript();                                                     // 64
  virtual int getSubstituteFont(char16_t** fileName, char16_t* prompt, int type,      // 65
                                int fontAlt);
  virtual int getSubstituteFont(char16_t** fileName, const char16_t* prompt,          // 66
                                int type, int fontAlt);
  virtual void alert(const char16_t* message) const;                                  // 67
  virtual void auditPrintReport(void* auditInfo, const char16_t* line, int both) const;  // 68
  virtual const char16_t* getAlternateFontName() const;                               // 69
  virtual const char16_t* getFontMapFileName() const;                                 // 70
  virtual bool cacheSymbolIndices() const;                                            // 71
  virtual AcDbPlotSettingsValidator* plotSettingsValidator() const;                   // 72
  virtual AcDbLayoutManager* layoutManager() const;                                   // 73
  virtual bool loadApp(const char16_t* appName, int reason, bool printIt,             // 74
                       bool asCmd);
  virtual void getDefaultPlotCfgInfo(char16_t* device, char16_t* styleTable);         // 75
  virtual void signingComplete(Acad::ErrorStatus es, const char16_t* msg,             // 76
                               bool* result);
  virtual bool getPassword(const char16_t* dwgName, int options,                      // 77
                           char16_t* password, size_t bufSize);
  virtual void usedPasswordFromCacheMsg(const char16_t* dwgName);                     // 78
  virtual void missingCryptoProviderMsg();                                            // 79
  virtual const char16_t* getColorBookLocation();                                     // 80
  virtual short getKeyState(int virtualKey) const;                                    // 81
  virtual bool requiredVersionNotAvailable(void* cls, AcDbDatabase* db) const;        // 82
  virtual bool notifyCorruptDrawingFoundOnOpen(uint64_t objectId, uint32_t es);       // 83

 protected:
  // The base keeps four words of engine data; the fourth is what slot 37 hands out.
  int m_createGlobals = 0;
  void* m_workingDatabase = nullptr;
  void* m_undoController = nullptr;
  void* m_workingGlobals = nullptr;
};

// Registers the host object; every later engine call goes through it.
Acad::ErrorStatus acdbSetHostApplicationServices(AcDbHostApplicationServices* services);
AcDbHostApplicationServices* acdbHostApplicationServices();
// Checks that the engine can work for the given locale (1033: US English). Needs a host object.
Acad::ErrorStatus acdbValidateSetup(long lcid);
// Never called by the library: the engine serves until the process ends.
Acad::ErrorStatus acdbCleanUp();

// The engine's command-line printer: %s takes a wide text. Each call's text goes to the print sink
// whole (the library's lines begin with "\n"); the default sink writes UTF-8 to standard error.
int acutPrintf(const char16_t* format, ...);
