// What each record operation costs in platform calls: counted by a files service that passes
// every call on to the real one.
#include <gtest/gtest.h>

#include <functional>

#include "os/testing/scratch_dir.h"
#include "support/qor_file.h"
#include "support/testing/qor_file_testing.h"

namespace qor {
namespace {

using filetest::PutFile;
using os::testing::ScratchDir;

class CountingFiles final : public os::Files {
public:
    int opens = 0, closes = 0, positionings = 0, transfers = 0, locks = 0;

    os::OpenResult Open(const std::string& name, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                        std::uint32_t flags) override {
        ++opens;
        return real_.Open(name, access, share, disposition, flags);
    }
    std::uint32_t Close(os::FileHandle handle) override {
        ++closes;
        return real_.Close(handle);
    }
    os::PointerResult SetPointer(os::FileHandle handle, std::int32_t distance, std::uint32_t method) override {
        ++positionings;
        return real_.SetPointer(handle, distance, method);
    }
    os::TransferResult Read(os::FileHandle handle, void* buffer, std::uint32_t count) override {
        ++transfers;
        return real_.Read(handle, buffer, count);
    }
    os::TransferResult Write(os::FileHandle handle, const void* buffer, std::uint32_t count) override {
        ++transfers;
        return real_.Write(handle, buffer, count);
    }
    os::SizeResult Size(os::FileHandle handle) override { return real_.Size(handle); }
    std::uint32_t Delete(const std::string& name) override { return real_.Delete(name); }
    std::uint32_t Rename(const std::string& from, const std::string& to) override { return real_.Rename(from, to); }
    std::uint32_t Replace(const std::string& from, const std::string& to) override { return real_.Replace(from, to); }
    std::optional<os::FindEntry> FindFirst(const std::string& name, std::uint32_t skip) override {
        return real_.FindFirst(name, skip);
    }
    std::uint32_t MakeDirectory(const std::string& name) override { return real_.MakeDirectory(name); }
    std::string FullPath(const std::string& name) override { return real_.FullPath(name); }
    os::OpenResult CreateMapping(os::FileHandle file) override { return real_.CreateMapping(file); }
    os::ViewResult MapView(os::FileHandle mapping) override { return real_.MapView(mapping); }
    std::uint32_t UnmapView(void* view) override { return real_.UnmapView(view); }
    std::uint32_t LockAppends(os::FileHandle handle) override {
        ++locks;
        return real_.LockAppends(handle);
    }
    std::uint32_t UnlockAppends(os::FileHandle handle) override { return real_.UnlockAppends(handle); }

    void Reset() { opens = closes = positionings = transfers = locks = 0; }

private:
    os::Files& real_ = os::RealFiles();
};

struct Cost {
    const char* name;
    std::function<void(TQorFile&)> operation;
    int positionings;
    int transfers;
};

void ExpectCosts(const std::vector<Cost>& costs, bool mapped) {
    const ScratchDir dir;
    // 18 bytes: the last record of 4 is torn, so appends step back to 16.
    PutFile(dir / "cost.dat", "0123456789ABCDEFgh");
    CountingFiles files;
    for (const auto& cost : costs) {
        SCOPED_TRACE(cost.name);
        TQorFile file(dir / "cost.dat", 4, files);
        file.OpenMode = ModeReadWrite | ModeShareBoth;
        file.Mapped = mapped;
        ASSERT_TRUE(file.Open(OpenExistingOnly));
        files.Reset();
        cost.operation(file);
        EXPECT_TRUE(file.IsOk()) << file.GetErrorText();
        EXPECT_EQ(files.positionings, cost.positionings);
        EXPECT_EQ(files.transfers, cost.transfers);
        EXPECT_EQ(files.opens + files.closes, 0);
        file.Close();
        PutFile(dir / "cost.dat", "0123456789ABCDEFgh");
    }
}

TEST(QorFileCost, NormalModeIsOnePositioningAndOneTransfer) {
    char buffer[8] = {};
    ExpectCosts(
        {
            {"Seek", [](TQorFile& f) { f.Seek(1); }, 1, 0},
            {"Write", [&](TQorFile& f) { f.Write(buffer, 1); }, 1, 1},
            {"WriteBlock", [&](TQorFile& f) { f.WriteBlock(buffer, 1, 2); }, 1, 1},
            {"WriteStart", [&](TQorFile& f) { f.WriteStart(buffer); }, 1, 1},
            {"WriteEmpty", [](TQorFile& f) { f.WriteEmpty(2); }, 1, 1},
            {"WriteNoSk", [&](TQorFile& f) { f.WriteNoSk(buffer); }, 0, 1},
            {"WriteBlockNoSk", [&](TQorFile& f) { f.WriteBlockNoSk(buffer, 2); }, 0, 1},
            {"WriteEnd off a record boundary", [&](TQorFile& f) { f.WriteEnd(buffer); }, 2, 1},
            {"WriteEndBlock off a record boundary", [&](TQorFile& f) { f.WriteEndBlock(buffer, 2); }, 2, 1},
            {"WriteText off a record boundary", [](TQorFile& f) { f.WriteText("abc", false); }, 2, 1},
            {"WriteText of nothing", [](TQorFile& f) { f.WriteText("", false); }, 0, 0},
            {"Read", [&](TQorFile& f) { f.Read(buffer, 1); }, 1, 1},
            {"ReadBlock", [&](TQorFile& f) { f.ReadBlock(buffer, 1, 2); }, 1, 1},
            {"ReadNoSk", [&](TQorFile& f) { f.ReadNoSk(buffer); }, 0, 1},
            {"ReadBlockNoSk", [&](TQorFile& f) { f.ReadBlockNoSk(buffer, 2); }, 0, 1},
            {"ReadStartNoEofError", [&](TQorFile& f) { f.ReadStartNoEofError(buffer); }, 1, 1},
        },
        false);
}

TEST(QorFileCost, AppendOnARecordBoundaryPositionsOnce) {
    const ScratchDir dir;
    PutFile(dir / "even.dat", "01234567");
    CountingFiles files;
    TQorFile file(dir / "even.dat", 4, files);
    ASSERT_TRUE(file.Open(OpenExistingOnly));
    files.Reset();
    file.WriteEnd("abcd");
    EXPECT_EQ(files.positionings, 1);
    EXPECT_EQ(files.transfers, 1);
    EXPECT_EQ(files.locks, 1) << "the append holds the appenders' lock";
}

TEST(QorFileCost, MappedModeTransfersNothing) {
    char buffer[8] = {};
    ExpectCosts(
        {
            {"Seek", [](TQorFile& f) { f.Seek(1); }, 0, 0},
            {"Write", [&](TQorFile& f) { f.Write(buffer, 1); }, 0, 0},
            {"WriteBlock", [&](TQorFile& f) { f.WriteBlock(buffer, 1, 2); }, 0, 0},
            {"WriteStart", [&](TQorFile& f) { f.WriteStart(buffer); }, 0, 0},
            {"WriteEmpty", [](TQorFile& f) { f.WriteEmpty(2); }, 0, 0},
            {"Read", [&](TQorFile& f) { f.Read(buffer, 1); }, 0, 0},
            {"ReadBlock", [&](TQorFile& f) { f.ReadBlock(buffer, 1, 2); }, 0, 0},
        },
        true);
}

TEST(QorFileCost, CompoundOperationsAddOneOpenAndOneClose) {
    const ScratchDir dir;
    PutFile(dir / "c.dat", "0123");
    CountingFiles files;
    TQorFile file(dir / "c.dat", 4, files);
    char buffer[4] = {};
    file.OpenReadClose(buffer, 0);
    file.OpenWriteClose(buffer, 0);
    EXPECT_EQ(files.opens, 2);
    EXPECT_EQ(files.closes, 2);
    EXPECT_EQ(files.positionings, 2);
    EXPECT_EQ(files.transfers, 2);
}

}  // namespace
}  // namespace qor
