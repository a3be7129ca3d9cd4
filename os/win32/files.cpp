// os::Files on Windows: CreateFileA, SetFilePointer, ReadFile, WriteFile and the rest, called as they are.
#include "os/files.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdint>
#include <vector>

namespace os {
namespace {

HANDLE ToHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle)); }

FileHandle FromHandle(HANDLE handle) { return static_cast<FileHandle>(reinterpret_cast<std::uintptr_t>(handle)); }

// Far beyond any data this program writes: locking it holds back no reader or writer of real bytes.
constexpr DWORD AppendLockHigh = 0x7FFFFFFF;
constexpr DWORD AppendLockLow = 0xFFFFFF00;

class Win32Files final : public Files {
public:
    OpenResult Open(const std::string& name, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                    std::uint32_t flags) override {
        const HANDLE handle = CreateFileA(name.c_str(), access, share, nullptr, disposition, flags, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return {InvalidFileHandle, GetLastError()};
        return {FromHandle(handle), 0};
    }

    std::uint32_t Close(FileHandle handle) override { return CloseHandle(ToHandle(handle)) ? 0 : GetLastError(); }

    PointerResult SetPointer(FileHandle handle, std::int32_t distance, std::uint32_t method) override {
        const DWORD position = SetFilePointer(ToHandle(handle), distance, nullptr, method);
        if (position == INVALID_SET_FILE_POINTER) return {InvalidFilePosition, GetLastError()};
        return {position, 0};
    }

    TransferResult Read(FileHandle handle, void* buffer, std::uint32_t count) override {
        DWORD done = 0;
        if (!ReadFile(ToHandle(handle), buffer, count, &done, nullptr)) return {false, done, GetLastError()};
        return {true, done, 0};
    }

    TransferResult Write(FileHandle handle, const void* buffer, std::uint32_t count) override {
        DWORD done = 0;
        if (!WriteFile(ToHandle(handle), buffer, count, &done, nullptr)) return {false, done, GetLastError()};
        return {true, done, 0};
    }

    SizeResult Size(FileHandle handle) override {
        const DWORD size = GetFileSize(ToHandle(handle), nullptr);
        if (size == INVALID_FILE_SIZE) return {InvalidFilePosition, GetLastError()};
        return {size, 0};
    }

    std::uint32_t Delete(const std::string& name) override { return DeleteFileA(name.c_str()) ? 0 : GetLastError(); }

    std::uint32_t Rename(const std::string& from, const std::string& to) override {
        return MoveFileA(from.c_str(), to.c_str()) ? 0 : GetLastError();
    }

    std::uint32_t Replace(const std::string& from, const std::string& to) override {
        return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)
                   ? 0
                   : GetLastError();
    }

    std::optional<FindEntry> FindFirst(const std::string& name, std::uint32_t skip) override {
        WIN32_FIND_DATAA data;
        const HANDLE search = FindFirstFileA(name.c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) return std::nullopt;
        std::optional<FindEntry> found;
        do {
            if ((data.dwFileAttributes & skip) == 0) {
                found = FindEntry{data.dwFileAttributes, data.nFileSizeLow, data.nFileSizeHigh, data.cFileName};
                break;
            }
        } while (FindNextFileA(search, &data));
        FindClose(search);
        return found;
    }

    std::uint32_t MakeDirectory(const std::string& name) override {
        return CreateDirectoryA(name.c_str(), nullptr) ? 0 : GetLastError();
    }

    std::string FullPath(const std::string& name) override {
        std::vector<char> buffer(MAX_PATH + 1);
        for (;;) {
            const DWORD n = GetFullPathNameA(name.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
            if (n == 0) return {};
            if (n < buffer.size()) return std::string(buffer.data(), n);
            buffer.resize(n + 1);
        }
    }

    OpenResult CreateMapping(FileHandle file) override {
        // Unnamed: a name would be shared by every file whose path reduces to it. Views of one file
        // still share its pages between processes through the file itself.
        const HANDLE mapping = CreateFileMappingA(ToHandle(file), nullptr, PAGE_READWRITE, 0, 0, nullptr);
        if (mapping == nullptr) return {0, GetLastError()};
        return {FromHandle(mapping), 0};
    }

    ViewResult MapView(FileHandle mapping) override {
        void* view = MapViewOfFile(ToHandle(mapping), FILE_MAP_WRITE, 0, 0, 0);
        if (view == nullptr) return {nullptr, GetLastError()};
        return {view, 0};
    }

    std::uint32_t UnmapView(void* view) override { return UnmapViewOfFile(view) ? 0 : GetLastError(); }

    std::uint32_t LockAppends(FileHandle handle) override {
        OVERLAPPED at{};
        at.Offset = AppendLockLow;
        at.OffsetHigh = AppendLockHigh;
        return LockFileEx(ToHandle(handle), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at) ? 0 : GetLastError();
    }

    std::uint32_t UnlockAppends(FileHandle handle) override {
        OVERLAPPED at{};
        at.Offset = AppendLockLow;
        at.OffsetHigh = AppendLockHigh;
        return UnlockFileEx(ToHandle(handle), 0, 1, 0, &at) ? 0 : GetLastError();
    }
};

}  // namespace

const char* PathDelimiters() { return "\\:"; }

char PathSeparator() { return '\\'; }

std::optional<std::string> FileNameFromUtf8(const std::string& utf8) {
    if (utf8.empty()) return utf8;
    const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                         nullptr, 0);
    if (wide <= 0) return std::nullopt;
    std::vector<wchar_t> text(static_cast<std::size_t>(wide));
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), wide);
    BOOL lacked = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, nullptr, 0, nullptr, &lacked);
    if (size <= 0 || lacked) return std::nullopt;
    std::string name(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), wide, name.data(), size, nullptr, nullptr);
    return name;
}

Files& RealFiles() {
    static Win32Files files;
    return files;
}

}  // namespace os
