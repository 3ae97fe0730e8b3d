#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "shared_library.h"

namespace vsthost {
namespace {

class Win32Library final : public SharedLibrary {
public:
    explicit Win32Library(HMODULE handle) : handle_(handle) {}
    ~Win32Library() override { FreeLibrary(handle_); }
    void* symbol(const char* name) const override {
        return reinterpret_cast<void*>(GetProcAddress(handle_, name));
    }

private:
    HMODULE handle_;
};

std::wstring widen(const std::string& text) {
    int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

std::string describe(DWORD code) {
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length ? std::string(text, length) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

}  // namespace

std::unique_ptr<SharedLibrary> SharedLibrary::open(const std::string& path, std::string& error) {
    // A module that cannot load reports through `error`, never through a message box.
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    HMODULE handle = LoadLibraryW(widen(path).c_str());
    const DWORD code = GetLastError();
    SetThreadErrorMode(previous, nullptr);
    if (!handle) {
        error = path + ": " + describe(code);
        return nullptr;
    }
    return std::make_unique<Win32Library>(handle);
}

}  // namespace vsthost
