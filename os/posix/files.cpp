// os::Files on POSIX: the Windows file calls' results and error codes over open/fcntl/mmap, share modes included.
#include "os/files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "os/posix/error_rules.h"
#include "os/posix/file_rules.h"

namespace os {
namespace {

// Share modes between openers through this service, in this process or another.
//
// Each open file description holds shared locks on bytes far beyond any data: one for "opened for
// reading", one for "opened for writing", one each for "denies reading", "denies writing" and
// "denies deleting". A new opener takes its own bytes and then looks for a conflict in both
// directions (its access against existing denials, its denials against existing access), all under
// a short exclusive gate lock so that two openers never pass each other. A mapping holds one more
// byte, "mapped", for as long as it or a view of it lives: an opener that would empty the file is
// refused while anyone holds it, as Windows refuses to cut a file under a view. The locks are per open file
// description (F_OFD_SETLK), so two handles of one process count as two openers, and they vanish
// with the descriptor: a crashed holder blocks nobody. Other programs (an editor, a copy) do not
// take these locks and are not held back.
constexpr off_t LockBase = std::numeric_limits<off_t>::max() - 16;
enum LockByte : off_t {
    GateByte = 0,
    MappedByte = 1,
    OpenedReadByte = 2,
    OpenedWriteByte = 3,
    DeniesReadByte = 4,
    DeniesWriteByte = 5,
    DeniesDeleteByte = 6,
};

struct flock LockRequest(short type, LockByte byte) {
    struct flock request {};
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = LockBase + byte;
    request.l_len = 1;
    return request;
}

int SetLock(int fd, short type, LockByte byte, bool wait) {
    struct flock request = LockRequest(type, byte);
    while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &request) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

// Whether another open file description holds a lock on `byte`.
bool HeldByOther(int fd, LockByte byte) {
    struct flock request = LockRequest(F_WRLCK, byte);
    if (fcntl(fd, F_OFD_GETLK, &request) != 0) return false;
    return request.l_type != F_UNLCK;
}

bool Readable(int fd) {
    const int mode = fcntl(fd, F_GETFL) & O_ACCMODE;
    return mode == O_RDONLY || mode == O_RDWR;
}

bool Writable(int fd) {
    const int mode = fcntl(fd, F_GETFL) & O_ACCMODE;
    return mode == O_WRONLY || mode == O_RDWR;
}

// Holds the gate while a share check runs. A descriptor that cannot take a write lock (a file this
// user may only read) checks without it: it still takes its own bytes before it looks, so a race
// can at worst refuse both openers, never admit two that conflict.
class Gate {
public:
    explicit Gate(int fd) : fd_(Writable(fd) && SetLock(fd, F_WRLCK, GateByte, true) == 0 ? fd : -1) {}
    ~Gate() {
        if (fd_ >= 0) SetLock(fd_, F_UNLCK, GateByte, false);
    }
    Gate(const Gate&) = delete;
    Gate& operator=(const Gate&) = delete;

private:
    int fd_;
};

constexpr std::uint32_t DataAccess = Files::GenericRead | Files::GenericWrite;

// Takes the opener's bytes on `fd` and answers whether its access and share mode fit the others'.
// The caller holds the gate; on a conflict it closes `fd`, which drops the bytes again.
bool ShareFits(int fd, std::uint32_t access, std::uint32_t share) {
    // An opener without data access neither checks nor counts, as on Windows.
    if ((access & DataAccess) == 0) return true;
    const bool reads = (access & Files::GenericRead) != 0;
    const bool writes = (access & Files::GenericWrite) != 0;
    // Shared locks need a readable descriptor; one that may only write (a file this user cannot
    // read) still checks the others but is not seen by them.
    if (Readable(fd)) {
        const std::pair<bool, LockByte> mine[] = {
            {reads, OpenedReadByte},
            {writes, OpenedWriteByte},
            {(share & Files::ShareRead) == 0, DeniesReadByte},
            {(share & Files::ShareWrite) == 0, DeniesWriteByte},
            {(share & Files::ShareDelete) == 0, DeniesDeleteByte},
        };
        // Shared locks never conflict with each other, so a refusal means a file system without
        // byte-range locks: such a file opens without share checks rather than not at all.
        for (const auto& [wanted, byte] : mine) {
            if (wanted && SetLock(fd, F_RDLCK, byte, false) != 0) return true;
        }
    }
    if (reads && HeldByOther(fd, DeniesReadByte)) return false;
    if (writes && HeldByOther(fd, DeniesWriteByte)) return false;
    if ((share & Files::ShareRead) == 0 && HeldByOther(fd, OpenedReadByte)) return false;
    if ((share & Files::ShareWrite) == 0 && HeldByOther(fd, OpenedWriteByte)) return false;
    return true;
}

// Deleting or renaming a file that an opener holds without ShareDelete fails, as on Windows.
class DeleteCheck {
public:
    explicit DeleteCheck(const std::string& name) : fd_(OpenAny(name)) {}
    ~DeleteCheck() {
        if (fd_ >= 0) {
            gate_.reset();
            close(fd_);
        }
    }
    DeleteCheck(const DeleteCheck&) = delete;
    DeleteCheck& operator=(const DeleteCheck&) = delete;

    // Holds the gate from here until the object goes, so no opener slips in before the deletion.
    bool Denied() {
        if (fd_ < 0) return false;
        gate_.emplace(fd_);
        return HeldByOther(fd_, DeniesDeleteByte);
    }

private:
    static int OpenAny(const std::string& name) {
        const int fd = open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        return fd >= 0 ? fd : open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    }

    int fd_;
    std::optional<Gate> gate_;
};

std::string ParentOf(const std::string& name) {
    const auto slash = name.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : name.substr(0, slash);
}

// ENOENT names the file when its directory exists and the path otherwise, as Windows tells them apart.
std::uint32_t NameError(int error, const std::string& name) {
    if (error != ENOENT) return ErrorFromErrno(error);
    struct stat parent {};
    const bool directoryThere = stat(ParentOf(name).c_str(), &parent) == 0 && S_ISDIR(parent.st_mode);
    return directoryThere ? ErrorFileNotFound : ErrorPathNotFound;
}

int CreationFlags(std::uint32_t disposition) {
    switch (disposition) {
    case Files::CreateNew:
        return O_CREAT | O_EXCL;
    case Files::CreateAlways:
    case Files::OpenAlways:
        return O_CREAT;
    case Files::OpenExisting:
    case Files::TruncateExisting:
        return 0;
    default:
        return -1;
    }
}

int AccessFlags(std::uint32_t access) {
    const bool reads = (access & Files::GenericRead) != 0;
    const bool writes = (access & Files::GenericWrite) != 0;
    if (writes) return reads ? O_RDWR : O_WRONLY;
    return O_RDONLY;
}

struct Entry {
    int fd = -1;
    bool mapping = false;
    std::uint32_t access = 0;  // file handles: the access asked for, which this table enforces
    std::size_t size = 0;      // mappings: the bytes a view covers
};

class PosixFiles final : public Files {
public:
    OpenResult Open(const std::string& name, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                    std::uint32_t flags) override {
        const int creation = CreationFlags(disposition);
        if (creation < 0) return {InvalidFileHandle, ErrorInvalidParameter};
        if (name.empty()) return {InvalidFileHandle, ErrorPathNotFound};
        const mode_t mode = (flags & AttributeReadOnly) ? 0444 : 0666;
        // Read and write when the user may, so that the share locks can be taken whatever was asked;
        // the handle table still refuses what the access does not allow.
        const int common = creation | O_CLOEXEC | O_NOCTTY;
        int fd = open(name.c_str(), O_RDWR | common, mode);
        if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS || errno == ETXTBSY || errno == EISDIR)) {
            fd = open(name.c_str(), AccessFlags(access) | common, mode);
        }
        if (fd < 0) {
            return {InvalidFileHandle,
                    disposition == CreateNew && errno == EEXIST ? ErrorFileExists : NameError(errno, name)};
        }
        struct stat info {};
        if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
            close(fd);
            return {InvalidFileHandle, ErrorAccessDenied};
        }
        const bool empties = disposition == TruncateExisting || (disposition == CreateAlways && info.st_size != 0);
        if (const std::uint32_t error = Admit(fd, access, share, empties); error != 0) {
            close(fd);
            return {InvalidFileHandle, error};
        }
        return {Register(Entry{fd, false, access, 0}), 0};
    }

    std::uint32_t Close(FileHandle handle) override {
        std::lock_guard lock(mutex_);
        const auto it = handles_.find(handle);
        if (it == handles_.end()) return ErrorInvalidHandle;
        const int fd = it->second.fd;
        handles_.erase(it);
        return close(fd) == 0 ? 0 : ErrorFromErrno(errno);
    }

    PointerResult SetPointer(FileHandle handle, std::int32_t distance, std::uint32_t method) override {
        const auto entry = Find(handle);
        if (!entry || entry->mapping) return {InvalidFilePosition, ErrorInvalidHandle};
        off_t origin = 0;
        if (method == FromCurrent) {
            origin = lseek(entry->fd, 0, SEEK_CUR);
        } else if (method == FromEnd) {
            struct stat info {};
            origin = fstat(entry->fd, &info) == 0 ? info.st_size : -1;
        } else if (method != FromBegin) {
            return {InvalidFilePosition, ErrorInvalidParameter};
        }
        if (origin < 0) return {InvalidFilePosition, ErrorFromErrno(errno)};
        const off_t target = origin + distance;
        if (target < 0) return {InvalidFilePosition, ErrorNegativeSeek};
        // Without a high part the new position has to fit in 32 bits.
        if (target > off_t{0xFFFFFFFE}) return {InvalidFilePosition, ErrorInvalidParameter};
        if (lseek(entry->fd, target, SEEK_SET) < 0) return {InvalidFilePosition, ErrorFromErrno(errno)};
        return {static_cast<std::uint32_t>(target), 0};
    }

    TransferResult Read(FileHandle handle, void* buffer, std::uint32_t count) override {
        const auto entry = Find(handle);
        if (!entry || entry->mapping) return {false, 0, ErrorInvalidHandle};
        if ((entry->access & GenericRead) == 0) return {false, 0, ErrorAccessDenied};
        auto* bytes = static_cast<char*>(buffer);
        std::uint32_t done = 0;
        while (done < count) {
            const ssize_t n = read(entry->fd, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return {false, done, ErrorFromErrno(errno)};
            if (n == 0) break;
            done += static_cast<std::uint32_t>(n);
        }
        return {true, done, 0};
    }

    TransferResult Write(FileHandle handle, const void* buffer, std::uint32_t count) override {
        const auto entry = Find(handle);
        if (!entry || entry->mapping) return {false, 0, ErrorInvalidHandle};
        if ((entry->access & GenericWrite) == 0) return {false, 0, ErrorAccessDenied};
        const auto* bytes = static_cast<const char*>(buffer);
        std::uint32_t done = 0;
        while (done < count) {
            const ssize_t n = write(entry->fd, bytes + done, count - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return {false, done, ErrorFromErrno(errno)};
            done += static_cast<std::uint32_t>(n);
        }
        return {true, done, 0};
    }

    SizeResult Size(FileHandle handle) override {
        const auto entry = Find(handle);
        if (!entry || entry->mapping) return {InvalidFilePosition, ErrorInvalidHandle};
        struct stat info {};
        if (fstat(entry->fd, &info) != 0) return {InvalidFilePosition, ErrorFromErrno(errno)};
        return {static_cast<std::uint32_t>(info.st_size), 0};
    }

    std::uint32_t Delete(const std::string& name) override {
        DeleteCheck check(name);
        if (check.Denied()) return ErrorSharingViolation;
        return unlink(name.c_str()) == 0 ? 0 : NameError(errno, name);
    }

    std::uint32_t Rename(const std::string& from, const std::string& to) override {
        DeleteCheck check(from);
        if (check.Denied()) return ErrorSharingViolation;
        if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
        if (errno == EXDEV) return MoveAcross(from, to, false);
        if (errno != EINVAL) return RenameError(errno, from);
        // A file system without RENAME_NOREPLACE: a hard link refuses an existing target just as well.
        if (link(from.c_str(), to.c_str()) != 0) {
            return errno == EXDEV ? MoveAcross(from, to, false) : RenameError(errno, from);
        }
        unlink(from.c_str());
        return 0;
    }

    std::uint32_t Replace(const std::string& from, const std::string& to) override {
        DeleteCheck check(from);
        if (check.Denied()) return ErrorSharingViolation;
        if (const std::uint32_t refused = ReplaceRefusal(to); refused != 0) return refused;
        // rename() swaps the target for the source in one step: there is never a moment without either.
        if (rename(from.c_str(), to.c_str()) == 0) return 0;
        if (errno == EXDEV) return MoveAcross(from, to, true);
        return RenameError(errno, from);
    }

    std::optional<FindEntry> FindFirst(const std::string& name, std::uint32_t skip) override {
        // A POSIX name has no wildcards: the one entry it names is the whole search.
        struct stat info {};
        if (name.empty() || stat(name.c_str(), &info) != 0) return std::nullopt;
        FindEntry entry;
        const auto slash = name.find_last_of('/');
        entry.name = slash == std::string::npos ? name : name.substr(slash + 1);
        entry.attributes = S_ISDIR(info.st_mode) ? AttributeDirectory : AttributeArchive;
        // Dot names are what a POSIX listing hides; no write bit at all is what "read-only" means here.
        if (!entry.name.empty() && entry.name.front() == '.') entry.attributes |= AttributeHidden;
        if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) entry.attributes |= AttributeReadOnly;
        if (entry.attributes & skip) return std::nullopt;
        const auto size = static_cast<std::uint64_t>(info.st_size);
        entry.sizeLow = static_cast<std::uint32_t>(size);
        entry.sizeHigh = static_cast<std::uint32_t>(size >> 32);
        return entry;
    }

    std::uint32_t MakeDirectory(const std::string& name) override {
        if (mkdir(name.c_str(), 0777) == 0) return 0;
        if (errno == EEXIST) return ErrorAlreadyExists;
        return errno == ENOENT ? ErrorPathNotFound : ErrorFromErrno(errno);
    }

    std::string FullPath(const std::string& name) override {
        if (name.empty()) return {};
        std::string whole = name;
        if (name.front() != '/') {
            std::vector<char> buffer(4096);
            while (getcwd(buffer.data(), buffer.size()) == nullptr) {
                if (errno != ERANGE) return {};
                buffer.resize(buffer.size() * 2);
            }
            whole = std::string(buffer.data()) + "/" + name;
        }
        return LexicalFullPath(whole);
    }

    OpenResult CreateMapping(FileHandle file) override {
        const auto entry = Find(file);
        if (!entry || entry->mapping) return {0, ErrorInvalidHandle};
        // A read-write mapping needs a handle that may read and write, as PAGE_READWRITE does.
        if ((entry->access & DataAccess) != DataAccess) return {0, ErrorAccessDenied};
        // The mapping keeps the file as its own reference, like the mapping object on Windows, through
        // an open file description of its own: its "mapped" byte must outlive neither it nor its views
        // and must not stay with the file handle once they are gone.
        const int fd = open(("/proc/self/fd/" + std::to_string(entry->fd)).c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return {0, ErrorFromErrno(errno)};
        {
            // Under the gate, so that no opener empties the file between its look and its cut. On a
            // file system without byte-range locks the file maps unguarded, as it opens unchecked.
            const Gate gate(fd);
            SetLock(fd, F_RDLCK, MappedByte, false);
        }
        struct stat info {};
        const std::uint32_t refused = fstat(fd, &info) != 0 ? ErrorFromErrno(errno)
                                      // Windows cannot map an empty file at its current size.
                                      : info.st_size == 0 ? ErrorFileInvalid
                                                          : 0;
        if (refused != 0) {
            close(fd);
            return {0, refused};
        }
        return {Register(Entry{fd, true, 0, static_cast<std::size_t>(info.st_size)}), 0};
    }

    ViewResult MapView(FileHandle mapping) override {
        const auto entry = Find(mapping);
        if (!entry || !entry->mapping) return {nullptr, ErrorInvalidHandle};
        // The view holds the mapping's description, and with it the "mapped" byte, until it goes.
        const int fd = fcntl(entry->fd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) return {nullptr, ErrorFromErrno(errno)};
        // Shared: every process that maps this file sees and changes the same pages, and so does the file.
        void* view = mmap(nullptr, entry->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (view == MAP_FAILED) {
            const int error = errno;
            close(fd);
            return {nullptr, ErrorFromErrno(error)};
        }
        std::lock_guard lock(mutex_);
        views_[view] = View{entry->size, fd};
        return {view, 0};
    }

    std::uint32_t UnmapView(void* view) override {
        std::lock_guard lock(mutex_);
        const auto it = views_.find(view);
        if (it == views_.end()) return ErrorInvalidAddress;
        const int result = munmap(it->first, it->second.size);
        const int error = errno;
        close(it->second.fd);
        views_.erase(it);
        return result == 0 ? 0 : ErrorFromErrno(error);
    }

    // A whole-file lock of the open file description: unlike a byte-range write lock it needs only read
    // access, as LockFileEx does, so a lock file another user left readable still serves this one.
    std::uint32_t LockAppends(FileHandle handle) override {
        const auto entry = Find(handle);
        if (!entry || entry->mapping) return ErrorInvalidHandle;
        while (flock(entry->fd, LOCK_EX) != 0) {
            if (errno != EINTR) return ErrorFromErrno(errno);
        }
        return 0;
    }

    std::uint32_t UnlockAppends(FileHandle handle) override {
        const auto entry = Find(handle);
        if (!entry || entry->mapping) return ErrorInvalidHandle;
        return flock(entry->fd, LOCK_UN) == 0 ? 0 : ErrorFromErrno(errno);
    }

private:
    // Under the gate: whether the opener's access and sharing fit the others', and whether it may empty
    // the file. 0 when it is admitted.
    static std::uint32_t Admit(int fd, std::uint32_t access, std::uint32_t share, bool empties) {
        const Gate gate(fd);
        if (!ShareFits(fd, access, share)) return ErrorSharingViolation;
        if (!empties) return 0;
        if (HeldByOther(fd, MappedByte)) return ErrorUserMappedFile;
        return ftruncate(fd, 0) == 0 ? 0 : ErrorFromErrno(errno);
    }

    // Windows replaces neither a directory nor a file that an opener holds without ShareDelete.
    static std::uint32_t ReplaceRefusal(const std::string& to) {
        struct stat target {};
        if (lstat(to.c_str(), &target) != 0) return 0;
        if (S_ISDIR(target.st_mode)) return ErrorAccessDenied;
        DeleteCheck check(to);
        return check.Denied() ? ErrorAccessDenied : 0;
    }

    // A file moved to another file system as Windows moves it: copied with its last-write time into a
    // temporary name beside the target, put in place in one step, and only then removed at the source.
    static std::uint32_t MoveAcross(const std::string& from, const std::string& to, bool replace) {
        struct stat source {};
        if (lstat(from.c_str(), &source) != 0) return RenameError(errno, from);
        if (!S_ISREG(source.st_mode)) return ErrorNotSameDevice;
        if (!replace && access(to.c_str(), F_OK) == 0) return ErrorAlreadyExists;
        const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (in < 0) return NameError(errno, from);
        std::string temp = ParentOf(to) + "/.corvix-move-XXXXXX";
        const int out = mkostemp(temp.data(), O_CLOEXEC);
        if (out < 0) {
            const int error = errno;
            close(in);
            return error == ENOENT ? ErrorPathNotFound : ErrorFromErrno(error);
        }
        const timespec times[2] = {source.st_atim, source.st_mtim};
        bool ok = CopyBytes(in, out) && fchmod(out, source.st_mode & 07777) == 0 && futimens(out, times) == 0 &&
                  fsync(out) == 0;
        int error = ok ? 0 : errno;
        close(in);
        if (close(out) != 0 && ok) {
            ok = false;
            error = errno;
        }
        if (ok) {
            // Without replace the target must still be absent: a link refuses one that appeared meanwhile.
            const int placed = replace ? rename(temp.c_str(), to.c_str()) : link(temp.c_str(), to.c_str());
            if (placed != 0) {
                ok = false;
                error = errno;
            }
        }
        if (!ok || !replace) unlink(temp.c_str());
        if (!ok) return error == EEXIST ? ErrorAlreadyExists : ErrorFromErrno(error);
        unlink(from.c_str());
        return 0;
    }

    static bool CopyBytes(int in, int out) {
        std::vector<char> buffer(1 << 16);
        for (;;) {
            const ssize_t n = read(in, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return n == 0;
            for (ssize_t done = 0; done < n;) {
                const ssize_t written = write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
                if (written < 0 && errno == EINTR) continue;
                if (written < 0) return false;
                done += written;
            }
        }
    }

    static std::uint32_t RenameError(int error, const std::string& from) {
        if (error == EEXIST) return ErrorAlreadyExists;
        if (error != ENOENT) return ErrorFromErrno(error);
        // The source is there, so the target's directory is missing.
        if (::access(from.c_str(), F_OK) == 0) return ErrorPathNotFound;
        return NameError(error, from);
    }

    FileHandle Register(const Entry& entry) {
        std::lock_guard lock(mutex_);
        // Windows hands out small multiples of 4; 0 and all ones never name a handle.
        do {
            next_ = next_ >= 0x3FFFFFFCu ? 4 : next_ + 4;
        } while (handles_.count(next_) != 0);
        handles_[next_] = entry;
        return next_;
    }

    std::optional<Entry> Find(FileHandle handle) {
        std::lock_guard lock(mutex_);
        const auto it = handles_.find(handle);
        if (it == handles_.end()) return std::nullopt;
        return it->second;
    }

    std::mutex mutex_;
    std::map<FileHandle, Entry> handles_;
    struct View {
        std::size_t size = 0;
        int fd = -1;
    };
    std::map<void*, View> views_;
    FileHandle next_ = 0x40;
};

}  // namespace

std::string LexicalFullPath(const std::string& absolute) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= absolute.size()) {
        std::size_t end = absolute.find('/', start);
        if (end == std::string::npos) end = absolute.size();
        const std::string part = absolute.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string path;
    for (const auto& part : parts) path += "/" + part;
    if (path.empty() || absolute.back() == '/') path += "/";
    return path;
}

const char* PathDelimiters() { return "/"; }

char PathSeparator() { return '/'; }

std::optional<std::string> FileNameFromUtf8(const std::string& utf8) { return utf8; }

Files& RealFiles() {
    static PosixFiles files;
    return files;
}

}  // namespace os
