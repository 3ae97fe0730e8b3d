// The platform's library loader behind one small interface: open a module by path, look up
// a symbol, close it when the object goes.
#pragma once

#include <memory>
#include <string>

namespace vsthost {

class SharedLibrary {
public:
    virtual ~SharedLibrary() = default;
    virtual void* symbol(const char* name) const = 0;

    // Null on failure, with the loader's own words in `error`.
    static std::unique_ptr<SharedLibrary> open(const std::string& path, std::string& error);
};

}  // namespace vsthost
