// What a module's file tells before it is loaded: the symbols it exports and the C library
// symbol versions it needs.
#pragma once

#include <string>
#include <vector>

namespace validate {

struct ModuleFile {
    bool readable = false;
    std::string error;
    std::vector<std::string> exports;        // defined dynamic symbols
    std::vector<std::string> glibcVersions;  // "GLIBC_2.14", one entry per version needed
};

ModuleFile readModuleFile(const std::string& path);

// The newest of the versions ("GLIBC_2.34" beats "GLIBC_2.4"); empty if none.
std::string newestGlibc(const std::vector<std::string>& versions);

}  // namespace validate
