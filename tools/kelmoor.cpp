// kelmoor: the agent program. It loads the conversion library, takes its one export, starts the
// engine, runs one operation through the KelRx table, and ends the engine's use.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "extension/KelRx.h"
#include "platform/utf.h"
#include "tools/info.h"

namespace {

const char* kUsage =
    "usage: kelmoor [--library PATH] [--flags N] COMMAND ARGS...\n"
    "\n"
    "Commands:\n"
    "  dxf2dwg DXF [DWG] [--backup P] [--force-backup] [--log P] [--reexport P] [--keep-settings]\n"
    "        Import DXF and save it as a DWG file (format AC1027). Without DWG the DXF file is only\n"
    "        imported (a validation). An existing DWG goes to the trash, or with --backup is moved\n"
    "        to P when the trash cannot take it (with --force-backup: moved to P at once).\n"
    "        --log P writes the import's log to P; --reexport P also writes the imported drawing\n"
    "        as DXF to P; --keep-settings keeps the four save settings (proxy graphics, index\n"
    "        control, draw order, thumbnail) instead of zeroing them for the write.\n"
    "  resave SRC DST\n"
    "        Read the DWG file SRC and save it as DWG (AC1027) under DST.\n"
    "  dwg2dxf DWG DXF [--keep-settings]\n"
    "        Export a DWG file as DXF (AC1027, 16 digits); prints the handle seed before and after.\n"
    "  info FILE [--json]\n"
    "        Describe a drawing: version, entity counts per space, layers, blocks, handle seed and\n"
    "        the four save settings (one JSON line with --json).\n"
    "  status-name CODE\n"
    "        Print the name of an engine status code.\n"
    "  release\n"
    "        Print the engine release the library is built on.\n"
    "\n"
    "Options:\n"
    "  --library PATH  the conversion library (default: libkelmoor-lib20.so next to this program,\n"
    "                  or in ../lib)\n"
    "  --flags N       file-finding flags for the engine: bit 0 refuses the engine's two optional\n"
    "                  modules, bit 1 answers other file requests by an existence test (default 0)\n"
    "  --help          this text\n"
    "\n"
    "Exit status: 0 success, 1 the operation failed, 2 bad usage or the library cannot be loaded.\n";

int usage(const char* problem) {
  if (!problem) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::fprintf(stderr, "kelmoor: %s\n%s", problem, "Try 'kelmoor --help' for the commands and options.\n");
  return 2;
}

std::string selfDir() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = 0;
  std::string p(buf);
  return p.substr(0, p.find_last_of('/'));
}

struct Args {
  std::vector<std::string> positional;
  std::optional<std::string> backup, log, reexport, library;
  bool forceBackup = false, keepSettings = false, json = false, help = false;
  uint32_t flags = 0;
  std::string error;
};

Args parse(int argc, char** argv) {
  Args a;
  for (int i = 1; i < argc; ++i) {
    std::string s = argv[i];
    auto value = [&](std::optional<std::string>& slot) {
      if (i + 1 >= argc) a.error = "option " + s + " needs a value";
      else slot = argv[++i];
    };
    if (s == "--help" || s == "-h") a.help = true;
    else if (s == "--backup") value(a.backup);
    else if (s == "--log") value(a.log);
    else if (s == "--reexport") value(a.reexport);
    else if (s == "--library") value(a.library);
    else if (s == "--force-backup") a.forceBackup = true;
    else if (s == "--keep-settings") a.keepSettings = true;
    else if (s == "--json") a.json = true;
    else if (s == "--flags") {
      std::optional<std::string> v;
      value(v);
      if (v) {
        char* end = nullptr;
        unsigned long f = std::strtoul(v->c_str(), &end, 0);
        if (v->empty() || *end) a.error = "--flags needs a number";
        a.flags = static_cast<uint32_t>(f);
      }
    } else if (s.size() > 1 && s[0] == '-' && s != "-") a.error = "unknown option " + s;
    else a.positional.push_back(s);
    if (!a.error.empty()) break;
  }
  return a;
}

std::u16string wide(const std::string& s) { return plat::fromUtf8(s); }
const char16_t* opt(const std::optional<std::u16string>& s) { return s ? s->c_str() : nullptr; }

}  // namespace

int main(int argc, char** argv) {
  Args a = parse(argc, argv);
  if (a.help) return usage(nullptr);
  if (!a.error.empty()) return usage(a.error.c_str());
  if (a.positional.empty()) return usage("no command given");
  const std::string cmd = a.positional[0];
  const size_t nargs = a.positional.size() - 1;
  auto need = [&](size_t lo, size_t hi) { return nargs >= lo && nargs <= hi; };

  if (cmd == "info") {
    if (!need(1, 1)) return usage("info takes one FILE");
    return kel::tools::runInfo(a.positional[1], a.json);
  }
  if (cmd == "dxf2dwg" ? !need(1, 2)
      : cmd == "resave" || cmd == "dwg2dxf" ? !need(2, 2)
      : cmd == "status-name" ? !need(1, 1)
      : cmd == "release" ? !need(0, 0)
      : true) {
    bool known = cmd == "dxf2dwg" || cmd == "resave" || cmd == "dwg2dxf" || cmd == "status-name" || cmd == "release";
    return usage(known ? ("wrong number of arguments for " + cmd).c_str() : ("unknown command " + cmd).c_str());
  }

  std::string lib = a.library ? *a.library : selfDir() + "/libkelmoor-lib20.so";
  if (!a.library && ::access(lib.c_str(), F_OK) != 0) lib = selfDir() + "/../lib/libkelmoor-lib20.so";
  void* handle = ::dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    std::fprintf(stderr, "kelmoor: cannot load %s: %s\n", lib.c_str(), ::dlerror());
    return 2;
  }
  using GetKelRx = KelRx* (*)();
  auto get = reinterpret_cast<GetKelRx>(::dlsym(handle, "_Z9get_kelrxv"));
  if (!get) {
    std::fprintf(stderr, "kelmoor: %s has no get_kelrx\n", lib.c_str());
    ::dlclose(handle);
    return 2;
  }
  KelRx* rx = get();
  int rc = 0;
  if (cmd == "status-name") {
    std::printf("%s\n", rx->statusName(static_cast<int32_t>(std::strtol(a.positional[1].c_str(), nullptr, 0))));
  } else if (cmd == "release") {
    std::printf("%d\n", rx->releaseNumber());
  } else if (!rx->initialize(a.flags)) {
    std::fprintf(stderr, "kelmoor: the engine could not be started\n");
    rc = 1;
  } else if (cmd == "dxf2dwg") {
    std::u16string dxf = wide(a.positional[1]);
    std::optional<std::u16string> dwg, backup, log, reexport;
    if (nargs == 2) dwg = wide(a.positional[2]);
    if (a.backup) backup = wide(*a.backup);
    if (a.log) log = wide(*a.log);
    if (a.reexport) reexport = wide(*a.reexport);
    int32_t status = -1;
    bool ok = rx->dxfToDwg(dxf.c_str(), opt(dwg), opt(backup), &status, opt(log), opt(reexport),
                           a.keepSettings, a.forceBackup);
    if (ok) {
      std::printf("dxf2dwg: %s -> %s: ok\n", a.positional[1].c_str(), dwg ? a.positional[2].c_str() : "(validated only)");
    } else {
      std::fprintf(stderr, "\nkelmoor: dxf2dwg failed: %s\n", status == -1 ? "the existing target could not be moved" : rx->statusName(status));
      rc = 1;
    }
  } else if (cmd == "resave") {
    std::u16string src = wide(a.positional[1]), dst = wide(a.positional[2]);
    if (rx->resaveDwg(src.c_str(), dst.c_str(), nullptr)) {
      std::printf("resave: %s -> %s: ok\n", a.positional[1].c_str(), a.positional[2].c_str());
    } else {
      std::fprintf(stderr, "\nkelmoor: resave failed\n");
      rc = 1;
    }
  } else if (cmd == "dwg2dxf") {
    std::u16string dwg = wide(a.positional[1]), dxf = wide(a.positional[2]);
    int32_t status = -1;
    uint64_t before = 0, after = 0;
    bool ok = rx->dwgToDxf(dwg.c_str(), dxf.c_str(), &status, nullptr, &before, &after, a.keepSettings);
    if (ok) {
      std::printf("dwg2dxf: %s -> %s: ok, handle seed %llX before, %llX after\n", a.positional[1].c_str(),
                  a.positional[2].c_str(), static_cast<unsigned long long>(before),
                  static_cast<unsigned long long>(after));
    } else {
      std::fprintf(stderr, "\nkelmoor: dwg2dxf failed: %s\n",
                   status != 0 ? rx->statusName(status) : "the DXF file could not be written");
      rc = 1;
    }
  }
  rx->terminate();
  ::dlclose(handle);
  return rc;
}
