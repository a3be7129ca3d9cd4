// The command-line program: the library's modules started as for the window, then one command.
#include <cstdlib>
#include <string>
#include <vector>

#include "app/cli/command_line.h"
#include "app/modules.h"

int main(int argc, char* argv[]) {
    // First of all: a socket opened later must never become standard output.
    os::OpenStandardStreams();
    // Named as it was started, without its directory or ".exe".
    std::string program = argc > 0 ? argv[0] : "corvix-tcpip-cli";
    program = program.substr(program.find_last_of("/\\") + 1);
    if (program.size() > 4 && program.ends_with(".exe")) program.resize(program.size() - 4);
    const std::vector<std::string> arguments = os::ProgramArguments(argc, argv);

    corvix::ModuleRunner modules(corvix::ProgramModules());
    if (const auto halted = modules.StartUp()) return *halted;
    corvix::cli::Services services{os::RealRegistry(), os::RealSockets(), os::RealSystem(), os::RealConsole(),
                                   os::RealSystemLog()};
    // A run past its time limit has said so; the call it waits in may never return.
    services.endProcess = [](int exitCode) { std::_Exit(exitCode); };
    const int exitCode = corvix::cli::RunCommandLine(program, arguments, services);
    modules.ShutDown();
    return exitCode;
}
