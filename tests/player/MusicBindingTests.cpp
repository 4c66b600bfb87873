// The temporary files, the binding of the player library and the music's
// start and stop, against fake libraries that log every call they receive.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BASSMOD_Dynamic.h"
#include "Quelmarn_Functions.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Writing a file dispatches pending messages: no real window system here.
        setenv("KORVANE_BACKEND", "headless", 1);
        char pattern[] = "/tmp/korvane-music-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch_ = pattern;
        setenv("TMPDIR", scratch_.c_str(), 1);
        log_ = scratch_ + "/calls.log";
        setenv("FAKE_BASSMOD_LOG", log_.c_str(), 1);
        temp_ = GetTempDir();
        ASSERT_FALSE(temp_.empty());
        dll_ = temp_ + "BassMod.DLL";
        module_ = temp_ + "Module.MOD";
        setenv("FAKE_DLL_PATH", dll_.c_str(), 1);
        setenv("FAKE_MODULE_PATH", module_.c_str(), 1);
        MusicPlaying = false;
        TempModulePath.clear();
        TempDllPath.clear();
    }
    void TearDown() override {
        UnloadBassModDll();
        MusicPlaying = false;
        unsetenv("FAKE_BASSMOD_LOG");
        fs::remove_all(scratch_);
    }
    void InstallFake(const char* library) {
        fs::copy_file(library, dll_, fs::copy_options::overwrite_existing);
        std::ofstream(module_) << "not really a module";
    }
    std::vector<std::string> Calls() {
        std::vector<std::string> lines;
        std::ifstream in(log_);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    void ClearCalls() { fs::remove(log_); }
    std::string LoadLine() const { return "MusicLoad 0 " + module_ + " 0 0 261"; }

    std::string scratch_, log_, temp_, dll_, module_;
};

// ---------------------------------------------------------------- binding

TEST_F(MusicTest, FolderWithAndWithoutDelimiterNameTheSameLibrary) {
    InstallFake(FAKE_LIB_complete);
    for (const std::string folder : {temp_, temp_.substr(0, temp_.size() - 1)}) {
        SCOPED_TRACE(folder);
        ASSERT_TRUE(LoadBassModDll(folder, "BassMod.DLL"));
        EXPECT_NE(BassModHandle, 0u);
        EXPECT_EQ(BASSMOD_GetVersion(), 0x00070000u);
        UnloadBassModDll();
    }
}

TEST_F(MusicTest, EmptyFolderPutsTheDelimiterBeforeTheName) {
    InstallFake(FAKE_LIB_complete);
    // "" + "/" + "tmp/.../BassMod.DLL" is the absolute path of the fake.
    EXPECT_TRUE(LoadBassModDll("", dll_.substr(1)));
    UnloadBassModDll();
    EXPECT_FALSE(LoadBassModDll("", "BassMod.DLL"));  // would be "/BassMod.DLL"
    EXPECT_EQ(BassModHandle, 0u);
}

TEST_F(MusicTest, SecondLoadLooksAtNothing) {
    InstallFake(FAKE_LIB_complete);
    ASSERT_TRUE(LoadBassModDll(temp_, "BassMod.DLL"));
    const HMODULE first = BassModHandle;
    EXPECT_TRUE(LoadBassModDll("/no/such/folder", "nothing.so"));
    EXPECT_EQ(BassModHandle, first);
}

TEST_F(MusicTest, IncompleteLibraryIsReleasedAndOptionalNameIsNotRequired) {
    struct Case {
        const char* library;
        bool binds;
    } cases[] = {
        {FAKE_LIB_no_removesync, false},
        {FAKE_LIB_no_getname, true},
        {FAKE_LIB_complete, true},
    };
    int ran = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.library);
        ClearCalls();
        InstallFake(c.library);
        EXPECT_EQ(LoadBassModDll(temp_, "BassMod.DLL"), c.binds);
        EXPECT_EQ(BassModHandle != 0, c.binds);
        if (!c.binds) {
            // Released at once: its unload hook already ran, and nothing was called.
            ASSERT_EQ(Calls().size(), 1u);
            EXPECT_EQ(Calls()[0].rfind("unload", 0), 0u);
        }
        UnloadBassModDll();
        ++ran;
    }
    EXPECT_EQ(ran, 3);
}

TEST_F(MusicTest, UnloadFreesTheMusicOnceThenReleases) {
    UnloadBassModDll();
    EXPECT_EQ(BassModHandle, 0u);
    EXPECT_TRUE(Calls().empty());
    InstallFake(FAKE_LIB_complete);
    ASSERT_TRUE(LoadBassModDll(temp_, "BassMod.DLL"));
    UnloadBassModDll();
    EXPECT_EQ(BassModHandle, 0u);
    const std::vector<std::string> expected{"MusicFree", "unload module=present dll=present"};
    EXPECT_EQ(Calls(), expected);
}

// ------------------------------------------------------ start and stop

TEST_F(MusicTest, StartMusicCallsWhatEachLibraryDeserves) {
    struct Case {
        const char* name;
        const char* library;  // null: no library file at all
        bool plays;
        std::vector<std::string> calls;  // "LOAD" stands for the module load
    } cases[] = {
        {"complete", FAKE_LIB_complete, true, {"GetVersion", "Init -1 44100 0", "LOAD", "MusicPlay"}},
        {"other version", FAKE_LIB_other_version, true, {"GetVersion", "Free", "LOAD", "MusicPlay"}},
        {"failing init", FAKE_LIB_init_fails, true, {"GetVersion", "Init -1 44100 0", "Free", "LOAD", "MusicPlay"}},
        {"refused module", FAKE_LIB_load_fails, false, {"GetVersion", "Init -1 44100 0", "LOAD"}},
        {"incomplete", FAKE_LIB_no_removesync, false, {"unload module=present dll=present"}},
        {"missing", nullptr, false, {}},
    };
    int ran = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClearCalls();
        fs::remove(dll_);
        if (c.library) InstallFake(c.library);
        MusicPlaying = false;
        TempModulePath.clear();
        TempDllPath.clear();
        EXPECT_EQ(StartMusic(temp_, DllFileName, temp_ + ModuleFileName), c.plays);
        std::vector<std::string> expected = c.calls;
        for (auto& line : expected)
            if (line == "LOAD") line = LoadLine();
        EXPECT_EQ(Calls(), expected);
        EXPECT_EQ(MusicPlaying, c.plays);
        EXPECT_EQ(TempModulePath, c.plays ? module_ : "");
        EXPECT_EQ(TempDllPath, c.plays ? dll_ : "");
        // A refused module keeps the library loaded; a failed binding does not.
        EXPECT_EQ(BassModHandle != 0, c.library && std::string(c.name) != "incomplete");
        UnloadBassModDll();
        ++ran;
    }
    EXPECT_EQ(ran, 6);
}

TEST_F(MusicTest, StopMusicFreesReleasesThenDeletesBothFiles) {
    InstallFake(FAKE_LIB_complete);
    ASSERT_TRUE(StartMusic(temp_, DllFileName, temp_ + ModuleFileName));
    ClearCalls();
    StopMusic();
    // The files are still there while the library is released, gone after.
    const std::vector<std::string> expected{"MusicFree", "Free", "MusicFree",
                                            "unload module=present dll=present"};
    EXPECT_EQ(Calls(), expected);
    EXPECT_EQ(BassModHandle, 0u);
    EXPECT_FALSE(fs::exists(module_));
    EXPECT_FALSE(fs::exists(dll_));
}

TEST_F(MusicTest, StopMusicWithoutStartedMusicLeavesEverything) {
    InstallFake(FAKE_LIB_load_fails);
    EXPECT_FALSE(StartMusic(temp_, DllFileName, temp_ + ModuleFileName));
    ClearCalls();
    StopMusic();
    EXPECT_TRUE(Calls().empty());
    EXPECT_NE(BassModHandle, 0u);
    EXPECT_TRUE(fs::exists(module_));
    EXPECT_TRUE(fs::exists(dll_));
}

TEST_F(MusicTest, DeleteTempFilesSkipsWhatIsNotThere) {
    TempModulePath.clear();
    TempDllPath.clear();
    DeleteTempFiles();  // nothing named: nothing happens
    std::ofstream(dll_) << "x";
    TempModulePath = module_;  // already gone
    TempDllPath = dll_;
    fs::create_directory(temp_ + "folder");
    DeleteTempFiles();
    EXPECT_FALSE(fs::exists(dll_));
    TempDllPath = temp_ + "folder";  // a folder is no file
    DeleteTempFiles();
    EXPECT_TRUE(fs::is_directory(temp_ + "folder"));
}

// ------------------------------------------------------- written files

TEST_F(MusicTest, WrittenFilesAreTheBlocksAndReplaceEarlierOnes) {
    EXPECT_EQ(ModuleData.size(), 45796u);
    EXPECT_EQ(std::vector<uint8_t>(ModuleData.begin(), ModuleData.end()), ReadBytes(MODULE_FILE));
    EXPECT_EQ(std::vector<uint8_t>(BassModDllData.begin(), BassModDllData.end()), ReadBytes(PLAYER_IMAGE));
    // A longer file left by an earlier run, and a link planted at the name.
    std::ofstream(module_) << std::string(100000, 'x');
    const std::string victim = scratch_ + "/victim";
    std::ofstream(victim) << "keep me";
    fs::create_symlink(victim, dll_);
    WriteEmbeddedFile(temp_ + DllFileName, BassModDllData);
    WriteEmbeddedFile(temp_ + ModuleFileName, ModuleData);
    EXPECT_EQ(ReadBytes(module_), std::vector<uint8_t>(ModuleData.begin(), ModuleData.end()));
    EXPECT_EQ(ReadBytes(dll_), std::vector<uint8_t>(BassModDllData.begin(), BassModDllData.end()));
    EXPECT_FALSE(fs::is_symlink(dll_));
    EXPECT_EQ(ReadBytes(victim), std::vector<uint8_t>({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    // No scratch file is left beside them.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(temp_)) entries += e.path().filename().string()[0] == '.';
    EXPECT_EQ(entries, 0);
    WriteEmbeddedFile(temp_ + "empty", {});
    EXPECT_EQ(fs::file_size(temp_ + "empty"), 0u);
}

TEST_F(MusicTest, FolderThatCannotBeWrittenRaisesTheCreationErrorNamingThePath) {
    std::ofstream(scratch_ + "/plainfile") << "x";
    for (const std::string path : {scratch_ + "/missing/BassMod.DLL", scratch_ + "/plainfile/BassMod.DLL"}) {
        SCOPED_TRACE(path);
        try {
            WriteEmbeddedFile(path, BassModDllData);
            ADD_FAILURE() << "no error";
        } catch (const EFCreateError& e) {
            EXPECT_NE(e.Message.find("Cannot create file \"" + path + "\""), std::string::npos) << e.Message;
        }
    }
}

TEST_F(MusicTest, PrivateFolderIsRefusedUnlessItIsOursAndClosed) {
    const std::string own = "korvane-" + std::to_string(geteuid());
    struct Case {
        const char* name;
        void (*prepare)(const std::string& folder, const std::string& elsewhere);
        bool accepted;
    } cases[] = {
        {"missing is made", [](const std::string&, const std::string&) {}, true},
        {"open to others",
         [](const std::string& f, const std::string&) { fs::create_directory(f); chmod(f.c_str(), 0777); }, false},
        {"a link", [](const std::string& f, const std::string& e) { fs::create_directory(e); chmod(e.c_str(), 0700);
                                                                     fs::create_directory_symlink(e, f); }, false},
        {"someone else's",
         [](const std::string& f, const std::string&) {
             fs::create_directory(f);
             chmod(f.c_str(), 0700);
             if (chown(f.c_str(), geteuid() + 4242, getegid()) != 0) fs::remove(f);
         },
         false},
        {"a file", [](const std::string& f, const std::string&) { std::ofstream(f) << "x"; }, false},
    };
    int ran = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string base = scratch_ + "/case" + std::to_string(ran);
        fs::create_directory(base);
        setenv("TMPDIR", base.c_str(), 1);
        c.prepare(base + "/" + own, base + "/elsewhere");
        if (std::string(c.name) == "someone else's" && !fs::exists(base + "/" + own)) {
            ++ran;  // not permitted to give a folder away here
            continue;
        }
        const std::string dir = GetTempDir();
        EXPECT_EQ(dir, c.accepted ? base + "/" + own + "/" : "");
        if (c.accepted) {
            struct stat st;
            ASSERT_EQ(lstat(dir.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0700u);
        }
        ++ran;
    }
    EXPECT_EQ(ran, 5);
    setenv("TMPDIR", scratch_.c_str(), 1);
}

}  // namespace
