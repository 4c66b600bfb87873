// The library's face as the built files show it: the dynamic symbol table
// read straight from the ELF file, and the names looked up after loading a
// copy from a scratch folder, as the intro loads the file it wrote.
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "support.h"

namespace {

const std::set<std::string> kExpected = {
    "BASSMOD_GetVersion",          "BASSMOD_GetDeviceDescription",   "BASSMOD_ErrorGetCode",
    "BASSMOD_Init",                "BASSMOD_Free",                   "BASSMOD_GetCPU",
    "BASSMOD_GetVolume",           "BASSMOD_SetVolume",              "BASSMOD_MusicLoad",
    "BASSMOD_MusicFree",           "BASSMOD_MusicPlay",              "BASSMOD_MusicPlayEx",
    "BASSMOD_MusicSetAmplify",     "BASSMOD_MusicSetPanSep",         "BASSMOD_MusicSetPositionScaler",
    "BASSMOD_MusicIsActive",       "BASSMOD_MusicStop",              "BASSMOD_MusicPause",
    "BASSMOD_MusicGetLength",      "BASSMOD_MusicSetPosition",       "BASSMOD_MusicGetPosition",
    "BASSMOD_MusicSetSync",        "BASSMOD_MusicRemoveSync",        "BASSMOD_MusicGetName"};

struct ExportedSymbol {
    std::string name;
    unsigned type;
};

template <typename T>
T ReadAt(const std::vector<uint8_t>& f, size_t off) {
    if (off + sizeof(T) > f.size()) throw std::runtime_error("ELF read beyond the file");
    T v;
    std::memcpy(&v, f.data() + off, sizeof(T));
    return v;
}

// Symbols the file defines in its dynamic symbol table (what dlsym can see).
std::vector<ExportedSymbol> DefinedDynamicSymbols(const std::vector<uint8_t>& f) {
    const auto eh = ReadAt<Elf64_Ehdr>(f, 0);
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
        throw std::runtime_error("not a 64-bit ELF file");
    std::vector<ExportedSymbol> out;
    for (unsigned i = 0; i < eh.e_shnum; ++i) {
        const auto sh = ReadAt<Elf64_Shdr>(f, eh.e_shoff + i * size_t{eh.e_shentsize});
        if (sh.sh_type != SHT_DYNSYM) continue;
        const auto strtab = ReadAt<Elf64_Shdr>(f, eh.e_shoff + sh.sh_link * size_t{eh.e_shentsize});
        for (size_t off = sh.sh_offset; off + sizeof(Elf64_Sym) <= sh.sh_offset + sh.sh_size; off += sizeof(Elf64_Sym)) {
            const auto sym = ReadAt<Elf64_Sym>(f, off);
            const unsigned bind = ELF64_ST_BIND(sym.st_info);
            if (sym.st_shndx == SHN_UNDEF || (bind != STB_GLOBAL && bind != STB_WEAK)) continue;
            const char* name = reinterpret_cast<const char*>(f.data() + strtab.sh_offset + sym.st_name);
            out.push_back({std::string(name, strnlen(name, f.size() - (strtab.sh_offset + sym.st_name))),
                           ELF64_ST_TYPE(sym.st_info)});
        }
    }
    return out;
}

}  // namespace

class ExportTable : public ::testing::TestWithParam<const char*> {};

TEST_P(ExportTable, IsExactlyTheTwentyFourEntryPoints) {
    const auto file = support::ReadAll(GetParam());
    ASSERT_FALSE(file.empty()) << GetParam();
    const auto symbols = DefinedDynamicSymbols(file);
    std::set<std::string> names;
    for (const auto& s : symbols) {
        names.insert(s.name);
        EXPECT_EQ(s.type, static_cast<unsigned>(STT_FUNC)) << s.name << " is not a function";
    }
    EXPECT_EQ(names, kExpected);
    EXPECT_EQ(symbols.size(), kExpected.size()) << "a name is exported twice";
}

INSTANTIATE_TEST_SUITE_P(BuiltFiles, ExportTable, ::testing::Values(BASSMOD_LIBRARY_PATH, BASSMOD_IMAGE_PATH));

TEST(ExportTable, ImageWrittenToAFolderLoadsAndReportsItsVersion) {
    support::ScratchDir dir;
    const auto path = dir.path / "BassMod.DLL";
    support::WriteAll(path, support::ReadAll(BASSMOD_IMAGE_PATH));
    support::Api api(path.string());  // throws if any of the 24 is missing
    EXPECT_EQ(api.BASSMOD_GetVersion(), 0x00070000u) << "before initialisation";
    EXPECT_EQ(dlsym(api.handle, "xmp_create_context") == dlsym(RTLD_DEFAULT, "xmp_create_context"), true)
        << "libxmp is linked dynamically, not copied in";
}
