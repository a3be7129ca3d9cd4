// The files service: CreateFileA and the file calls around it, with Windows' results and error codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "os/errors.h"

namespace os {

// A file or mapping handle as a 32-bit Windows process holds it; InvalidFileHandle has all bits set.
using FileHandle = std::uint32_t;
inline constexpr FileHandle InvalidFileHandle = 0xFFFFFFFFu;

// SetFilePointer's failure value, and GetFileSize's.
inline constexpr std::uint32_t InvalidFilePosition = 0xFFFFFFFFu;

// Characters that end the directory part of a name ("\\:" on Windows, "/" on POSIX).
const char* PathDelimiters();
// The separator that joins directories ('\\' on Windows, '/' on POSIX).
char PathSeparator();
// A file name given as UTF-8 (a command-line argument) as the calls below take it: on Windows in the
// system's ANSI code page, nothing when that lacks one of its characters; on POSIX the same bytes.
std::optional<std::string> FileNameFromUtf8(const std::string& utf8);

struct OpenResult {
    FileHandle handle = InvalidFileHandle;
    std::uint32_t error = 0;  // 0 when handle is valid
};

struct PointerResult {
    std::uint32_t position = InvalidFilePosition;  // low 32 bits of the new position
    std::uint32_t error = 0;                       // 0 on success
};

struct TransferResult {
    bool ok = false;
    std::uint32_t count = 0;  // bytes moved, also when the call failed part-way
    std::uint32_t error = 0;
};

struct SizeResult {
    std::uint32_t size = InvalidFilePosition;  // low 32 bits
    std::uint32_t error = 0;
};

struct ViewResult {
    void* view = nullptr;
    std::uint32_t error = 0;
};

struct FindEntry {
    std::uint32_t attributes = 0;
    std::uint32_t sizeLow = 0;
    std::uint32_t sizeHigh = 0;
    std::string name;  // the entry's own name, without its directory
};

class Files {
public:
    // Access rights (dwDesiredAccess).
    static constexpr std::uint32_t GenericRead = 0x80000000u;
    static constexpr std::uint32_t GenericWrite = 0x40000000u;
    // Share modes (dwShareMode).
    static constexpr std::uint32_t ShareRead = 1;
    static constexpr std::uint32_t ShareWrite = 2;
    static constexpr std::uint32_t ShareDelete = 4;
    // Creation dispositions.
    static constexpr std::uint32_t CreateNew = 1;
    static constexpr std::uint32_t CreateAlways = 2;
    static constexpr std::uint32_t OpenExisting = 3;
    static constexpr std::uint32_t OpenAlways = 4;
    static constexpr std::uint32_t TruncateExisting = 5;
    // File attributes, as directory entries carry them and as creation flags.
    static constexpr std::uint32_t AttributeReadOnly = 0x01;
    static constexpr std::uint32_t AttributeHidden = 0x02;
    static constexpr std::uint32_t AttributeSystem = 0x04;
    static constexpr std::uint32_t AttributeVolumeLabel = 0x08;
    static constexpr std::uint32_t AttributeDirectory = 0x10;
    static constexpr std::uint32_t AttributeArchive = 0x20;
    static constexpr std::uint32_t AttributeNormal = 0x80;
    // SetFilePointer's move methods.
    static constexpr std::uint32_t FromBegin = 0;
    static constexpr std::uint32_t FromCurrent = 1;
    static constexpr std::uint32_t FromEnd = 2;

    virtual ~Files() = default;

    // CreateFileA without security attributes or template.
    virtual OpenResult Open(const std::string& name, std::uint32_t access, std::uint32_t share,
                            std::uint32_t disposition, std::uint32_t flags) = 0;
    // CloseHandle, for file and mapping handles: 0 or the error code.
    virtual std::uint32_t Close(FileHandle handle) = 0;
    // SetFilePointer without a high part: a signed 32-bit distance from `method`'s origin.
    virtual PointerResult SetPointer(FileHandle handle, std::int32_t distance, std::uint32_t method) = 0;
    // ReadFile and WriteFile at the file pointer, which moves by the count transferred.
    virtual TransferResult Read(FileHandle handle, void* buffer, std::uint32_t count) = 0;
    virtual TransferResult Write(FileHandle handle, const void* buffer, std::uint32_t count) = 0;
    // GetFileSize without a high part.
    virtual SizeResult Size(FileHandle handle) = 0;
    // DeleteFileA: 0 or the error code.
    virtual std::uint32_t Delete(const std::string& name) = 0;
    // MoveFileA: fails (ErrorAlreadyExists) when `to` exists. A file moves to another volume as a copy
    // that keeps its bytes and last-write time; a directory does not (ErrorNotSameDevice).
    virtual std::uint32_t Rename(const std::string& from, const std::string& to) = 0;
    // MoveFileExA with MOVEFILE_REPLACE_EXISTING and MOVEFILE_COPY_ALLOWED: as Rename, but an existing
    // file `to` is replaced, and only once the new one is in place; a directory `to` is not.
    virtual std::uint32_t Replace(const std::string& from, const std::string& to) = 0;
    // FindFirstFileA, FindNextFileA, FindClose: the first entry for `name` that carries none of the
    // attributes in `skip`; nothing when there is none.
    virtual std::optional<FindEntry> FindFirst(const std::string& name, std::uint32_t skip) = 0;
    // CreateDirectoryA of one directory: 0 or the error code.
    virtual std::uint32_t MakeDirectory(const std::string& name) = 0;
    // GetFullPathNameA: `name` completed against the current directory; empty on failure.
    virtual std::string FullPath(const std::string& name) = 0;
    // CreateFileMappingA (unnamed, PAGE_READWRITE, the whole file as it is now) and
    // MapViewOfFile (FILE_MAP_WRITE, all of it); UnmapViewOfFile. The mapping handle goes to Close.
    virtual OpenResult CreateMapping(FileHandle file) = 0;
    virtual ViewResult MapView(FileHandle mapping) = 0;
    virtual std::uint32_t UnmapView(void* view) = 0;
    // An exclusive lock that appenders through this service hold while they find the end and write
    // there, so that two appends never land on the same bytes. Waits for the lock; 0 or the error code.
    virtual std::uint32_t LockAppends(FileHandle handle) = 0;
    virtual std::uint32_t UnlockAppends(FileHandle handle) = 0;
};

// The running operating system's implementation.
Files& RealFiles();

}  // namespace os
