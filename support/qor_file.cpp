// The library's root object and record file object over the files service.
#include "support/qor_file.h"

#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace qor {

std::int32_t LiveObjects = 0;
std::int32_t LiveFiles = 0;
std::int32_t OpenFiles = 0;

namespace {

// Codes 1 to 88 are the platform's, 252 to 255 the object's own.
constexpr std::pair<std::int32_t, std::string_view> ErrorTexts[] = {
    {1, "Function number invalid"},
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "Access denied"},
    {6, "Invalid handle"},
    {7, "Memory control blocks destroyed"},
    {8, "Insufficient memory"},
    {9, "Memory block adress invalid"},
    {10, "Environment invalid"},
    {11, "Format invalid"},
    {12, "Access code invalid"},
    {13, "Data invalid"},
    {14, "Unknown unit"},
    {15, "Disk drive invalid"},
    {16, "Attempt to remove current dir."},
    {17, "Not same device"},
    {18, "No more files"},
    {19, "Disk write-protected"},
    {20, "Unknown unit"},
    {21, "Drive not ready"},
    {22, "Unknown command"},
    {23, "Data error (CRC)"},
    {24, "Bad request structure length"},
    {25, "Seek error"},
    {26, "Unknown media type"},
    {27, "Sector not found"},
    {28, "Printer out of paper"},
    {29, "Write fault"},
    {30, "Read fault"},
    {31, "General failure"},
    {32, "Sharing violation"},
    {33, "Lock violation"},
    {34, "Disk change invalid"},
    {35, "FCB unavailable"},
    {36, "Sharing buffer exceeded"},
    {50, "Unsupported network request"},
    {51, "Remote machine not listening"},
    {52, "Duplicate name on network"},
    {53, "Network name not found"},
    {54, "Network busy"},
    {55, "Device no longer exist on network"},
    {56, "NetBIOS command limit exceeded"},
    {57, "Error in network adapter hardware"},
    {58, "Incorrect response from network"},
    {59, "Unexpected network error"},
    {60, "Remote adapter incompatible"},
    {61, "Print queue full"},
    {62, "Print queue not full"},
    {63, "Not enough room for print file"},
    {64, "Network name deleted"},
    {65, "Access denied"},
    {66, "Incorrect network device type"},
    {67, "Network name not found"},
    {68, "Network name limit exceeded"},
    {69, "NetBIOS session limit exceeded"},
    {70, "Temporary pause"},
    {71, "Network request not accepted"},
    {72, "Print or disk redirection paused"},
    {80, "File already exist"},
    {82, "Cannot make directory"},
    {83, "Fail on INT24h"},
    {84, "Out of structure"},
    {85, "Already assigned"},
    {86, "Invalid password"},
    {87, "Invalid parameter"},
    {88, "Net write fault"},
    {FileErrorMemoryFile, "Cannot perform action on memory file"},
    {FileErrorOpenFile, "Cannot perform action on open file"},
    {FileErrorReadAfterEof, "Read after EOF"},
    {FileErrorDiskFull, "Disk full"},
};

// Record numbers, counts and offsets are 32-bit products; past 2^31 they wrap rather than overflow.
std::int32_t Times(std::int32_t a, std::int32_t b) { return static_cast<std::int32_t>(std::int64_t{a} * b); }

std::int32_t Plus(std::int32_t a, std::uint32_t b) { return static_cast<std::int32_t>(std::int64_t{a} + b); }

// Where the file-name part of `name` starts: after its last path delimiter.
std::size_t NameStart(const std::string& name) {
    const auto cut = name.find_last_of(os::PathDelimiters());
    return cut == std::string::npos ? 0 : cut + 1;
}

void ReplaceFirst(std::string& text, std::string_view placeholder, const std::string& value) {
    const auto at = text.find(placeholder);
    if (at != std::string::npos) text.replace(at, placeholder.size(), value);
}

std::uint32_t AccessFor(std::int32_t openMode) {
    switch (openMode & ModeAccessBits) {
    case ModeRead:
        return os::Files::GenericRead;
    case ModeWrite:
        return os::Files::GenericWrite;
    case ModeReadWrite:
        return os::Files::GenericRead | os::Files::GenericWrite;
    default:
        return 0;
    }
}

std::uint32_t ShareFor(std::int32_t openMode) {
    switch (openMode & ModeShareBits) {
    case ModeShareNone:
        return 0;
    case ModeShareRead:
        return os::Files::ShareRead;
    default:
        return os::Files::ShareRead | os::Files::ShareWrite;
    }
}

std::uint32_t DispositionFor(std::uint8_t disposition) {
    switch (disposition) {
    case CreateNewOnly:
        return os::Files::CreateNew;
    case EmptyExisting:
        return os::Files::TruncateExisting;
    case OpenOrCreate:
        return os::Files::OpenAlways;
    case CreateOrEmpty:
        return os::Files::CreateAlways;
    default:
        return os::Files::OpenExisting;
    }
}

}  // namespace

TQorObject::TQorObject() { ++LiveObjects; }

TQorObject::~TQorObject() { --LiveObjects; }

std::string ExpandExeRelative(const std::string& name, os::System& system) {
    if (name.empty() || name.front() != '|') return name;
    const std::string program = system.ModulePath();
    return program.substr(0, NameStart(program)) + name.substr(1);
}

TQorFile::TQorFile(const std::string& fileName, std::int32_t recordSize, os::Files& files, os::System& system)
    : RecordSize(recordSize), files_(files), system_(system) {
    SetFileName(fileName);
    ++LiveFiles;
}

TQorFile::~TQorFile() {
    // However deep the nesting, the handle goes with the object.
    if (IsOpen()) {
        OpenCount = 1;
        Close();
    }
    --LiveFiles;
}

// ---- Error state ----

void TQorFile::ReportError(const std::string&) {}

void TQorFile::SetError(std::int32_t code, const std::string& detail) {
    LastError = code;
    if (IgnoreCurrent) return;
    if (IgnoreEofCurrent && code == FileErrorReadAfterEof) return;
    ErrorFlag = true;
    std::string message = "\r\nDisk error\r\nFile: " + GetFileName() + "\r\nError: " + GetErrorText() +
                          "\r\nError code: " + std::to_string(static_cast<std::uint32_t>(code)) +
                          "\r\nAction: " + Action + "\r\n" + detail;
    if (message.size() > 255) message.resize(255);
    ReportError(message);
}

std::string TQorFile::GetErrorText() {
    for (const auto& [code, text] : ErrorTexts) {
        if (code == LastError) return std::string(text);
    }
    return "Unknown error: " + std::to_string(static_cast<std::uint32_t>(LastError));
}

void TQorFile::SetAction(const std::string& label) {
    Action = label;
    IgnoreCurrent = IgnoreNext;
    IgnoreNext = false;
    IgnoreEofPrevious = IgnoreEofCurrent;
    IgnoreEofCurrent = false;
}

void TQorFile::ClearError() {
    ErrorFlag = false;
    LastError = 0;
}

void TQorFile::IgnoreErrorsOnce() {
    IgnoreNext = true;
    ClearError();
}

void TQorFile::IgnoreEofError() {
    IgnoreEofCurrent = true;
    ClearError();
}

bool TQorFile::IsEofError() {
    if (LastError != FileErrorReadAfterEof) return false;
    ClearError();
    return true;
}

bool TQorFile::IsNotFoundError() {
    if (LastError != static_cast<std::int32_t>(os::ErrorFileNotFound) &&
        LastError != static_cast<std::int32_t>(os::ErrorPathNotFound)) {
        return false;
    }
    ClearError();
    return true;
}

// ---- Names ----

void TQorFile::SetFileName(const std::string& name) { FileName = files_.FullPath(ExpandExeRelative(name, system_)); }

std::string TQorFile::GetFileName() const {
    if (NameDay == 0) return FileName;
    // A day the calendar rejects stamps zeros: the name is still usable and shows what went wrong.
    DayParts parts;
    DecodeDayNumber(NameDay, PeriodDate, parts);
    std::string name = FileName;
    ReplaceFirst(name, "#Y", PadNumber(parts.Year, 4, '0'));
    ReplaceFirst(name, "#M", PadNumber(parts.B, 2, '0'));
    ReplaceFirst(name, "#D", PadNumber(parts.A, 2, '0'));
    return name;
}

std::string TQorFile::GetFilePath() const { return FileName.substr(0, NameStart(FileName)); }

std::string TQorFile::GetBaseName() const {
    const std::string name = FileName.substr(NameStart(FileName));
    return name.substr(0, name.find('.'));
}

std::string TQorFile::GetFileExt() const {
    const std::string name = FileName.substr(NameStart(FileName));
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

void TQorFile::ChangeExtension(const std::string& ext) {
    // Only the part from the last dot counts; a bare extension gets its dot.
    const auto lastDot = ext.rfind('.');
    const std::string wanted = ext.empty()                    ? std::string()
                               : lastDot == std::string::npos ? "." + ext
                                                              : ext.substr(lastDot);
    const auto dot = FileName.rfind('.');
    const bool hasExt = dot != std::string::npos && dot >= NameStart(FileName);
    SetFileName((hasExt ? FileName.substr(0, dot) : FileName) + wanted);
}

// ---- Opening and closing ----

bool TQorFile::Open(std::uint8_t disposition) {
    ClearError();
    Action = "Open";
    if (IsOpen()) {
        ++OpenCount;
        return true;
    }
    Position = 0;
    const os::OpenResult opened = files_.Open(GetFileName(), AccessFor(OpenMode), ShareFor(OpenMode),
                                              DispositionFor(disposition), static_cast<std::uint32_t>(FileFlags));
    if (opened.handle == os::InvalidFileHandle) {
        PlatformError(opened.error, "");
        OpenCount = 0;
        return false;
    }
    Handle = opened.handle;
    ++OpenFiles;
    OpenCount = 1;
    ClearError();
    LastCount = 0;
    if (Mapped) MapFile();
    return true;
}

void TQorFile::Close() {
    Action = "Close";
    if (!IsOpen()) {
        OpenCount = 0;
        return;
    }
    if (--OpenCount > 0) return;
    if (Mapped) UnmapFile();
    const std::uint32_t error = files_.Close(Handle);
    if (error == 0) {
        ClearError();
    } else {
        PlatformError(error, "");
    }
    Handle = os::InvalidFileHandle;
    --OpenFiles;
}

// ---- Record operations ----

void TQorFile::Seek(std::int32_t record) {
    SetAction("Seek");
    if (RefusedRecordSize()) return;
    if (!Mapped) SeekRecord(record, RecordSize);
}

void TQorFile::WriteRecordAt(const void* buffer, std::int32_t record) {
    if (Mapped) {
        WriteMapped(buffer, RecordSize, Times(record, RecordSize));
        return;
    }
    SeekRecord(record, RecordSize);
    WriteBytes(buffer, RecordSize);
}

void TQorFile::Write(const void* buffer, std::int32_t record) {
    SetAction("Write");
    if (RefusedRecordSize()) return;
    WriteRecordAt(buffer, record);
}

void TQorFile::WriteBlock(const void* buffer, std::int32_t first, std::int32_t count) {
    SetAction("WriteBlock");
    if (RefusedRecordSize()) return;
    if (Mapped) {
        WriteMapped(buffer, Times(count, RecordSize), Times(first, RecordSize));
        return;
    }
    SeekRecord(first, RecordSize);
    WriteBytes(buffer, Times(count, RecordSize));
}

void TQorFile::PlatformError(std::uint32_t code, const std::string& detail) {
    SetError(static_cast<std::int32_t>(code), detail);
}

bool TQorFile::RefusedRecordSize() {
    if (RecordSize >= 1) return false;
    SetError(static_cast<std::int32_t>(os::ErrorInvalidParameter), "Record size: " + std::to_string(RecordSize));
    return true;
}

bool TQorFile::RefusedWhenMapped() {
    if (!Mapped) return false;
    SetError(FileErrorMemoryFile, "");
    return true;
}

void TQorFile::WriteNoSk(const void* buffer) {
    SetAction("WriteNoSk");
    if (RefusedRecordSize()) return;
    if (RefusedWhenMapped()) return;
    WriteBytes(buffer, RecordSize);
}

void TQorFile::WriteBlockNoSk(const void* buffer, std::int32_t count) {
    SetAction("WriteBlockNoSk");
    if (RefusedRecordSize()) return;
    if (RefusedWhenMapped()) return;
    WriteBytes(buffer, Times(count, RecordSize));
}

void TQorFile::WriteStart(const void* buffer) {
    SetAction("WriteStart");
    if (RefusedRecordSize()) return;
    WriteRecordAt(buffer, 0);
}

void TQorFile::Append(const void* buffer, std::int32_t count) {
    // Finding the end and writing there is one step for every appender through the files service,
    // in this process or another; without the lock two appenders write over each other's bytes.
    const bool locked = IsOk() && files_.LockAppends(Handle) == 0;
    SeekEnd();
    WriteBytes(buffer, count);
    if (locked) files_.UnlockAppends(Handle);
}

void TQorFile::WriteEnd(const void* buffer) {
    SetAction("WriteEnd");
    if (RefusedRecordSize()) return;
    if (RefusedWhenMapped()) return;
    Append(buffer, RecordSize);
}

void TQorFile::WriteEndBlock(const void* buffer, std::int32_t count) {
    SetAction("WriteEndBlock");
    if (RefusedRecordSize()) return;
    if (RefusedWhenMapped()) return;
    Append(buffer, Times(count, RecordSize));
}

void TQorFile::WriteEmpty(std::int32_t record) {
    SetAction("WriteEmpty");
    if (RefusedRecordSize()) return;
    const std::vector<char> zeros(static_cast<std::size_t>(RecordSize), 0);
    WriteRecordAt(zeros.data(), record);
}

void TQorFile::WriteText(const std::string& text, bool addLineBreak) {
    SetAction("WriteText");
    if (RefusedRecordSize()) return;
    if (RefusedWhenMapped()) return;
    const std::string line = addLineBreak ? text + "\r\n" : text;
    if (!line.empty()) Append(line.data(), static_cast<std::int32_t>(line.size()));
}

void TQorFile::OpenWriteClose(const void* buffer, std::int32_t record) {
    Open(OpenExistingOnly);
    SetAction("OpenWriteClose");
    Write(buffer, record);
    Close();
}

void TQorFile::Read(void* buffer, std::int32_t record) {
    SetAction("Read");
    if (RefusedRecordSize()) return;
    if (Mapped) {
        ReadMapped(buffer, RecordSize, Times(record, RecordSize));
        return;
    }
    SeekRecord(record, RecordSize);
    ReadBytes(buffer, RecordSize);
}

void TQorFile::ReadBlock(void* buffer, std::int32_t first, std::int32_t count) {
    SetAction("ReadBlock");
    if (RefusedRecordSize()) return;
    if (Mapped) {
        ReadMapped(buffer, Times(count, RecordSize), Times(first, RecordSize));
        return;
    }
    SeekRecord(first, RecordSize);
    ReadBytes(buffer, Times(count, RecordSize));
}

void TQorFile::ReadNoSk(void* buffer) {
    SetAction("ReadNoSk");
    if (RefusedRecordSize()) return;
    if (RefusedWhenMapped()) return;
    ReadBytes(buffer, RecordSize);
}

void TQorFile::ReadBlockNoSk(void* buffer, std::int32_t count) {
    SetAction("ReadBlockNoSk");
    if (RefusedRecordSize()) return;
    if (RefusedWhenMapped()) return;
    ReadBytes(buffer, Times(count, RecordSize));
}

void TQorFile::ReadStartNoEofError(void* buffer) {
    SetAction("ReadStartNoEofError");
    if (RefusedRecordSize()) return;
    if (RefusedWhenMapped()) return;
    SeekRecord(0, RecordSize);
    IgnoreEofError();
    ReadBytes(buffer, RecordSize);
}

void TQorFile::OpenReadClose(void* buffer, std::int32_t record) {
    Open(OpenExistingOnly);
    SetAction("OpenReadClose");
    Read(buffer, record);
    Close();
}

// ---- Whole-file operations ----

std::int32_t TQorFile::GetMaxBytes() {
    Action = "GetMaxBytes";
    if (!IsOpen()) {
        const auto entry =
            files_.FindFirst(GetFileName(), os::Files::AttributeHidden | os::Files::AttributeSystem |
                                                os::Files::AttributeVolumeLabel | os::Files::AttributeDirectory);
        return entry ? static_cast<std::int32_t>(entry->sizeLow) : 0;
    }
    const os::SizeResult size = files_.Size(Handle);
    if (static_cast<std::int32_t>(size.size) < 0) {
        PlatformError(size.error, "File is open");
        return 0;
    }
    return static_cast<std::int32_t>(size.size);
}

void TQorFile::Erase() {
    SetAction("Erase");
    if (ErrorFlag) return;
    if (IsOpen()) {
        SetError(FileErrorOpenFile, "");
        return;
    }
    const std::uint32_t error = files_.Delete(GetFileName());
    if (error != 0) PlatformError(error, "");
}

void TQorFile::Rename(const std::string& newName, bool deleteExisting) {
    SetAction("Rename");
    if (ErrorFlag) return;
    if (IsOpen()) {
        SetError(FileErrorOpenFile, "");
        return;
    }
    const std::size_t nameStart = NameStart(newName);
    std::string directory = newName.substr(0, nameStart);
    if (directory.empty()) directory = GetFilePath();
    std::string name = newName.substr(nameStart);
    if (name.empty()) name = GetBaseName() + GetFileExt();
    const std::string target = files_.FullPath(ExpandExeRelative(directory + name, system_));
    // Replacing in one step rather than deleting first: a move that then fails must not have cost
    // the existing target.
    const std::uint32_t error =
        deleteExisting ? files_.Replace(GetFileName(), target) : files_.Rename(GetFileName(), target);
    if (error != 0) PlatformError(error, "New name: " + target);
}

bool TQorFile::Exists() { return files_.FindFirst(GetFileName(), os::Files::AttributeDirectory).has_value(); }

void TQorFile::CreatePath() {
    const std::string name = GetFileName();
    std::string path = name.substr(0, NameStart(name)).substr(0, 255);
    if (!path.empty()) path.pop_back();
    // Each level from the top down; the ones that exist already (and a bare drive) simply fail.
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == os::PathSeparator()) files_.MakeDirectory(path.substr(0, i));
    }
    files_.MakeDirectory(path);
}

// ---- Low-level steps ----

bool TQorFile::RefusedCount(std::int32_t count, const char* what) {
    // A negative count (or a product that wrapped) names no bytes of the caller's: move none.
    if (count >= 0) return false;
    if (!ErrorFlag) SetError(static_cast<std::int32_t>(os::ErrorInvalidParameter), RecordDetail(what));
    return true;
}

std::string TQorFile::RecordDetail(const char* what) const {
    return std::string(what) + std::to_string(Position / RecordSize);
}

void TQorFile::SeekRecord(std::int32_t record, std::int32_t size) {
    if (ErrorFlag) return;
    const os::PointerResult moved = files_.SetPointer(Handle, Times(record, size), os::Files::FromBegin);
    if (static_cast<std::int32_t>(moved.position) < 0) {
        PlatformError(moved.error, "Seek Record: " + std::to_string(record));
        return;
    }
    Position = static_cast<std::int32_t>(moved.position);
}

void TQorFile::SeekEnd() {
    if (ErrorFlag) return;
    os::PointerResult moved = files_.SetPointer(Handle, 0, os::Files::FromEnd);
    if (static_cast<std::int32_t>(moved.position) < 0) {
        PlatformError(moved.error, "SeekEnd");
        return;
    }
    Position = static_cast<std::int32_t>(moved.position);
    // Appends start at the end of the last whole record: a torn record at the end is overwritten.
    const std::int32_t torn = Position % RecordSize;
    if (torn == 0) return;
    moved = files_.SetPointer(Handle, -torn, os::Files::FromCurrent);
    if (static_cast<std::int32_t>(moved.position) < 0) {
        PlatformError(moved.error, "Seek relative");
        return;
    }
    Position = static_cast<std::int32_t>(moved.position);
}

void TQorFile::WriteBytes(const void* buffer, std::int32_t count) {
    LastCount = 0;
    if (ErrorFlag) return;
    if (RefusedCount(count, "Write Record: ")) return;
    const os::TransferResult written = files_.Write(Handle, buffer, static_cast<std::uint32_t>(count));
    if (!written.ok) {
        PlatformError(written.error, RecordDetail("Write Record: "));
        return;
    }
    LastCount = static_cast<std::int32_t>(written.count);
    Position = Plus(Position, written.count);
    if (LastCount != count) SetError(FileErrorDiskFull, RecordDetail("Write Record: "));
}

void TQorFile::ReadBytes(void* buffer, std::int32_t count) {
    if (count == 0) return;
    if (RefusedCount(count, "Read Record: ")) return;
    std::memset(buffer, 0, static_cast<std::size_t>(count));
    if (ErrorFlag) return;
    const os::TransferResult read = files_.Read(Handle, buffer, static_cast<std::uint32_t>(count));
    if (!read.ok) {
        LastCount = 0;
        PlatformError(read.error, RecordDetail("Read Record: "));
        return;
    }
    LastCount = static_cast<std::int32_t>(read.count);
    Position = Plus(Position, read.count);
    if (LastCount != count) {
        EofReached = true;
        SetError(FileErrorReadAfterEof, RecordDetail("Read Record: "));
    }
}

void TQorFile::MapFile() {
    // The view covers the file as it is now; the copies are held inside it.
    const os::SizeResult size = files_.Size(Handle);
    const os::OpenResult mapping = files_.CreateMapping(Handle);
    if (mapping.error != 0) {
        PlatformError(mapping.error, "CreateFileMapping");
        return;
    }
    MappingHandle = mapping.handle;
    const os::ViewResult view = files_.MapView(MappingHandle);
    if (view.view == nullptr) {
        PlatformError(view.error, "MapViewOfFile");
        files_.Close(MappingHandle);
        MappingHandle = 0;
        return;
    }
    MappedView = view.view;
    mappedBytes_ = size.error == 0 ? static_cast<std::int32_t>(size.size) : 0;
}

void TQorFile::UnmapFile() {
    if (MappedView != nullptr) files_.UnmapView(MappedView);
    MappedView = nullptr;
    if (MappingHandle != 0) files_.Close(MappingHandle);
    MappingHandle = 0;
    mappedBytes_ = 0;
}

bool TQorFile::InsideView(std::int32_t count, std::int32_t offset) const {
    return offset >= 0 && std::int64_t{offset} + count <= mappedBytes_;
}

void TQorFile::WriteMapped(const void* buffer, std::int32_t count, std::int32_t offset) {
    if (count <= 0) return;
    // Outside the view there is no file behind the memory: refuse rather than write past it.
    if (!InsideView(count, offset)) {
        SetError(FileErrorMemoryFile, "Outside the mapped file");
        return;
    }
    MoveBytes(buffer, static_cast<char*>(MappedView) + offset, count);
}

void TQorFile::ReadMapped(void* buffer, std::int32_t count, std::int32_t offset) {
    if (count <= 0) return;
    if (!InsideView(count, offset)) {
        SetError(FileErrorMemoryFile, "Outside the mapped file");
        return;
    }
    MoveBytes(static_cast<const char*>(MappedView) + offset, buffer, count);
}

}  // namespace qor
