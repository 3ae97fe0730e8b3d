// morvex-render: an offline host for VST 2.4 modules. For now it prints a module's identity
// and parameters (--info).
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "host/vst_host.h"

namespace {

std::string besideExecutable(const char* fileName) {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (length <= 0) return fileName;
    path[length] = '\0';
    std::string directory(path);
    directory.erase(directory.find_last_of('/') + 1);
    return directory + fileName;
}

void printInfo(vsthost::Effect& effect) {
    AEffect* record = effect.record();
    std::printf("effect name : %s\n", effect.effectName().c_str());
    std::printf("vendor      : %s\n", effect.vendorString().c_str());
    std::printf("product     : %s\n", effect.productString().c_str());
    std::printf("version     : %ld\n", static_cast<long>(effect.dispatch(effGetVendorVersion)));
    std::printf("unique id   : 0x%08X\n", static_cast<unsigned>(record->uniqueID));
    std::printf("channels    : %d in, %d out\n", record->numInputs, record->numOutputs);
    std::printf("\n%5s  %-16s %-10s %-16s %s\n", "index", "name", "value", "display", "label");
    for (VstInt32 i = 0; i < record->numParams; ++i)
        std::printf("%5d  %-16s %-10g %-16s %s\n", i, effect.paramName(i).c_str(), effect.getParameter(i),
                    effect.paramDisplay(i).c_str(), effect.paramLabel(i).c_str());
}

int usage() {
    std::fprintf(stderr, "usage: morvex-render [--plugin PATH] --info\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string modulePath = besideExecutable(MORVEX_DEFAULT_MODULE);
    bool info = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--plugin") == 0 && i + 1 < argc) modulePath = argv[++i];
        else if (std::strcmp(argv[i], "--info") == 0) info = true;
        else return usage();
    }
    if (!info) return usage();

    std::string error;
    auto module = vsthost::Module::load(modulePath, error);
    if (!module) {
        std::fprintf(stderr, "morvex-render: %s\n", error.c_str());
        return 1;
    }
    auto effect = module->instantiate();
    if (!effect) {
        std::fprintf(stderr, "morvex-render: %s: the entry point returned no effect\n", modulePath.c_str());
        return 1;
    }
    effect->open();
    printInfo(*effect);
    return 0;
}
