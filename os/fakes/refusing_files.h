// An os::Files for tests that passes every call to another files service, except the opens that a
// test chooses to refuse: a lock file another user left behind, a share that answers "access denied".
#pragma once

#include <functional>

#include "os/files.h"

namespace os::fakes {

class RefusingFiles : public Files {
public:
    explicit RefusingFiles(Files& target) : target_(target) {}

    // Given the name and access of an open, the error to refuse it with, or 0 to let it through.
    std::function<std::uint32_t(const std::string& name, std::uint32_t access)> refuseOpen = [](const auto&, auto) {
        return 0u;
    };

    OpenResult Open(const std::string& name, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                    std::uint32_t flags) override {
        if (const std::uint32_t error = refuseOpen(name, access); error != 0) return {InvalidFileHandle, error};
        return target_.Open(name, access, share, disposition, flags);
    }
    std::uint32_t Close(FileHandle handle) override { return target_.Close(handle); }
    PointerResult SetPointer(FileHandle handle, std::int32_t distance, std::uint32_t method) override {
        return target_.SetPointer(handle, distance, method);
    }
    TransferResult Read(FileHandle handle, void* buffer, std::uint32_t count) override {
        return target_.Read(handle, buffer, count);
    }
    TransferResult Write(FileHandle handle, const void* buffer, std::uint32_t count) override {
        return target_.Write(handle, buffer, count);
    }
    SizeResult Size(FileHandle handle) override { return target_.Size(handle); }
    std::uint32_t Delete(const std::string& name) override { return target_.Delete(name); }
    std::uint32_t Rename(const std::string& from, const std::string& to) override { return target_.Rename(from, to); }
    std::uint32_t Replace(const std::string& from, const std::string& to) override { return target_.Replace(from, to); }
    std::optional<FindEntry> FindFirst(const std::string& name, std::uint32_t skip) override {
        return target_.FindFirst(name, skip);
    }
    std::uint32_t MakeDirectory(const std::string& name) override { return target_.MakeDirectory(name); }
    std::string FullPath(const std::string& name) override { return target_.FullPath(name); }
    OpenResult CreateMapping(FileHandle file) override { return target_.CreateMapping(file); }
    ViewResult MapView(FileHandle mapping) override { return target_.MapView(mapping); }
    std::uint32_t UnmapView(void* view) override { return target_.UnmapView(view); }
    std::uint32_t LockAppends(FileHandle handle) override { return target_.LockAppends(handle); }
    std::uint32_t UnlockAppends(FileHandle handle) override { return target_.UnlockAppends(handle); }

private:
    Files& target_;
};

}  // namespace os::fakes
