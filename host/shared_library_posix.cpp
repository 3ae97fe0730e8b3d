#include <dlfcn.h>

#include "shared_library.h"

namespace vsthost {
namespace {

class PosixLibrary final : public SharedLibrary {
public:
    explicit PosixLibrary(void* handle) : handle_(handle) {}
    ~PosixLibrary() override { dlclose(handle_); }
    void* symbol(const char* name) const override { return dlsym(handle_, name); }

private:
    void* handle_;
};

}  // namespace

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path, std::string& error) {
    // RTLD_LOCAL keeps two modules' symbols apart, as real hosts do.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* message = dlerror();
        error = message ? message : "cannot load " + path;
        return nullptr;
    }
    return std::make_unique<PosixLibrary>(handle);
}

}  // namespace vsthost
