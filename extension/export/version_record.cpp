// The library's version record. On Windows it is the DLL's version resource; here the same values
// live in an ELF section of their own, ".kelmoor.version", readable with
// `readelf -p .kelmoor.version libkelmoor-lib20.so`: NUL-separated "Key=Value" strings.
__attribute__((section(".kelmoor.version"), used)) static const char kVersionRecord[] =
    "FileVersionNumber=3.2.1.15\0"
    "ProductVersionNumber=3.2.1.15\0"
    "FileVersion=3.0\0"
    "AgentApiVersion=3.0\0"
    "InternalName=kelmoorDwg\0"
    "OriginalFilename=libkelmoor-lib20.so\0"
    "FileDescription=kelmoor DWG/DXF conversion extension\0"
    "ProductName=kelmoor\0"
    "Language=0409 (US English), code page 04B0 (Unicode)\0";
