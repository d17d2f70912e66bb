#pragma once
#include <string>

namespace kel::tools {
// Reads a DXF or DWG file with the engine and prints its description; returns the exit status.
int runInfo(const std::string& path, bool json);
}  // namespace kel::tools
