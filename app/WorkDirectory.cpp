#include "app/WorkDirectory.h"

#include <array>
#include <cstring>

#include "framework/DriverRegistry.h"
#include "framework/Kernel.h"

namespace {
constexpr const char* kProductDriver = "Transbase for Lorbanix";
constexpr const char* kLocationValue = "Location";
constexpr const char* kProductFolder = "Lorbanix";
constexpr const char* kWorkFolder = "Velko";
constexpr const char* kLockSuffix = ".lock";
constexpr const char* kHistorySuffix = "-history.log";
constexpr std::size_t kLocationBuffer = 1024;
}  // namespace

CString ExeDirectoryOf(const CString& modulePath) {
    const int cut = modulePath.ReverseFind(PathSeparator()[0]);
    return cut < 0 ? CString() : modulePath.Left(cut);
}

CString ResolveWorkDirectory() {
    CString workDir = PathJoin(PathJoin(DefaultProductRoot(), kProductFolder), kWorkFolder);
    try {
        std::array<char, kLocationBuffer> location{};
        if (QueryDriverValue(kProductDriver, kLocationValue, location.data(), location.size())) {
            // Used exactly as stored: nothing added, removed or trimmed.
            workDir = PathJoin(CString(location.data()), kWorkFolder);
        }
    } catch (...) {  // NOLINT(bugprone-empty-catch): the default location stays
    }
    return workDir;
}

CString InstallLocationOf(const CString& workDir) {
    const int folder = static_cast<int>(std::strlen(PathSeparator()) + std::strlen(kWorkFolder));
    return workDir.Left(workDir.GetLength() - folder);
}

CString RunLockPath(const CString& workDir) {
    return workDir + kLockSuffix;
}

CString RunHistoryPath(const CString& workDir) {
    return workDir + kHistorySuffix;
}
