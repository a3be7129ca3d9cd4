#include "app/cli/command_line.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <functional>
#include <optional>

#include "app/cli/json.h"
#include "app/form.h"
#include "app/report.h"
#include "platform/windows1252.h"

namespace corvix::cli {
namespace {

using Clock = std::chrono::steady_clock;

// The connection test's steps, each with the result label the window shows it in.
struct Step {
    ControlId caption;
    ControlId result;
    std::string_view name;
    int exitCode;
};
constexpr std::array<Step, 3> Steps = {{
    {ControlId::Label9, ControlId::LabelResultGHI, "lookup", ExitLookupFailed},
    {ControlId::Label12, ControlId::LabelResultOS, "socket", ExitSocketFailed},
    {ControlId::Label33, ControlId::LabelResultC, "connect", ExitConnectFailed},
}};

constexpr std::size_t StepColumn = 22;

// Stands in for the window: notes when each step of a test finishes, and keeps the errors the logic
// would show in a box.
class CommandView final : public View {
public:
    using Finished = std::function<void(std::size_t step)>;

    void Attach(const TForm1& form) { form_ = &form; }
    void OnFinished(Finished finished) { finished_ = std::move(finished); }

    void RepaintNow() override { Observe(); }
    void Close() override { closed = true; }
    void ShowError(const std::string& text) override { errors.push_back(text); }

    // A step whose label has left "?" finished since the last look (the window repaints after every
    // step), so its time is the time since then. A failed look-up ends the test without a repaint:
    // the caller looks once more at the end.
    void Observe() {
        const Clock::time_point now = Clock::now();
        bool allWaiting = true;
        for (std::size_t i = 0; i < Steps.size(); ++i) {
            const std::string& text = form_->Control(Steps[i].result).text;
            allWaiting = allWaiting && text == "?";
            if (started_ && !elapsedMs[i] && text != "?") {
                elapsedMs[i] = std::chrono::duration_cast<std::chrono::milliseconds>(now - last_).count();
                if (finished_) finished_(i);
            }
        }
        started_ = started_ || allWaiting;
        last_ = now;
    }

    std::vector<std::string> errors;
    bool closed = false;
    std::array<std::optional<std::int64_t>, Steps.size()> elapsedMs;

private:
    const TForm1* form_ = nullptr;
    Finished finished_;
    bool started_ = false;
    Clock::time_point last_ = Clock::now();
};

struct Command {
    std::string name;
    bool json = false;
    std::optional<std::string> host;
    std::optional<std::int64_t> warningMs;
};

bool IsCommand(const std::string& word) {
    return word == "show" || word == "test" || word == "set-host" || word == "check";
}

// A host name fit to be looked up and stored: not empty, no control characters.
bool IsHostName(const std::string& text) {
    if (text.empty()) return false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

std::optional<std::int64_t> Milliseconds(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value == 0) return std::nullopt;
    return value;
}

// Fills `command`; the message of the first bad argument otherwise.
std::optional<std::string> Parse(const std::vector<std::string>& arguments, Command& command) {
    if (arguments.empty()) return "no command given (try --help)";
    const std::string& first = arguments[0];
    if (first == "--help" || first == "-h" || first == "--version") {
        if (arguments.size() > 1) return "unexpected argument '" + arguments[1] + "'";
        command.name = first == "--version" ? "version" : "help";
        return std::nullopt;
    }
    if (!IsCommand(first)) {
        return (first.starts_with("-") ? "unknown option '" : "unknown command '") + first + "'";
    }
    command.name = first;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--json" && (command.name == "show" || command.name == "test")) {
            command.json = true;
        } else if (argument == "--warning" && command.name == "check") {
            if (i + 1 == arguments.size()) return "--warning needs a number of milliseconds";
            command.warningMs = Milliseconds(arguments[++i]);
            if (!command.warningMs) return "bad number of milliseconds for --warning: '" + arguments[i] + "'";
        } else if (argument.starts_with("-") && argument.size() > 1) {
            return "unknown option '" + argument + "' for " + command.name;
        } else if (command.name != "show" && !command.host) {
            if (!IsHostName(argument)) return "bad host name '" + argument + "'";
            command.host = argument;
        } else {
            return "unexpected argument '" + argument + "'";
        }
    }
    if (command.name == "set-host" && !command.host) return "set-host needs a host name";
    return std::nullopt;
}

std::string HelpText(const std::string& program) {
    return "Usage: " + program +
           " COMMAND [OPTIONS]\n"
           "The Corvix Tcp/Ip Configuration tool's facts, connection test and settings, for scripts.\n"
           "\n"
           "Commands:\n"
           "  show [--json]           the WinSock facts, the OS, WOW64 and the stored server settings;\n"
           "                          reads only, never writes the settings\n"
           "  test [HOST] [--json]    the connection test to the stored host (or HOST, not stored), port 234\n"
           "  set-host HOST           stores HOST as the server's host name, with port 234\n"
           "  check [HOST] [--warning MS]\n"
           "                          the test as a monitoring plugin: one status line; a connect slower\n"
           "                          than MS milliseconds is a warning\n"
           "  --help                  this text\n"
           "  --version               the program's version\n"
           "\n"
           "Exit codes of show, test and set-host:\n"
           "  0 everything Ok             1 the stored settings could not be read\n"
           "  2 the look-up failed        3 the socket could not be opened\n"
           "  4 the connect failed        5 the settings could not be stored\n"
           "  6 socket start-up failed    64 usage error       130 interrupted (Ctrl+C)\n"
           "Exit codes of check: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.\n"
           "No run takes longer than 21 seconds.\n";
}

class Run {
public:
    Run(const std::string& program, const Command& command, Services& services)
        : program_(program),
          command_(command),
          services_(services),
          form_(view_, services.registry, services.sockets, services.system, services.systemLog) {
        view_.Attach(form_);
    }

    int Execute() {
        ArmEndings();
        if (command_.name == "set-host") return SetHost();
        form_.Run([](TForm1& f) { f.FormCreateWithoutStoring(); });
        stored_ = form_.settings;  // a test takes the edit fields into the same fields
        if (!view_.errors.empty()) return Fail(command_.name == "check" ? CheckUnknown : ExitSettingsUnreadable);
        if (command_.name == "show") return Show();
        if (command_.name == "check") return Check();
        return Test();
    }

    ~Run() {
        form_.Run([](TForm1& f) { f.FormClose(); });
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

private:
    bool StartupFailed() const { return form_.Control(ControlId::LabelResultInit).code != 0; }

    void Out(std::string_view eightBitText) {
        services_.console.Write(os::Stream::Out, qor::Windows1252ToUtf8(eightBitText));
    }
    void Err(std::string_view eightBitText) {
        services_.console.Write(os::Stream::Err, qor::Windows1252ToUtf8(eightBitText));
    }

    // Ctrl+C and the time limit end the process at once, saying so in the command's own way.
    void ArmEndings() {
        const bool check = command_.name == "check";
        deadlineExit_ = check                         ? CheckCritical
                        : command_.name == "test"     ? ExitLookupFailed
                        : command_.name == "set-host" ? ExitNotStored
                                                      : ExitStartupFailed;
        interruptExit_ = check ? CheckUnknown : ExitInterrupted;
        const std::string limit = std::to_string(RunTimeLimit.count() / 1000);
        services_.console.EndOnInterrupt(
            check ? os::Ending{"CORVIX TCPIP UNKNOWN - interrupted\n", os::Stream::Out, &interruptExit_}
                  : os::Ending{program_ + ": interrupted\n", os::Stream::Err, &interruptExit_});
        services_.console.EndAfter(RunTimeLimit,
                                   check ? os::Ending{"CORVIX TCPIP CRITICAL - no result within " + limit + " s\n",
                                                      os::Stream::Out, &deadlineExit_}
                                         : os::Ending{program_ + ": no result within " + limit + " s; stopped\n",
                                                      os::Stream::Err, &deadlineExit_});
    }

    int Fail(int exitCode) {
        for (const std::string& error : view_.errors) {
            if (command_.name == "check") {
                Out("CORVIX TCPIP UNKNOWN - " + error + "\n");
            } else {
                Err(program_ + ": " + error + "\n");
            }
        }
        return exitCode;
    }

    int SetHost() {
        form_.Control(ControlId::EditHostName).text = *command_.host;
        form_.Control(ControlId::EditPort).text = std::to_string(services_.serverPort);
        form_.Run([](TForm1& f) { f.ButtonOkClick(); });
        if (!view_.errors.empty()) return Fail(ExitNotStored);
        Out("Stored host name " + *command_.host + ", port " + std::to_string(services_.serverPort) + ".\n");
        return ExitOk;
    }

    int Show() {
        const int exitCode = StartupFailed() ? ExitStartupFailed : ExitOk;
        if (command_.json) {
            services_.console.Write(os::Stream::Out, Json(false, exitCode));
        } else {
            Out(FormReport(form_, services_.system.LocalTime()));
        }
        return exitCode;
    }

    // The button's test on the host and port given, or the stored host.
    void RunTest(CommandView::Finished finished) {
        if (command_.host) form_.Control(ControlId::EditHostName).text = *command_.host;
        form_.Control(ControlId::EditPort).text = std::to_string(services_.serverPort);
        testedHost_ = form_.Control(ControlId::EditHostName).text;
        view_.OnFinished([this, finished](std::size_t step) {
            // Past the look-up, a run cut short by the time limit failed to connect.
            if (step == 0) deadlineExit_.store(command_.name == "check" ? CheckCritical : ExitConnectFailed);
            if (finished) finished(step);
        });
        form_.Run([](TForm1& f) { f.ButtonTestClick(); });
        view_.Observe();
    }

    int TestExitCode() const {
        if (StartupFailed()) return ExitStartupFailed;
        if (!view_.errors.empty()) return ExitSettingsUnreadable;
        for (const Step& step : Steps) {
            if (form_.Control(step.result).code != 0) return step.exitCode;
        }
        return ExitOk;
    }

    int Test() {
        RunTest(command_.json ? CommandView::Finished{} : [this](std::size_t i) {
            std::string line = form_.Control(Steps[i].caption).text;
            line.resize(std::max(StepColumn, line.size() + 1), ' ');
            Out(line + form_.Control(Steps[i].result).text + "  (" + std::to_string(*view_.elapsedMs[i]) + " ms)\n");
        });
        const int exitCode = TestExitCode();
        if (command_.json) {
            services_.console.Write(os::Stream::Out, Json(true, exitCode));
        } else {
            for (const std::string& error : view_.errors) Err(program_ + ": " + error + "\n");
            Out("\n" + FormReport(form_, services_.system.LocalTime()));
        }
        return exitCode;
    }

    int Check() {
        if (StartupFailed()) {
            Out("CORVIX TCPIP UNKNOWN - socket start-up failed: " + form_.Control(ControlId::LabelResultInit).text +
                "\n");
            return CheckUnknown;
        }
        RunTest({});
        if (!view_.errors.empty()) return Fail(CheckUnknown);
        for (std::size_t i = 0; i < Steps.size(); ++i) {
            const ControlState& result = form_.Control(Steps[i].result);
            if (result.code != 0) {
                Out("CORVIX TCPIP CRITICAL - " + std::string(Steps[i].name) + " " + result.text + "\n");
                return CheckCritical;
            }
        }
        const std::int64_t ms = view_.elapsedMs[2].value_or(0);
        const bool slow = command_.warningMs && ms > *command_.warningMs;
        std::string line = std::string("CORVIX TCPIP ") + (slow ? "WARNING" : "OK") + " - " + testedHost_ + ":" +
                           std::to_string(services_.serverPort) + " connected in " + std::to_string(ms) +
                           " ms | time=" + Seconds(ms) + "s";
        if (command_.warningMs) line += ";" + Seconds(*command_.warningMs);
        Out(line + "\n");
        return slow ? CheckWarning : CheckOk;
    }

    static std::string Seconds(std::int64_t ms) {
        char text[32];
        std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                      static_cast<long long>(ms % 1000));
        return text;
    }

    // A label's text as JSON, or null while it holds no finding ("-", "?").
    void Finding(JsonWriter& json, std::string_view key, ControlId id) const {
        const std::string& text = form_.Control(id).text;
        if (text == "-" || text == "?") {
            json.Null(key);
        } else {
            json.Text(key, text);
        }
    }

    // UTF-8, ready to write.
    std::string Json(bool withTest, int exitCode) const {
        const auto text = [this](ControlId id) -> const std::string& { return form_.Control(id).text; };
        JsonWriter json;
        json.BeginObject();
        json.BeginObject("program").Text("name", ApplicationTitle).Text("version", ProgramVersion()).EndObject();
        json.BeginObject("winsock");
        json.BeginObject("startup")
            .Text("result", text(ControlId::LabelResultInit))
            .Number("code", form_.Control(ControlId::LabelResultInit).code)
            .EndObject();
        // Without WinSock the window shows its controls' initial texts: no facts.
        const std::pair<std::string_view, ControlId> facts[] = {
            {"version", ControlId::LabelVersion},         {"description", ControlId::LabelDescription},
            {"systemStatus", ControlId::LabelSysStat},    {"maxSockets", ControlId::LabelMaxSockets},
            {"maxDatagram", ControlId::LabelMaxDataGram}, {"hostName", ControlId::LabelHostName},
        };
        for (const auto& [key, id] : facts) {
            if (StartupFailed()) {
                json.Null(key);
            } else {
                json.Text(key, text(id));
            }
        }
        json.EndObject();
        json.BeginObject("system").Text("os", text(ControlId::LabelOs)).Text("wow64", text(ControlId::LabelIsWow64));
        json.EndObject();
        json.BeginObject("settings").Text("hostName", stored_.hostName).Number("port", stored_.port);
        json.EndObject();
        if (withTest) {
            json.BeginObject("test").Text("host", testedHost_).Number("port", services_.serverPort);
            json.BeginArray("steps");
            for (std::size_t i = 0; i < Steps.size(); ++i) {
                const ControlState& result = form_.Control(Steps[i].result);
                json.BeginObject().Text("step", Steps[i].name).Text("result", result.text).Number("code", result.code);
                if (view_.elapsedMs[i]) {
                    json.Number("elapsedMs", *view_.elapsedMs[i]);
                } else {
                    json.Null("elapsedMs");
                }
                json.EndObject();
            }
            json.EndArray();
            Finding(json, "officialName", ControlId::LabelHost);
            Finding(json, "address", ControlId::LabelAddr);
            json.EndObject();
        }
        json.Number("exitCode", exitCode);
        json.EndObject();
        return json.Finish();
    }

    const std::string& program_;
    const Command& command_;
    Services& services_;
    CommandView view_;
    TForm1 form_;
    std::string testedHost_;
    ServerSettings stored_;
    // Read by the endings, which may come after this run has been destroyed.
    static inline std::atomic<int> deadlineExit_{0};
    static inline std::atomic<int> interruptExit_{0};
};

}  // namespace

int RunCommandLine(const std::string& programName, const std::vector<std::string>& arguments, Services& services) {
    Command command;
    if (const auto error = Parse(arguments, command)) {
        const bool check = !arguments.empty() && arguments[0] == "check";
        if (check) {
            services.console.Write(os::Stream::Out, "CORVIX TCPIP UNKNOWN - " + qor::Windows1252ToUtf8(*error) + "\n");
            return CheckUnknown;
        }
        services.console.Write(os::Stream::Err, qor::Windows1252ToUtf8(programName + ": " + *error + "\n"));
        return ExitUsage;
    }
    if (command.name == "help") {
        services.console.Write(os::Stream::Out, HelpText(programName));
        return ExitOk;
    }
    if (command.name == "version") {
        services.console.Write(os::Stream::Out, programName + " " + std::string(ProgramVersion()) + "\n");
        return ExitOk;
    }
    Run run(programName, command, services);
    return run.Execute();
}

}  // namespace corvix::cli
