// The files service against real files: the same answers, codes included, on both platforms.
#include "os/files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "os/system.h"
#include "os/testing/scratch_dir.h"

namespace os {
namespace {

constexpr std::uint32_t ReadWrite = Files::GenericRead | Files::GenericWrite;
constexpr std::uint32_t ShareBoth = Files::ShareRead | Files::ShareWrite;

class FilesTest : public ::testing::Test {
protected:
    ~FilesTest() override {
        for (const FileHandle handle : open_) files_.Close(handle);
    }

    std::string Name(const std::string& leaf) const { return (dir_ / leaf).string(); }

    void Put(const std::string& leaf, const std::string& bytes) const {
        std::ofstream(Name(leaf), std::ios::binary) << bytes;
    }

    // Opens and keeps the handle until the test ends; fails the test when the open fails.
    FileHandle Held(const std::string& leaf, std::uint32_t access, std::uint32_t share = ShareBoth) {
        const OpenResult opened = files_.Open(Name(leaf), access, share, Files::OpenAlways, Files::AttributeNormal);
        EXPECT_EQ(opened.error, 0u);
        EXPECT_NE(opened.handle, InvalidFileHandle);
        open_.push_back(opened.handle);
        return opened.handle;
    }

    Files& files_ = RealFiles();
    const testing::ScratchDir scratch_;
    const std::filesystem::path dir_{scratch_.Path()};
    std::vector<FileHandle> open_;
};

TEST_F(FilesTest, ErrorCodesOfNamedOperations) {
    Put("here.dat", "x");
    Put("other.dat", "y");
    std::filesystem::create_directory(dir_ / "folder");
    const auto open = [&](const std::string& leaf, std::uint32_t disposition) {
        const OpenResult opened = files_.Open(Name(leaf), ReadWrite, ShareBoth, disposition, Files::AttributeNormal);
        if (opened.handle != InvalidFileHandle) files_.Close(opened.handle);
        return opened.error;
    };
    const std::string missingDir = std::string("nodir") + PathSeparator();
    struct Row {
        const char* name;
        std::function<std::uint32_t()> call;
        std::uint32_t code;
    };
    const Row rows[] = {
        {"open a missing file", [&] { return open("none.dat", Files::OpenExisting); }, ErrorFileNotFound},
        {"open in a missing directory", [&] { return open(missingDir + "f.dat", Files::OpenAlways); },
         ErrorPathNotFound},
        {"create a file that exists", [&] { return open("here.dat", Files::CreateNew); }, ErrorFileExists},
        {"truncate a missing file", [&] { return open("none.dat", Files::TruncateExisting); }, ErrorFileNotFound},
        {"open a directory", [&] { return open("folder", Files::OpenExisting); }, ErrorAccessDenied},
        {"delete a missing file", [&] { return files_.Delete(Name("none.dat")); }, ErrorFileNotFound},
        {"delete in a missing directory", [&] { return files_.Delete(Name(missingDir + "f.dat")); }, ErrorPathNotFound},
        {"rename a missing file", [&] { return files_.Rename(Name("none.dat"), Name("new.dat")); }, ErrorFileNotFound},
        {"rename onto an existing file", [&] { return files_.Rename(Name("here.dat"), Name("other.dat")); },
         ErrorAlreadyExists},
        {"rename into a missing directory", [&] { return files_.Rename(Name("here.dat"), Name(missingDir + "f.dat")); },
         ErrorPathNotFound},
        {"make an existing directory", [&] { return files_.MakeDirectory(Name("folder")); }, ErrorAlreadyExists},
        {"make a directory in a missing one", [&] { return files_.MakeDirectory(Name(missingDir + "sub")); },
         ErrorPathNotFound},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.call(), row.code) << row.name;
    }
}

TEST_F(FilesTest, FilePointerMovesFromThreeOrigins) {
    Put("p.dat", "0123456789");
    const FileHandle file = Held("p.dat", ReadWrite);
    EXPECT_EQ(files_.SetPointer(file, 5, Files::FromBegin).position, 5u);
    EXPECT_EQ(files_.SetPointer(file, -2, Files::FromCurrent).position, 3u);
    EXPECT_EQ(files_.SetPointer(file, -1, Files::FromEnd).position, 9u);
    const PointerResult before = files_.SetPointer(file, -1, Files::FromBegin);
    EXPECT_EQ(before.position, InvalidFilePosition);
    EXPECT_EQ(before.error, ErrorNegativeSeek);
    EXPECT_EQ(files_.SetPointer(file, 0, Files::FromCurrent).position, 9u) << "a failed move leaves the pointer";
    char byte = 0;
    const TransferResult read = files_.Read(file, &byte, 1);
    EXPECT_TRUE(read.ok);
    EXPECT_EQ(byte, '9');
    EXPECT_EQ(files_.Read(file, &byte, 1).count, 0u) << "at the end a read moves nothing and still succeeds";
    EXPECT_TRUE(files_.Write(file, "ab", 2).ok);
    EXPECT_EQ(files_.Size(file).size, 12u);
}

TEST_F(FilesTest, AccessIsEnforcedPerHandle) {
    Put("a.dat", "abc");
    char byte = 0;
    const TransferResult read = files_.Read(Held("a.dat", Files::GenericWrite), &byte, 1);
    EXPECT_FALSE(read.ok);
    EXPECT_EQ(read.error, ErrorAccessDenied);
    const TransferResult written = files_.Write(Held("a.dat", Files::GenericRead), "z", 1);
    EXPECT_FALSE(written.ok);
    EXPECT_EQ(written.error, ErrorAccessDenied);
    EXPECT_EQ(files_.Close(0x00FFFFF0u), ErrorInvalidHandle) << "a value never handed out";
}

TEST_F(FilesTest, AFileHeldWithoutShareDeleteCannotBeDeletedOrRenamed) {
    Put("held.dat", "abc");
    const FileHandle file = Held("held.dat", Files::GenericRead);
    EXPECT_EQ(files_.Delete(Name("held.dat")), ErrorSharingViolation);
    EXPECT_EQ(files_.Rename(Name("held.dat"), Name("moved.dat")), ErrorSharingViolation);
    EXPECT_TRUE(std::filesystem::exists(Name("held.dat")));
    files_.Close(file);
    open_.clear();
    EXPECT_EQ(files_.Delete(Name("held.dat")), 0u);
}

TEST_F(FilesTest, FindFirstGivesSizeAndAttributes) {
    Put("ten.dat", "0123456789");
    std::filesystem::create_directory(dir_ / "folder");
    const auto file = files_.FindFirst(Name("ten.dat"), 0);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(file->sizeLow, 10u);
    EXPECT_EQ(file->name, "ten.dat");
    EXPECT_EQ(file->attributes & Files::AttributeDirectory, 0u);
    const auto folder = files_.FindFirst(Name("folder"), 0);
    ASSERT_TRUE(folder.has_value());
    EXPECT_NE(folder->attributes & Files::AttributeDirectory, 0u);
    EXPECT_FALSE(files_.FindFirst(Name("folder"), Files::AttributeDirectory).has_value());
    EXPECT_FALSE(files_.FindFirst(Name("none.dat"), 0).has_value());
}

TEST_F(FilesTest, FullPathNeedsNoFile) {
    const std::string sep(1, PathSeparator());
    const std::string expected = (std::filesystem::current_path() / "y.dat").string();
    EXPECT_EQ(files_.FullPath("x" + sep + ".." + sep + "y.dat"), expected);
    EXPECT_EQ(files_.FullPath("." + sep + "y.dat"), expected);
    EXPECT_EQ(files_.FullPath(Name("a") + sep + sep + "b"), Name("a") + sep + "b");
    EXPECT_EQ(files_.FullPath(""), "");
}

TEST_F(FilesTest, MappingSharesThePagesOfTheFile) {
    Put("m.dat", "abcdefgh");
    const FileHandle file = Held("m.dat", ReadWrite);
    const OpenResult mapping = files_.CreateMapping(file);
    ASSERT_EQ(mapping.error, 0u);
    const ViewResult view = files_.MapView(mapping.handle);
    ASSERT_NE(view.view, nullptr);
    EXPECT_EQ(std::memcmp(view.view, "abcdefgh", 8), 0);
    std::memcpy(static_cast<char*>(view.view) + 2, "XY", 2);
    char bytes[8] = {};
    ASSERT_TRUE(files_.Read(file, bytes, 8).ok);
    EXPECT_EQ(std::string(bytes, 8), "abXYefgh");
    EXPECT_EQ(files_.UnmapView(view.view), 0u);
    EXPECT_EQ(files_.Close(mapping.handle), 0u);
}

TEST_F(FilesTest, MappingRefusals) {
    Put("empty.dat", "");
    Put("some.dat", "abc");
    const OpenResult empty = files_.CreateMapping(Held("empty.dat", ReadWrite));
    EXPECT_EQ(empty.error, ErrorFileInvalid);
    const OpenResult readOnly = files_.CreateMapping(Held("some.dat", Files::GenericRead));
    EXPECT_EQ(readOnly.error, ErrorAccessDenied);
}

TEST_F(FilesTest, AppendLockExcludesOtherHandles) {
    Put("l.dat", "");
    const FileHandle first = Held("l.dat", Files::GenericWrite);
    const FileHandle second = Held("l.dat", Files::GenericWrite);
    ASSERT_EQ(files_.LockAppends(first), 0u);
    std::atomic<bool> taken{false};
    std::thread other([&] {
        EXPECT_EQ(files_.LockAppends(second), 0u);
        taken = true;
        EXPECT_EQ(files_.UnlockAppends(second), 0u);
    });
    RealSystem().Sleep(200);
    EXPECT_FALSE(taken) << "the second appender waits while the first holds the lock";
    EXPECT_EQ(files_.UnlockAppends(first), 0u);
    other.join();
    EXPECT_TRUE(taken);
}

}  // namespace
}  // namespace os
