#include "Windows.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
UINT errorMode = 0;

// A folder we may trust: a real directory, our own, closed to others.
bool PrivateFolder(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return false;
    return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}
}  // namespace

DWORD GetTempPathA(DWORD nBufferLength, char* lpBuffer) {
    std::string base;
    if (const char* tmp = std::getenv("TMPDIR"); tmp && *tmp) base = tmp;
    else base = "/tmp";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const std::string folder = base + "/korvane-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return 0;
    if (!PrivateFolder(folder)) return 0;
    const std::string path = folder + "/";
    if (path.size() + 1 > nBufferLength || !lpBuffer) return static_cast<DWORD>(path.size() + 1);
    std::memcpy(lpBuffer, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}

UINT SetErrorMode(UINT uMode) {
    const UINT previous = errorMode;
    errorMode = uMode;
    return previous;
}

HMODULE LoadLibraryA(const char* lpLibFileName) {
    if (!lpLibFileName) return 0;
    // A bare name would search the system's library path; the intro always
    // means the file it names.
    std::string path = lpLibFileName;
    if (path.find('/') == std::string::npos) path = "./" + path;
    return reinterpret_cast<HMODULE>(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

FARPROC GetProcAddress(HMODULE hModule, const char* lpProcName) {
    if (!hModule || !lpProcName) return nullptr;
    return reinterpret_cast<FARPROC>(dlsym(reinterpret_cast<void*>(hModule), lpProcName));
}

bool FreeLibrary(HMODULE hLibModule) {
    if (!hLibModule) return false;
    return dlclose(reinterpret_cast<void*>(hLibModule)) == 0;
}
