// The library's root object and its record file object: a named file read and written in fixed-size
// records, with nested opening, an error state that stays until cleared, and an optional mapped mode.
//
// Nothing here throws. Each failure is kept in the object (ErrorFlag, LastError) and handed, as one
// finished message, to ReportError, which does nothing unless a descendant makes it show or log.
#pragma once

#include <cstdint>
#include <string>

#include "os/files.h"
#include "os/system.h"
#include "support/calendar.h"

namespace qor {

// Live instances: objects of the library (file objects included), file objects, and file objects
// whose handle is open. Plain counts on the one thread that uses them.
extern std::int32_t LiveObjects;
extern std::int32_t LiveFiles;
extern std::int32_t OpenFiles;

// The object's own error codes, beside the platform's.
inline constexpr std::int32_t FileErrorMemoryFile = 252;  // the action needs the normal mode
inline constexpr std::int32_t FileErrorOpenFile = 253;    // the action needs a closed file
inline constexpr std::int32_t FileErrorReadAfterEof = 254;
inline constexpr std::int32_t FileErrorDiskFull = 255;  // fewer bytes written than asked

// OpenMode: the access in bits 0-1...
inline constexpr std::int32_t ModeRead = 0;
inline constexpr std::int32_t ModeWrite = 1;
inline constexpr std::int32_t ModeReadWrite = 2;
inline constexpr std::int32_t ModeAccessBits = 3;  // 3 asks for no data access
// ...and the sharing with other openers in bits 4-7. Every value but 16 and 32 shares reading and
// writing; 48 and 64 are the two in use.
inline constexpr std::int32_t ModeShareNone = 16;
inline constexpr std::int32_t ModeShareRead = 32;
inline constexpr std::int32_t ModeShareBoth = 48;
inline constexpr std::int32_t ModeShareAny = 64;
inline constexpr std::int32_t ModeShareBits = 240;

// Open's dispositions; any value above 4 opens an existing file, as 0 does.
inline constexpr std::uint8_t OpenExistingOnly = 0;  // fails when the file is missing
inline constexpr std::uint8_t CreateNewOnly = 1;     // fails when the file exists
inline constexpr std::uint8_t EmptyExisting = 2;     // fails when the file is missing
inline constexpr std::uint8_t OpenOrCreate = 3;
inline constexpr std::uint8_t CreateOrEmpty = 4;

class TQorObject {
public:
    TQorObject();
    virtual ~TQorObject();
    TQorObject(const TQorObject&) = delete;
    TQorObject& operator=(const TQorObject&) = delete;
};

// A name starting with "|" gets the program's directory in place of the "|"; any other comes back as it is.
std::string ExpandExeRelative(const std::string& name, os::System& system = os::RealSystem());

class TQorFile : public TQorObject {
public:
    // Names the file and sets the record size; does not touch the disk.
    TQorFile(const std::string& fileName, std::int32_t recordSize, os::Files& files = os::RealFiles(),
             os::System& system = os::RealSystem());
    // Closes the file whatever the nesting depth. Runs this class's Close: a descendant that
    // overrides Close and needs it at the end calls it from its own destructor.
    ~TQorFile() override;

    // Error hook and error state.
    virtual void ReportError(const std::string& message);
    virtual void SetError(std::int32_t code, const std::string& detail);
    virtual std::string GetErrorText();

    // Opening and closing; Open answers whether the file is open afterwards.
    virtual bool Open(std::uint8_t disposition);
    virtual void Close();

    // Record operations. Records are numbered from 0; counts are in records.
    virtual void Seek(std::int32_t record);
    virtual void Write(const void* buffer, std::int32_t record);
    virtual void WriteBlock(const void* buffer, std::int32_t first, std::int32_t count);
    virtual void WriteNoSk(const void* buffer);
    virtual void WriteBlockNoSk(const void* buffer, std::int32_t count);
    virtual void WriteStart(const void* buffer);
    virtual void WriteEnd(const void* buffer);
    virtual void WriteEndBlock(const void* buffer, std::int32_t count);
    virtual void WriteEmpty(std::int32_t record);
    virtual void WriteText(const std::string& text, bool addLineBreak);
    virtual void OpenWriteClose(const void* buffer, std::int32_t record);
    virtual void Read(void* buffer, std::int32_t record);
    virtual void ReadBlock(void* buffer, std::int32_t first, std::int32_t count);
    virtual void ReadNoSk(void* buffer);
    virtual void ReadBlockNoSk(void* buffer, std::int32_t count);
    virtual void ReadStartNoEofError(void* buffer);
    virtual void OpenReadClose(void* buffer, std::int32_t record);

    // Whole-file operations, made while the file is closed.
    virtual void Erase();
    virtual void Rename(const std::string& newName, bool deleteExisting);
    virtual bool Exists();
    virtual void CreatePath();

    virtual void ClearError();
    virtual void IgnoreErrorsOnce();
    virtual void IgnoreEofError();
    virtual bool IsEofError();
    virtual bool IsNotFoundError();

    bool IsOk() const { return !ErrorFlag; }
    void SetAction(const std::string& label);

    // Names. FileName is kept as a full path; GetFileName resolves its date placeholders.
    void SetFileName(const std::string& name);
    std::string GetFileName() const;
    std::string GetFilePath() const;
    std::string GetBaseName() const;
    std::string GetFileExt() const;
    void ChangeExtension(const std::string& ext);

    // Size in bytes: of the open file, or of the directory entry while closed (0 when there is none).
    std::int32_t GetMaxBytes();

    os::FileHandle Handle = os::InvalidFileHandle;
    std::string FileName;
    // Bytes per record; below 1 every record operation is refused.
    std::int32_t RecordSize = 0;
    std::int32_t LastError = 0;
    std::int32_t OpenCount = 0;
    std::int32_t LastCount = 0;
    std::string Action;
    std::int32_t Position = 0;
    // The Mode* values above: access | sharing.
    std::int32_t OpenMode = ModeReadWrite | ModeShareNone;
    std::int32_t FileFlags = os::Files::AttributeNormal;
    bool IgnoreNext = false;
    bool IgnoreCurrent = false;
    bool IgnoreEofCurrent = false;
    bool IgnoreEofPrevious = false;
    bool ErrorFlag = false;
    // Chosen while closed; must not change while open.
    bool Mapped = false;
    os::FileHandle MappingHandle = 0;
    void* MappedView = nullptr;
    bool EofReached = false;
    DayNumber NameDay = 0;

protected:
    // Low-level steps: one platform call each, no label of their own.
    void SeekRecord(std::int32_t record, std::int32_t size);
    void SeekEnd();
    void WriteBytes(const void* buffer, std::int32_t count);
    void ReadBytes(void* buffer, std::int32_t count);
    void MapFile();
    void UnmapFile();
    void WriteMapped(const void* buffer, std::int32_t count, std::int32_t offset);
    void ReadMapped(void* buffer, std::int32_t count, std::int32_t offset);

private:
    bool IsOpen() const { return Handle != os::InvalidFileHandle; }
    // SetError with a code the files service gave.
    void PlatformError(std::uint32_t code, const std::string& detail);
    // A record size below 1 has no records: every record operation is refused with 87 before it
    // divides by it or moves a byte, in either mode.
    bool RefusedRecordSize();
    // Position-dependent operations have no meaning on a view: they are refused with 252.
    bool RefusedWhenMapped();
    // A negative byte count is refused with 87 (detail `what` and the record) rather than moved.
    bool RefusedCount(std::int32_t count, const char* what);
    // Record `record` written or read the way Write and Read do, under the caller's label.
    void WriteRecordAt(const void* buffer, std::int32_t record);
    // SeekEnd and a write of `count` bytes as one step against other appenders.
    void Append(const void* buffer, std::int32_t count);
    std::string RecordDetail(const char* what) const;
    // Whether a copy of `count` bytes at `offset` stays inside the view; no view holds nothing.
    bool InsideView(std::int32_t count, std::int32_t offset) const;

    os::Files& files_;
    os::System& system_;
    // The bytes the view covers: the file's size when it was opened.
    std::int32_t mappedBytes_ = 0;
};

}  // namespace qor
