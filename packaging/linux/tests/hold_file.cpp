// Holds a file open with every share denied, as another program busy with it would, until it is
// killed: openers through the files service are refused meanwhile.
#include <chrono>
#include <iostream>
#include <thread>

#include "os/files.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::cerr << "usage: hold_file <path>\n";
        return 2;
    }
    const os::OpenResult opened =
        os::RealFiles().Open(argv[1], os::Files::GenericRead, 0, os::Files::OpenExisting, os::Files::AttributeNormal);
    if (opened.handle == os::InvalidFileHandle) {
        std::cerr << "cannot open " << argv[1] << " (error " << opened.error << ")\n";
        return 1;
    }
    std::cout << "held" << std::endl;
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
