// POSIX only: a unix datagram socket in a scratch directory that stands in for the system log's
// /dev/log, so a test sends records through the real call path and reads what arrived.
#pragma once

#include <string>
#include <vector>

#include "os/testing/scratch_dir.h"

namespace os::testing {

class LogListener {
public:
    // Binds <scratch directory>/log; throws std::runtime_error when it cannot.
    LogListener();
    ~LogListener();
    LogListener(const LogListener&) = delete;
    LogListener& operator=(const LogListener&) = delete;

    const std::string& Path() const { return path_; }
    // The datagrams that arrived since the last call, each whole, oldest first; waits for none.
    std::vector<std::string> Received();

private:
    ScratchDir dir_;
    std::string path_;
    int fd_ = -1;
};

}  // namespace os::testing
