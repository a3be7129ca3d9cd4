// A scratch directory for a test: made fresh and exclusively under the temporary directory, so no
// other test or process shares it, and removed with everything in it when the object goes.
#pragma once

#include <string>

namespace os::testing {

class ScratchDir {
public:
    // Throws std::runtime_error when no directory can be made.
    ScratchDir();
    // The same under `parent` instead of the temporary directory: another file system, for one.
    explicit ScratchDir(const std::string& parent);
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    // The directory's full path, in the platform's own spelling, without a trailing separator.
    const std::string& Path() const { return path_; }
    // The full path of `leaf` inside the directory.
    std::string operator/(const std::string& leaf) const;

private:
    std::string path_;
};

}  // namespace os::testing
