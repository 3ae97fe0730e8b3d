#include "module_file.h"

#include <elf.h>
#include <link.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

namespace validate {
namespace {

std::vector<int> versionNumbers(const std::string& name) {
    std::vector<int> numbers;
    std::size_t at = name.find('_');
    while (at != std::string::npos && at + 1 < name.size()) {
        numbers.push_back(std::atoi(name.c_str() + at + 1));
        at = name.find('.', at + 1);
    }
    return numbers;
}

template <typename T>
bool readAt(const std::vector<char>& file, std::size_t offset, T& out) {
    if (offset > file.size() || file.size() - offset < sizeof(T)) return false;
    std::memcpy(&out, file.data() + offset, sizeof(T));
    return true;
}

std::string stringAt(const std::vector<char>& file, const ElfW(Shdr)& table, std::size_t index) {
    if (index >= table.sh_size || table.sh_offset + index >= file.size()) return {};
    const char* start = file.data() + table.sh_offset + index;
    const std::size_t room = std::min<std::size_t>(table.sh_size - index, file.size() - table.sh_offset - index);
    return std::string(start, strnlen(start, room));
}

}  // namespace

std::string newestGlibc(const std::vector<std::string>& versions) {
    std::string newest;
    for (const auto& version : versions)
        if (newest.empty() || versionNumbers(newest) < versionNumbers(version)) newest = version;
    return newest;
}

ModuleFile readModuleFile(const std::string& path) {
    ModuleFile result;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ElfW(Ehdr) header;
    if (!readAt(file, 0, header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
        result.error = "not an ELF file";
        return result;
    }
    if (header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32)) {
        result.error = "ELF class differs from this validator's";
        return result;
    }
    std::vector<ElfW(Shdr)> sections(header.e_shnum);
    for (std::size_t i = 0; i < sections.size(); ++i)
        if (!readAt(file, header.e_shoff + i * sizeof(ElfW(Shdr)), sections[i])) {
            result.error = "truncated section headers";
            return result;
        }
    for (const auto& section : sections) {
        if (section.sh_link >= sections.size()) continue;
        const auto& strings = sections[section.sh_link];
        if (section.sh_type == SHT_DYNSYM) {
            const std::size_t count = section.sh_entsize ? section.sh_size / section.sh_entsize : 0;
            for (std::size_t i = 1; i < count; ++i) {
                ElfW(Sym) symbol;
                if (!readAt(file, section.sh_offset + i * section.sh_entsize, symbol)) break;
                const int binding = ELF64_ST_BIND(symbol.st_info);
                // Version-node names show up as absolute symbols; they are not code or data.
                if (symbol.st_shndx == SHN_UNDEF || symbol.st_shndx == SHN_ABS) continue;
                if (binding != STB_GLOBAL && binding != STB_WEAK && binding != STB_GNU_UNIQUE) continue;
                result.exports.push_back(stringAt(file, strings, symbol.st_name));
            }
        } else if (section.sh_type == SHT_GNU_verneed) {
            std::size_t need = section.sh_offset;
            for (std::size_t files = 0; files < section.sh_info; ++files) {
                ElfW(Verneed) entry;
                if (!readAt(file, need, entry)) break;
                std::size_t aux = need + entry.vn_aux;
                for (std::size_t v = 0; v < entry.vn_cnt; ++v) {
                    ElfW(Vernaux) version;
                    if (!readAt(file, aux, version)) break;
                    std::string name = stringAt(file, strings, version.vna_name);
                    if (name.rfind("GLIBC_", 0) == 0 && name.size() > 6 && std::isdigit(static_cast<unsigned char>(name[6])) &&
                        std::find(result.glibcVersions.begin(), result.glibcVersions.end(), name) ==
                            result.glibcVersions.end())
                        result.glibcVersions.push_back(name);
                    if (!version.vna_next) break;
                    aux += version.vna_next;
                }
                if (!entry.vn_next) break;
                need += entry.vn_next;
            }
        }
    }
    std::sort(result.exports.begin(), result.exports.end());
    result.readable = true;
    return result;
}

}  // namespace validate
