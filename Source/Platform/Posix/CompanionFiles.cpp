#include "CompanionFiles.h"

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "FinalPath.h"

namespace skarvel {
namespace {

constexpr std::size_t kMaxNameLength = 255;
const char kLockSuffix[] = ".skarvel-lock";
const char kLegacyTemporarySuffix[] = ".skarvel-tmp";
const char kTemporaryTagSeparator[] = "-";
const char kHexDigits[] = "0123456789abcdef";

// The longest text the store appends to a companion's base: a temporary's suffix and tag.
constexpr std::size_t kLongestAppended =
    sizeof kLegacyTemporarySuffix - 1 + sizeof kTemporaryTagSeparator - 1 + kTemporaryTagLength;

// "." + the file's name, or "." + a hash of the name when the name and `appended` more
// characters would not fit in one directory entry.
std::string CompanionBase(const std::string& finalPath, std::size_t appended)
{
    const std::string name = BaseNameOf(finalPath);
    const std::string prefix =
        finalPath.rfind('/') == std::string::npos ? "" : DirectoryOf(finalPath) + "/";
    if (1 + name.size() + appended <= kMaxNameLength) {
        return prefix + "." + name;
    }
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (const char c : name) {
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 1099511628211ULL;
    }
    return prefix + "." + std::to_string(hash);
}

}  // namespace

std::string LockPathFor(const std::string& finalPath)
{
    return CompanionBase(finalPath, kLongestAppended) + kLockSuffix;
}

std::string TemporaryPathFor(const std::string& finalPath, const std::string& tag)
{
    return CompanionBase(finalPath, kLongestAppended) + kLegacyTemporarySuffix +
           kTemporaryTagSeparator + tag;
}

std::string LegacyTemporaryPathFor(const std::string& finalPath)
{
    return CompanionBase(finalPath, sizeof kLegacyTemporarySuffix - 1) + kLegacyTemporarySuffix;
}

std::string RandomTemporaryTag()
{
    unsigned char bytes[kTemporaryTagLength / 2];
    std::size_t filled = 0;
    while (filled < sizeof bytes) {
        const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::string();
        }
        filled += static_cast<std::size_t>(got);
    }
    std::string tag;
    for (const unsigned char byte : bytes) {
        tag += kHexDigits[byte >> 4];
        tag += kHexDigits[byte & 0xF];
    }
    return tag;
}

bool IsTemporaryTag(const std::string& tag)
{
    if (tag.size() != kTemporaryTagLength) {
        return false;
    }
    for (const char c : tag) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

void RemoveOwnLeftover(const std::string& path)
{
    struct stat status;
    if (lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        status.st_uid == geteuid() && status.st_nlink == 1) {
        unlink(path.c_str());
    }
}

}  // namespace skarvel
