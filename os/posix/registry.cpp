// os::Registry on POSIX: the hive file of HKEY_LOCAL_MACHINE in QOR_REGISTRY_DIR.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "os/posix/error_rules.h"
#include "os/posix/hive_registry.h"

namespace os::posix {
namespace {

// How long a writer waits for another one before giving up.
constexpr int LockWaitMilliseconds = 10000;

// Strips the "from the root" backslash; a path the hive file cannot hold is not a key name.
bool NormalisePath(const std::string& path, std::string& out) {
    std::string_view p = path;
    if (!p.empty() && p.front() == '\\') p.remove_prefix(1);
    if (p.empty()) {
        out.clear();
        return true;
    }
    if (!ValidKeyPath(p)) return false;
    out = p;
    return true;
}

bool ReadWhole(int fd, std::string& text) {
    // Room for the whole file at once, so that a large hive is not copied over and over as it grows.
    struct stat status {};
    if (fstat(fd, &status) == 0 && status.st_size > 0) text.reserve(static_cast<std::size_t>(status.st_size));
    char buffer[65536];
    while (true) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

bool WriteWhole(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

long MakeDirectories(const std::string& directory) {
    std::string partial;
    std::size_t start = 0;
    while (start <= directory.size()) {
        std::size_t end = directory.find('/', start);
        if (end == std::string::npos) end = directory.size();
        partial = directory.substr(0, end);
        if (!partial.empty() && mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return ErrorFromErrno(errno);
        start = end + 1;
    }
    return ErrorSuccess;
}

class LockFile {
public:
    explicit LockFile(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {}
    ~LockFile() {
        if (fd_ >= 0) close(fd_);  // closing drops the lock
    }
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    long Acquire() {
        if (fd_ < 0) return ErrorFromErrno(errno);
        for (int waited = 0; flock(fd_, LOCK_EX | LOCK_NB) != 0; waited += 5) {
            if (errno != EWOULDBLOCK && errno != EINTR) return ErrorFromErrno(errno);
            if (waited >= LockWaitMilliseconds) return ErrorTimeout;
            const timespec pause{0, 5 * 1000000L};
            nanosleep(&pause, nullptr);
        }
        return ErrorSuccess;
    }

private:
    int fd_;
};

}  // namespace

HiveRegistry::HiveRegistry(std::string directory)
    : directory_(std::move(directory)),
      hivePath_(directory_ + "/HKEY_LOCAL_MACHINE.reg"),
      lockPath_(hivePath_ + ".lock") {}

long HiveRegistry::Read(std::string& text, bool& exists) const {
    text.clear();
    const int fd = open(hivePath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            exists = false;
            return ErrorSuccess;
        }
        return ErrorFromErrno(errno);
    }
    const bool read = ReadWhole(fd, text);
    close(fd);
    if (!read) return ErrorRegistryIoFailed;
    exists = true;
    return ErrorSuccess;
}

long HiveRegistry::Load(Hive& hive, bool& exists) const {
    std::string text;
    if (const long read = Read(text, exists); read != ErrorSuccess) return read;
    if (!exists) {
        hive = Hive{};
        return ErrorSuccess;
    }
    std::optional<Hive> parsed = ParseHive(text);
    // A damaged hive is refused whole, as Windows refuses to load one.
    if (!parsed) return ErrorBadDb;
    hive = std::move(*parsed);
    return ErrorSuccess;
}

long HiveRegistry::LookUp(const std::string& path, std::optional<std::string_view> name, HiveLookup& found,
                          bool& exists) const {
    found = HiveLookup{};
    std::string text;
    if (const long read = Read(text, exists); read != ErrorSuccess || !exists) return read;
    std::optional<HiveLookup> looked = LookUpHive(text, path, name);
    // The same refusal of a damaged hive as Load's.
    if (!looked) return ErrorBadDb;
    found = std::move(*looked);
    return ErrorSuccess;
}

bool HiveRegistry::MayWrite() const {
    // The hive is replaced by rename, so the directory must be writable as well as the file.
    if (faccessat(AT_FDCWD, directory_.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
        // A missing directory is created by the first save, if its parent allows it.
        if (errno != ENOENT) return false;
        const std::size_t slash = directory_.find_last_of('/');
        const std::string parent = slash == std::string::npos || slash == 0 ? "/" : directory_.substr(0, slash);
        return access(parent.c_str(), F_OK) != 0 || faccessat(AT_FDCWD, parent.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
    }
    return faccessat(AT_FDCWD, hivePath_.c_str(), W_OK, AT_EACCESS) == 0 || errno == ENOENT;
}

template <typename Change>
long HiveRegistry::Modify(Change change) {
    if (const long made = MakeDirectories(directory_); made != ErrorSuccess) return made;
    LockFile lock(lockPath_);
    if (const long locked = lock.Acquire(); locked != ErrorSuccess) return locked;
    // Re-read under the lock: another process may have saved since this one last looked.
    Hive hive;
    bool exists = false;
    if (const long loaded = Load(hive, exists); loaded != ErrorSuccess) return loaded;
    if (!change(hive) && exists) return ErrorSuccess;  // nothing changed: leave the file alone
    return WriteHive(hive);
}

long HiveRegistry::WriteHive(const Hive& hive) const {
    mode_t mode = 0644;
    struct stat old {};
    const bool replacing = stat(hivePath_.c_str(), &old) == 0;
    if (replacing) mode = old.st_mode & 07777;

    std::string temp = hivePath_ + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) return ErrorFromErrno(errno);
    temp = name.data();

    const std::string text = FormatHive(hive);
    bool ok = WriteWhole(fd, text) && fchmod(fd, mode) == 0;
    if (ok && replacing && (old.st_uid != geteuid() || old.st_gid != getegid())) {
        // Keep the owner when an administrator saves someone else's hive; failing that is harmless.
        [[maybe_unused]] const int owned = fchown(fd, old.st_uid, old.st_gid);
    }
    ok = ok && fsync(fd) == 0;
    const int error = ok ? 0 : errno;
    close(fd);
    if (!ok || rename(temp.c_str(), hivePath_.c_str()) != 0) {
        const int failure = ok ? errno : error;
        unlink(temp.c_str());
        return ErrorFromErrno(failure);
    }
    // Make the rename itself durable.
    const int dir = open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return ErrorSuccess;
}

long HiveRegistry::CreateKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) {
    return Open(root, path, access, true, key);
}

long HiveRegistry::OpenKey(RegKey root, const std::string& path, std::uint32_t access, RegKey& key) {
    return Open(root, path, access, false, key);
}

long HiveRegistry::Open(RegKey root, const std::string& path, std::uint32_t access, bool create, RegKey& key) {
    std::string base;
    if (root != HkeyLocalMachine) {
        const auto parent = open_.find(root);
        if (parent == open_.end()) return ErrorInvalidHandle;
        base = parent->second.path;
    }
    std::string relative;
    if (!NormalisePath(path, relative)) return ErrorInvalidParameter;
    const std::string full = base.empty() ? relative : relative.empty() ? base : base + "\\" + relative;

    // Only whether the key is there: the file is read and checked whole, but no hive is built from it.
    HiveLookup found;
    bool exists = false;
    if (const long loaded = LookUp(full, std::nullopt, found, exists); loaded != ErrorSuccess) return loaded;
    // Reading never needs more than KeyRead; anything else needs write.
    const bool wantsWrite = (access & ~KeyRead) != 0;
    const bool present = exists && (full.empty() || found.keyExists);
    if (!present && !create) return ErrorFileNotFound;
    if ((wantsWrite || !present) && !MayWrite()) return ErrorAccessDenied;
    if (!present) {
        if (const long made = Modify([&](Hive& h) { return EnsureKey(h, full); }); made != ErrorSuccess) {
            return made;
        }
    }
    key = nextKey_++;
    open_[key] = OpenedKey{full, access};
    return ErrorSuccess;
}

long HiveRegistry::QueryValue(RegKey key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* size) {
    const auto it = open_.find(key);
    if (it == open_.end()) return ErrorInvalidHandle;
    if ((it->second.access & KeyQueryValue) == 0) return ErrorAccessDenied;
    if (data && !size) return ErrorInvalidParameter;
    HiveLookup found;
    bool exists = false;
    if (const long loaded = LookUp(it->second.path, name, found, exists); loaded != ErrorSuccess) return loaded;
    if (!exists || !found.keyExists) return ErrorKeyDeleted;
    if (!found.value) return ErrorFileNotFound;
    const HiveValue* value = &*found.value;
    if (type) *type = value->type;
    const auto needed = static_cast<std::uint32_t>(value->data.size());
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ErrorMoreData;
        }
        if (needed != 0) std::memcpy(data, value->data.data(), needed);
    }
    if (size) *size = needed;
    return ErrorSuccess;
}

long HiveRegistry::SetValue(RegKey key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                            std::uint32_t size) {
    const auto it = open_.find(key);
    if (it == open_.end()) return ErrorInvalidHandle;
    if ((it->second.access & KeySetValue) == 0) return ErrorAccessDenied;
    if (!data && size != 0) return ErrorInvalidParameter;
    if (!ValidValueName(name)) return ErrorInvalidParameter;
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::string& path = it->second.path;
    return Modify([&](Hive& hive) {
        bool changed = EnsureKey(hive, path);
        HiveKey& target = *FindKey(hive, path);
        HiveValue* value = FindValue(target, name);
        if (!value) {
            target.values.push_back(HiveValue{name, type, bytes});
            return true;
        }
        if (value->type != type || value->data != bytes) {
            value->type = type;
            value->data = bytes;
            changed = true;
        }
        return changed;
    });
}

long HiveRegistry::CloseKey(RegKey key) {
    if (key == HkeyLocalMachine) return ErrorSuccess;
    return open_.erase(key) == 1 ? ErrorSuccess : ErrorInvalidHandle;
}

}  // namespace os::posix

namespace os {

Registry& RealRegistry() {
    static posix::HiveRegistry registry(QOR_REGISTRY_DIR);
    return registry;
}

std::string_view WriteAccessHint() {
    return "Run the program as a user who may write the registry directory " QOR_REGISTRY_DIR ".";
}

}  // namespace os
