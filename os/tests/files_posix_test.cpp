// The POSIX files service's own rules: lexical full paths.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include "os/files.h"
#include "os/posix/file_rules.h"
#include "os/testing/scratch_dir.h"

namespace os {
namespace {

TEST(PosixFileRules, LexicalFullPath) {
    struct Row {
        const char* in;
        const char* out;
    };
    const Row rows[] = {
        {"/a/b/c.dat", "/a/b/c.dat"},
        {"/a/./b//c.dat", "/a/b/c.dat"},
        {"/a/x/../c.dat", "/a/c.dat"},
        {"/../../c.dat", "/c.dat"},
        {"/a/b/", "/a/b/"},
        {"/a/b/.", "/a/b"},
        {"/a/..", "/"},
        {"/", "/"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(LexicalFullPath(row.in), row.out) << row.in;
    }
}

// ---- Moves between file systems ----

std::optional<dev_t> DeviceOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return std::nullopt;
    return info.st_dev;
}

void Put(const std::string& name, const std::string& bytes) { std::ofstream(name, std::ios::binary) << bytes; }

std::string Get(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class CrossDevice : public ::testing::Test {
protected:
    void SetUp() override {
        const auto local = DeviceOf(here_.Path());
        // Memory file systems that a Linux machine mounts apart from the temporary directory.
        for (const char* candidate :
             {"/dev/shm", "/run/shm", static_cast<const char*>(std::getenv("XDG_RUNTIME_DIR"))}) {
            if (candidate == nullptr || access(candidate, W_OK | X_OK) != 0) continue;
            const auto device = DeviceOf(candidate);
            if (!device || device == local) continue;
            there_.emplace(candidate);
            break;
        }
        if (!there_) GTEST_SKIP() << "no second file system to move to";
    }

    Files& files_ = RealFiles();
    const testing::ScratchDir here_;
    std::optional<testing::ScratchDir> there_;
};

TEST_F(CrossDevice, AFileMovesWithItsBytesAndLastWriteTime) {
    Put(here_ / "a.dat", std::string("bytes\0and more", 14));
    const timespec times[2] = {{1000000000, 0}, {1234567890, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, (here_ / "a.dat").c_str(), times, 0), 0);
    ASSERT_EQ(files_.Rename(here_ / "a.dat", *there_ / "b.dat"), 0u);
    EXPECT_FALSE(std::filesystem::exists(here_ / "a.dat"));
    EXPECT_EQ(Get(*there_ / "b.dat"), std::string("bytes\0and more", 14));
    struct stat moved {};
    ASSERT_EQ(stat((*there_ / "b.dat").c_str(), &moved), 0);
    EXPECT_EQ(moved.st_mtim.tv_sec, times[1].tv_sec);
    EXPECT_EQ(moved.st_mtim.tv_nsec, times[1].tv_nsec);
}

TEST_F(CrossDevice, TheReplaceRulesHold) {
    Put(here_ / "new.dat", "new");
    Put(*there_ / "old.dat", "old");
    EXPECT_EQ(files_.Rename(here_ / "new.dat", *there_ / "old.dat"), ErrorAlreadyExists);
    EXPECT_EQ(Get(*there_ / "old.dat"), "old");
    EXPECT_EQ(Get(here_ / "new.dat"), "new");

    EXPECT_EQ(files_.Replace(here_ / "missing.dat", *there_ / "old.dat"), ErrorFileNotFound);
    EXPECT_EQ(Get(*there_ / "old.dat"), "old");

    EXPECT_EQ(files_.Replace(here_ / "new.dat", *there_ / "old.dat"), 0u);
    EXPECT_EQ(Get(*there_ / "old.dat"), "new");
    EXPECT_FALSE(std::filesystem::exists(here_ / "new.dat"));
    // Nothing of the copy is left beside the target.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(there_->Path()), {}), 1);
}

TEST_F(CrossDevice, ADirectoryStaysWhereItIs) {
    std::filesystem::create_directory(here_ / "folder");
    Put(here_ / "folder/inside.dat", "x");
    EXPECT_EQ(files_.Rename(here_ / "folder", *there_ / "folder"), ErrorNotSameDevice);
    EXPECT_EQ(Get(here_ / "folder/inside.dat"), "x");
    EXPECT_FALSE(std::filesystem::exists(*there_ / "folder"));
}

// ---- Locks that need only read access ----

// Runs `body` in a child that is not root, so that file modes bind; gives its exit status.
int AsUnprivileged(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(254);
        _exit(body());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
}

TEST(PosixFiles, AnAppendLockNeedsOnlyReadAccess) {
    const testing::ScratchDir dir;
    const std::string name = dir / "other-users.lock";
    Put(name, "");
    ASSERT_EQ(chmod(name.c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    const int status = AsUnprivileged([&] {
        Files& files = RealFiles();
        const OpenResult first = files.Open(name, Files::GenericRead, Files::ShareRead | Files::ShareWrite,
                                            Files::OpenExisting, Files::AttributeNormal);
        const OpenResult second = files.Open(name, Files::GenericRead, Files::ShareRead | Files::ShareWrite,
                                             Files::OpenExisting, Files::AttributeNormal);
        if (first.error != 0 || second.error != 0) return 1;
        if (files
                .Open(name, Files::GenericWrite, Files::ShareRead | Files::ShareWrite, Files::OpenExisting,
                      Files::AttributeNormal)
                .error != ErrorAccessDenied) {
            return 2;
        }
        if (files.LockAppends(first.handle) != 0) return 3;
        // A second holder waits: seen here as a child that cannot take the lock without waiting.
        const pid_t waiter = fork();
        if (waiter == 0) {
            alarm(1);
            files.LockAppends(second.handle);
            _exit(0);
        }
        int waited = 0;
        waitpid(waiter, &waited, 0);
        if (!WIFSIGNALED(waited)) return 4;
        return files.UnlockAppends(first.handle) == 0 && files.LockAppends(second.handle) == 0 ? 0 : 5;
    });
    EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace os
