#include "app/cli/command_line.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "app/cli/listen.h"
#include "app/cli/monitoring.h"
#include "app/connection_test.h"
#include "app/form.h"
#include "app/report.h"
#include "app/settings_record.h"
#include "platform/windows1252.h"

namespace corvix::cli {
namespace {

using Json = nlohmann::ordered_json;
using std::chrono::milliseconds;

constexpr milliseconds RunTimeLimit = WindowsConnectLimit;  // the longest the window's connect waits
constexpr milliseconds CheckTimeLimit{10000};               // check's -t by default, as check_tcp's
constexpr std::size_t StepColumn = 22;

// An argument (UTF-8) as it may stand in a message: in the program's code page where it fits, every
// other byte and every control character escaped.
std::string Echo(std::string_view argument) {
    std::string refused;
    if (const std::optional<std::string> text = qor::Utf8ToWindows1252(argument, refused)) {
        return qor::EscapeControls(*text);
    }
    std::string ascii;
    for (const char c : argument) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\x%02x", unsigned{static_cast<unsigned char>(c)});
        ascii += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : escape;
    }
    return qor::EscapeControls(ascii);
}

// Everything a run prints goes through here: lines stay whole when the time limit ends the run from
// another thread, nothing is printed once it has, and a failed write is remembered.
class Output {
public:
    explicit Output(os::Console& console) : console_(console) {}

    // 8-bit text, each line shown with its control characters escaped.
    void Out(std::string_view text) { Write(os::Stream::Out, Lines(text)); }
    void Err(std::string_view text) { Write(os::Stream::Err, Lines(text)); }
    void OutUtf8(std::string_view text) { Write(os::Stream::Out, text); }

    std::recursive_mutex& Mutex() { return mutex_; }
    // From now on every write is dropped.
    void Close() {
        const std::lock_guard lock(mutex_);
        closed_ = true;
    }
    long Failure() const { return failure_; }

private:
    static std::string Lines(std::string_view text) {
        std::string shown;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = std::min(text.find('\n', at), text.size());
            shown += qor::Windows1252ToUtf8(qor::EscapeControls(text.substr(at, end - at)));
            if (end < text.size()) shown += '\n';
            at = end + 1;
        }
        return shown;
    }

    void Write(os::Stream stream, std::string_view utf8) {
        const std::lock_guard lock(mutex_);
        // After a failed write standard output says nothing more: the reader would miss a part anyway.
        if (closed_ || (stream == os::Stream::Out && failure_ != 0)) return;
        const long written = console_.Write(stream, utf8);
        if (stream == os::Stream::Out && written != os::ErrorSuccess) failure_ = written;
    }

    os::Console& console_;
    std::recursive_mutex mutex_;
    bool closed_ = false;
    long failure_ = os::ErrorSuccess;
};

// Calls `expire` on a thread of its own when `limit` passes before it is destroyed or armed anew. The
// thread is not waited for: on a busy machine its start and end would add their scheduling delays to
// every run. It calls `expire` holding the lock that the destructor takes, so that nothing is called
// once that returns.
class Watchdog {
public:
    Watchdog(milliseconds limit, std::function<void()> expire) : state_(std::make_shared<State>()) {
        state_->deadline = std::chrono::steady_clock::now() + limit;
        std::thread([state = state_, expire = std::move(expire)] {
            std::unique_lock lock(state->mutex);
            while (!state->done) {
                if (state->changed.wait_until(lock, state->deadline) == std::cv_status::timeout && !state->done &&
                    std::chrono::steady_clock::now() >= state->deadline) {
                    expire();
                    return;
                }
            }
        }).detach();
    }
    ~Watchdog() {
        {
            const std::lock_guard lock(state_->mutex);
            state_->done = true;
        }
        state_->changed.notify_all();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // The limit counts again from now.
    void Rearm(milliseconds limit) {
        {
            const std::lock_guard lock(state_->mutex);
            state_->deadline = std::chrono::steady_clock::now() + limit;
        }
        state_->changed.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        bool done = false;
        std::chrono::steady_clock::time_point deadline;
    };
    std::shared_ptr<State> state_;
};

// Stands in for the window: keeps the errors the logic would show in a box.
class CommandView final : public View {
public:
    void RepaintNow() override {}
    void Close() override {}
    void ShowError(const std::string& text) override { errors.push_back(text); }

    std::vector<std::string> errors;
};

int StepExitCode(TestStep step) {
    switch (step) {
    case TestStep::Lookup:
        return ExitLookupFailed;
    case TestStep::Socket:
        return ExitSocketFailed;
    case TestStep::Connect:
        break;
    }
    return ExitConnectFailed;
}

// The caption the window shows for a step.
std::string_view StepCaption(TestStep step) {
    switch (step) {
    case TestStep::Lookup:
        return LayoutRow(ControlId::Label9).text;
    case TestStep::Socket:
        return LayoutRow(ControlId::Label12).text;
    case TestStep::Connect:
        break;
    }
    return LayoutRow(ControlId::Label33).text;
}

// Milliseconds with a fraction, for timings: 0.213.
double FractionalMs(TestClock::duration elapsed) {
    return static_cast<double>(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count()) / 1000;
}

// To the microsecond, as the times are measured.
double Microseconds(double ms) { return std::round(ms * 1000) / 1000; }

// "21 s", "0.2 s".
std::string LimitText(milliseconds limit) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", static_cast<double>(limit.count()) / 1000);
    return text;
}

double SecondsOf(TestClock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

// "0.412 ms", "1204.312 ms".
std::string MsText(TestClock::duration elapsed) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", SecondsOf(elapsed) * 1000);
    return text;
}

struct Parsed {
    const Verb* verb = nullptr;
    std::string global;  // "--help" or "--version" instead of a verb
    std::map<std::string_view, std::string> options;
    std::map<std::string_view, int> counts;  // how often each option was given
    std::optional<std::string> host;         // in the program's code page
    std::optional<std::string> refusedHost;  // a host argument that is no host name, as given
};

std::string CheckHelp(const std::string& program);

}  // namespace

// One verb run: the window's logic created without storing, then the verb's work. The time limit's
// thread reads the test's progress and prints under the output's lock.
class Invocation {
public:
    Invocation(const std::string& program, const Parsed& parsed, Services& services, Output& output)
        : program_(program),
          parsed_(parsed),
          verb_(*parsed.verb),
          services_(services),
          output_(output),
          form_(view_, services.registry, services.sockets, services.system, services.systemLog) {}

    ~Invocation() {
        form_.Run([](TForm1& f) { f.FormClose(); });
    }
    Invocation(const Invocation&) = delete;
    Invocation& operator=(const Invocation&) = delete;

    int Execute() {
        ArmInterrupt();
        int exitCode = 0;
        {
            // A verb that waits for others (listen) has no limit of its own.
            std::optional<Watchdog> watchdog;
            if (verb_.timeLimit > milliseconds::zero()) {
                watchdog.emplace(TimeLimit(), [this] { Expire(); });
                watchdog_ = &*watchdog;
            }
            exitCode = verb_.handler(*this);
            watchdog_ = nullptr;
        }
        const std::lock_guard lock(output_.Mutex());
        return expired_ ? *expired_ : exitCode;
    }

    int Show() {
        if (const int failed = Create(); failed != ExitOk) return End(failed);
        if (!StartupFailed()) return End(ExitOk);
        error_ = StartupError();
        return End(ExitStartupFailed);
    }

    int Test() {
        if (const int failed = Create(); failed != ExitOk) return End(failed);
        if (parsed_.options.contains("--count") || parsed_.options.contains("--watch")) return Repeat();
        RunTest();
        return End(TestExitCode());
    }

    int SetHost() {
        form_.Control(ControlId::EditHostName).text = *parsed_.host;
        form_.Control(ControlId::EditPort).text = std::to_string(services_.serverPort);
        form_.Run([](TForm1& f) { f.ButtonOkClick(); });
        if (!view_.errors.empty()) {
            for (const std::string& error : view_.errors) output_.Err(program_ + ": " + error + "\n");
            return ExitNotStored;
        }
        output_.Out("Stored host name " + *parsed_.host + ", port " + std::to_string(services_.serverPort) + ".\n");
        return ExitOk;
    }

    int Check() {
        if (parsed_.options.contains("--help")) return Said(CheckHelp(program_));
        if (parsed_.options.contains("--version")) return Said(program_ + " " + std::string(ProgramVersion()) + "\n");
        warning_ = OptionRange("--warning");
        critical_ = OptionRange("--critical");
        if (Create() != ExitOk) return NoTest(CheckUnknown, error_);
        if (StartupFailed()) return NoTest(CheckUnknown, StartupError());
        RunTest();
        const std::lock_guard lock(output_.Mutex());
        if (expired_) return *expired_;
        return CheckOutcome();
    }

    int Listen() {
        ListenRequest request;
        request.port = static_cast<std::uint16_t>(services_.serverPort);
        if (const auto count = parsed_.options.find("--count"); count != parsed_.options.end()) {
            request.count = ParseCount(count->second);
        }
        if (const auto timeout = parsed_.options.find("--timeout"); timeout != parsed_.options.end()) {
            request.timeout = ParseDuration(timeout->second);
        }
        const ListenOutput output{
            [this](std::string_view line) {
                output_.Out(line);
                return output_.Failure() == os::ErrorSuccess;
            },
            [this](std::string_view message) { output_.Err(program_ + ": " + std::string(message) + "\n"); }};
        return corvix::cli::Listen(services_.listener, services_.system, request, output, served_);
    }

private:
    // The verb's own limit, or its --timeout: a plugin's -t, a test's limit for each step.
    milliseconds TimeLimit() const {
        if (services_.timeLimit) return *services_.timeLimit;
        const auto timeout = parsed_.options.find("--timeout");
        if (timeout == parsed_.options.end() || verb_.timeLimit == milliseconds::zero()) return verb_.timeLimit;
        if (verb_.plugin) return milliseconds(std::llround(ParseSeconds(timeout->second).value_or(0) * 1000));
        return ParseDuration(timeout->second).value_or(verb_.timeLimit);
    }
    bool StartupFailed() const { return form_.Startup().value_or(0) != 0; }
    std::string StartupError() const {
        return "socket start-up failed: " + form_.ShownText(ControlId::LabelResultInit, nullptr);
    }
    bool WantsJson() const { return parsed_.options.contains("--json"); }
    std::string Host() const { return parsed_.host.value_or(stored_.hostName); }

    // Ctrl+C ends the process at once, saying so in the verb's own way.
    void ArmInterrupt() {
        interruptExit_ = verb_.plugin ? CheckUnknown : ExitInterrupted;
        if (verb_.name == "listen") {
            served_ = 0;
            services_.console.EndOnInterrupt(
                {program_ + ": interrupted; connections served: ", os::Stream::Err, &interruptExit_, &served_});
            return;
        }
        services_.console.EndOnInterrupt(
            verb_.plugin ? os::Ending{"CORVIX TCPIP UNKNOWN - interrupted\n", os::Stream::Out, &interruptExit_}
                         : os::Ending{program_ + ": interrupted\n", os::Stream::Err, &interruptExit_});
    }

    // The window's creation, reading only; ExitOk, or the code of a failure, whose message is kept.
    int Create() {
        long read = os::ErrorSuccess;
        form_.Run([&read](TForm1& f) { read = f.FormCreateWithoutStoring(); });
        stored_ = form_.settings;
        if (!view_.errors.empty()) {
            error_ = view_.errors.front();
            return ExitSettingsUnreadable;
        }
        // Settings that exist but cannot be read must not be tested as if the host were empty; a host
        // given on the command line needs none.
        if (read != os::ErrorSuccess && !parsed_.host) {
            error_ = NotReadMessage(read);
            return ExitSettingsUnreadable;
        }
        return ExitOk;
    }

    void RunTest(bool stepLines = true) {
        const std::string host = Host();
        os::Socket socket = os::InvalidSocket;
        ConnectionTest::Observer observer;
        observer.started = [this](const TestResult& result, TestStep step) {
            const std::lock_guard lock(output_.Mutex());
            test_ = result;
            running_ = step;
        };
        observer.finished = [this, stepLines, &socket](const TestResult& result, TestStep step) {
            const std::lock_guard lock(output_.Mutex());
            test_ = result;
            running_.reset();
            if (stepLines && !verb_.plugin && !WantsJson()) StepLine(result.Step(step));
            if (verb_.plugin && Verbosity() > 0 && step == TestStep::Connect &&
                result.Step(step).outcome == StepOutcome::Succeeded) {
                KeepLocalEnd(socket);
            }
        };
        // Every look-up and connect beyond the three steps has the limit to itself. Rearmed outside the
        // output's lock, which the time limit's thread takes while it holds its own.
        observer.more = [this](const TestResult& result) {
            {
                const std::lock_guard lock(output_.Mutex());
                test_ = result;
            }
            if (watchdog_) watchdog_->Rearm(TimeLimit());
        };
        TestDepth depth;
        if (!verb_.plugin) {
            depth = {TimeLimit(), true, parsed_.options.contains("--all")};
        }
        const TestResult result =
            ConnectionTest(services_.sockets, depth).Run(host, services_.serverPort, socket, observer);
        const std::lock_guard lock(output_.Mutex());
        test_ = result;
    }

    void StepLine(const StepResult& step) {
        std::string line(StepCaption(step.step));
        line.resize(std::max(StepColumn, line.size() + 1), ' ');
        output_.Out(line + step.Text() + "  (" + MsText(step.elapsed) + ")\n");
    }

    int TestExitCode() {
        if (StartupFailed()) {
            error_ = StartupError();
            return ExitStartupFailed;
        }
        if (const std::optional<TestStep> failed = test_->Failure()) {
            error_ = std::string(StepName(*failed)) + " failed: " + test_->Step(*failed).Text();
            return StepExitCode(*failed);
        }
        // With every address, each must have connected.
        for (const ConnectAttempt& attempt : test_->attempts) {
            if (attempt.result.outcome != StepOutcome::Failed) continue;
            error_ = std::string(StepName(attempt.result.step)) + " to " + AddressText(attempt.address) +
                     " failed: " + attempt.result.Text();
            return StepExitCode(attempt.result.step);
        }
        return ExitOk;
    }

    std::string AddressText(const os::IpAddress& address) const { return services_.sockets.AddressText(address); }

    // What the window cannot show: the system's true version and, after a test, every address, where
    // each connect left from, the steps' times, what a failure usually means, and who answered.
    std::string Details() const {
        std::string text = "\nSystem details\n" + ReportLine("Version:", services_.system.VersionDetails());
        if (!test_) return text;
        const TestResult& test = *test_;
        if (test.HasAddress()) {
            text += "\nAddresses of " + test.host + "\n";
            std::vector<os::InAddr> v4 = test.found ? test.found->addresses : std::vector<os::InAddr>{test.address};
            for (std::size_t i = 0; i < v4.size(); ++i) {
                text += ReportLine(AddressText(os::IpAddress::V4(v4[i])), i == 0 ? "used by the suite's programs" : "");
            }
            for (const os::IpAddress& v6 : test.ipv6) {
                text += ReportLine(AddressText(v6), "IPv6: not used by the suite's programs");
            }
        }
        if (!test.attempts.empty()) {
            text += "\nConnections to port " + std::to_string(test.port) + "\n";
            for (const ConnectAttempt& attempt : test.attempts)
                text += ReportLine(AddressText(attempt.address), Attempt(attempt));
        }
        text += "\nStep times\n";
        for (const StepResult& step : test.steps) {
            text +=
                ReportLine(std::string(StepCaption(step.step)),
                           step.Ran() || step.outcome == StepOutcome::NotNeeded ? MsText(step.elapsed) : step.Text());
        }
        if (const std::string hint = Hint(test); !hint.empty()) text += "\nCause\n  " + hint + "\n";
        for (const ConnectAttempt& attempt : test.attempts) {
            if (!attempt.listener) continue;
            text += "\nThe peer at " + AddressText(attempt.address) +
                    " is this tool's listener (listen), not the Corvix server.\n";
        }
        return text;
    }

    // "Ok  0.213 ms  from 127.0.0.1:50123 on lo".
    std::string Attempt(const ConnectAttempt& attempt) const {
        std::string text = attempt.result.Text();
        if (attempt.result.step == TestStep::Connect) text += "  " + MsText(attempt.result.elapsed);
        if (attempt.local) {
            text += "  from " + AddressText(attempt.local->address) + ":" + std::to_string(attempt.local->port);
            if (!attempt.interfaceName.empty()) text += " on " + attempt.interfaceName;
        }
        return text;
    }

    // The hint of the first failure, if any.
    static std::string Hint(const TestResult& test) {
        if (const std::optional<TestStep> failed = test.Failure()) {
            return std::string(CauseHint(test.Step(*failed).code));
        }
        for (const ConnectAttempt& attempt : test.attempts) {
            if (attempt.result.outcome == StepOutcome::Failed) return std::string(CauseHint(attempt.result.code));
        }
        return {};
    }

    // The verb's closing output: the report, or the JSON object, with the error on standard error.
    int End(int exitCode) {
        const std::lock_guard lock(output_.Mutex());
        finished_ = true;
        if (WantsJson()) {
            output_.OutUtf8(JsonText(exitCode));
            return exitCode;
        }
        // A step that failed is in the report; anything else, a step cut short included, is said apart.
        const bool inReport = test_ && test_->Failure() && !expired_;
        if (!error_.empty() && !inReport) output_.Err(program_ + ": " + error_ + "\n");
        // A value the window could not take leaves nothing to show.
        if (!form_.Startup()) return exitCode;
        output_.Out((test_ ? "\n" : "") + FormReport(form_, test_ ? &*test_ : nullptr, services_.system.LocalTime()) +
                    Details());
        return exitCode;
    }

    // The plugin's result: its first line (with the performance data, if any), then the verbose lines.
    int Status(int state, const std::string& text, const std::string& perfData = {}, const std::string& details = {}) {
        const std::lock_guard lock(output_.Mutex());
        finished_ = true;
        output_.Out("CORVIX TCPIP " + std::string(CheckStates[static_cast<std::size_t>(state)].meaning) + " - " + text +
                    (perfData.empty() ? "" : " | " + perfData) + "\n" + details);
        return state;
    }

    // Text a plugin prints instead of checking (its help, its version): exits UNKNOWN, as the guidelines
    // ask, so that a check configured that way never passes for OK.
    int Said(const std::string& text) {
        output_.Out(text);
        return CheckUnknown;
    }

    // A plugin's result without a test to report: the textfile says the probe failed.
    int NoTest(int state, std::string text) {
        const std::lock_guard lock(output_.Mutex());
        if (finished_) return state;
        if (const std::optional<std::string> failed = WriteTextfile(false)) {
            state = CheckUnknown;
            text = *failed + "; " + text;
        }
        return Status(state, text);
    }

    std::optional<Range> OptionRange(std::string_view name) const {
        const auto found = parsed_.options.find(name);
        return found == parsed_.options.end() ? std::nullopt : ParseRange(found->second);
    }

    int Verbosity() const {
        const auto found = parsed_.counts.find("--verbose");
        return found == parsed_.counts.end() ? 0 : found->second;
    }

    double LimitSeconds() const { return static_cast<double>(TimeLimit().count()) / 1000; }

    std::string Endpoint() const { return test_->host + ":" + std::to_string(test_->port); }
    std::string AddressEndpoint() const { return test_->addressText + ":" + std::to_string(test_->port); }

    // The test's outcome as a plugin gives it: the failed step, or the connect time against the thresholds.
    int CheckOutcome() {
        const std::lock_guard lock(output_.Mutex());
        int state = CheckOk;
        std::string text;
        if (const std::optional<TestStep> failed = test_->Failure()) {
            state = CheckCritical;
            text = FailureText(*failed);
        } else {
            const double seconds = SecondsOf(test_->Step(TestStep::Connect).elapsed);
            text = Endpoint() + " connected in " + MsText(test_->Step(TestStep::Connect).elapsed);
            const auto beyond = [&text](std::string_view name, const Range& range) {
                text += std::string(range.inside ? ", inside the " : ", outside the ") + std::string(name) + " range " +
                        range.Text();
            };
            if (critical_ && critical_->Alerts(seconds)) {
                state = CheckCritical;
                beyond("critical", *critical_);
            } else if (warning_ && warning_->Alerts(seconds)) {
                state = CheckWarning;
                beyond("warning", *warning_);
            }
        }
        if (const std::optional<std::string> failed = WriteTextfile(!test_->Failure())) {
            state = CheckUnknown;
            text = *failed + "; " + text;
        }
        return Status(state, text, PerfData(), VerboseLines());
    }

    std::string FailureText(TestStep step) const {
        const StepResult& failed = test_->Step(step);
        const std::string outcome =
            cutShort_ == step ? " timed out after " + LimitText(TimeLimit()) : " failed: " + failed.Text();
        switch (step) {
        case TestStep::Lookup:
            return "lookup of " + test_->host + outcome;
        case TestStep::Socket:
            return "socket" + outcome;
        case TestStep::Connect:
            break;
        }
        return "connect to " + Endpoint() + outcome;
    }

    // A step's time, when it answered; nothing for a step never reached or cut short.
    std::optional<double> AnsweredSeconds(TestStep step) const {
        const StepResult& result = test_->Step(step);
        const bool answered = result.outcome == StepOutcome::Succeeded || result.outcome == StepOutcome::Failed ||
                              result.outcome == StepOutcome::NotNeeded;
        if (!answered || cutShort_ == step) return std::nullopt;
        return SecondsOf(result.elapsed);
    }

    // "dns=0.000412s;;;0; connect=0.001210s;1.000;5.000;0;10": the look-up's and the connect's times, the
    // connect's with its thresholds and the time limit as its maximum.
    std::string PerfData() const {
        const PerfItem dns{"dns", AnsweredSeconds(TestStep::Lookup), {}, {}, 0.0, {}, true};
        const PerfItem connect{"connect", AnsweredSeconds(TestStep::Connect), warning_, critical_, 0.0, LimitSeconds()};
        return dns.Text() + " " + connect.Text();
    }

    // What -v adds after the first line: each step, the addresses tried and the local end; with -vv the
    // settings the check ran with and the socket layer.
    std::string VerboseLines() const {
        const int level = Verbosity();
        if (level == 0) return {};
        std::string lines = "host " + test_->host + (parsed_.host ? " (-H)" : " (the stored host name)") + ", port " +
                            std::to_string(test_->port) + "\n";
        for (const TestStep step : TestSteps) lines += StepDetail(step) + "\n";
        if (level >= 2) {
            lines += "time-out " + LimitText(TimeLimit()) + ", warning range " +
                     (warning_ ? warning_->Text() : "none") + ", critical range " +
                     (critical_ ? critical_->Text() : "none") + "\n";
            lines += "stored host name " + (stored_.hostName.empty() ? "(none)" : stored_.hostName) + ", port " +
                     std::to_string(stored_.port) + "\n";
            lines += "sockets " + form_.Control(ControlId::LabelDescription).text + ", version " +
                     form_.Control(ControlId::LabelVersion).text + "\n";
        }
        return lines;
    }

    std::string StepDetail(TestStep step) const {
        const StepResult& result = test_->Step(step);
        std::string line = std::string(StepName(step)) + ": ";
        if (cutShort_ == step) {
            line += "no answer within " + LimitText(TimeLimit());
        } else {
            switch (result.outcome) {
            case StepOutcome::Succeeded:
                line += "Ok in " + MsText(result.elapsed);
                break;
            case StepOutcome::Failed:
                line += result.Text() + " after " + MsText(result.elapsed);
                break;
            case StepOutcome::NotNeeded:
                line += "not needed for an address, " + MsText(result.elapsed);
                break;
            case StepOutcome::Pending:
            case StepOutcome::Skipped:
                return line + "not reached";
            }
        }
        if (step == TestStep::Lookup && test_->found) {
            line += ", official name " + test_->found->name + ", address";
            if (test_->found->addresses.size() > 1) line += "es";
            for (std::size_t i = 0; i < test_->found->addresses.size(); ++i) {
                line += (i == 0 ? " " : ", ") + services_.sockets.InetNtoa(test_->found->addresses[i]);
            }
        }
        if (step == TestStep::Connect) {
            if (!localEnd_.empty()) line += ", from " + localEnd_;
            line += ", to " + AddressEndpoint();
        }
        return line;
    }

    // The connected socket's local end, for -v.
    void KeepLocalEnd(os::Socket socket) {
        os::SockAddrIn local;
        int length = sizeof local;
        if (socket == os::InvalidSocket || services_.sockets.GetSockName(socket, &local, &length) != 0) return;
        localEnd_ =
            services_.sockets.InetNtoa(local.sin_addr) + ":" + std::to_string(services_.sockets.Htons(local.sin_port));
    }

    // Writes the probe for node_exporter's textfile collector when --textfile asks for it; the message of
    // a failure otherwise.
    std::optional<std::string> WriteTextfile(bool success) {
        const auto file = parsed_.options.find("--textfile");
        if (file == parsed_.options.end() || finished_) return std::nullopt;
        Probe probe;
        probe.host = Utf8(test_ ? test_->host : Host());
        probe.port = services_.serverPort;
        probe.success = success;
        if (test_) {
            for (const StepResult& step : test_->steps) probe.durationSeconds += SecondsOf(step.elapsed);
            probe.dnsLookupSeconds = SecondsOf(test_->Step(TestStep::Lookup).elapsed);
        }
        const std::optional<std::string> name = os::FileNameFromUtf8(file->second);
        if (!name) return "the textfile " + Echo(file->second) + " cannot be named in the system's code page";
        const std::uint32_t error = WriteFileAtomically(*services_.files, *name, ProbeMetrics(probe));
        if (error == 0) return std::nullopt;
        return "the textfile " + Echo(file->second) + " could not be written (error " + std::to_string(error) + ")";
    }

    // The time limit has passed: the step in hand is reported as not answered in time, the run ends
    // with what it reached, and the process ends at once, whatever that step is blocked in.
    void Expire() {
        const std::lock_guard lock(output_.Mutex());
        // A run that has given its result already ends as it is.
        if (finished_) return;
        int exitCode = verb_.plugin ? CheckCritical : ExitSettingsUnreadable;
        if (test_ && running_) {
            StepResult& late = test_->Step(*running_);
            late.outcome = StepOutcome::Failed;
            late.code = os::WsaETimedOut;
            late.elapsed = TestClock::now() - late.started;
            for (StepResult& step : test_->steps) {
                if (step.outcome == StepOutcome::Pending) step.outcome = StepOutcome::Skipped;
            }
            exitCode = verb_.plugin ? CheckCritical : StepExitCode(*running_);
            cutShort_ = *running_;
            if (!verb_.plugin && !WantsJson()) StepLine(late);
        } else if (verb_.name == "set-host") {
            exitCode = ExitNotStored;
        }
        expired_ = exitCode;
        const std::string limit = LimitText(TimeLimit());
        if (verb_.plugin) {
            exitCode = test_ && running_ ? CheckOutcome() : NoTest(CheckCritical, "no result within " + limit);
            expired_ = exitCode;
        } else if (test_ && running_) {
            error_ = std::string(StepName(*running_)) + " not answered within " + limit;
            End(exitCode);
        } else {
            error_ = "no result within " + limit + "; stopped";
            // The work in hand may be changing the window's fields: only the outcome is printed.
            if (WantsJson()) {
                output_.OutUtf8(Json::object({{"exitCode", exitCode}, {"error", Utf8(error_)}}).dump() + "\n");
            } else {
                output_.Err(program_ + ": " + error_ + "\n");
            }
        }
        output_.Close();
        if (services_.endProcess) services_.endProcess(exitCode);
    }

    static std::string Utf8(std::string_view eightBit) { return qor::Windows1252ToUtf8(eightBit); }

    // A finding as JSON: null where the window shows none ("-", "?").
    static Json Finding(const std::string& text) { return text == "-" || text == "?" ? Json() : Json(Utf8(text)); }

    std::string JsonText(int exitCode) const {
        const bool created = form_.Startup().has_value();
        const bool facts = created && !StartupFailed();
        const auto shown = [this](ControlId id) { return Json(Utf8(form_.Control(id).text)); };
        Json json;
        json["program"] = {{"name", Utf8(ApplicationTitle)}, {"version", Utf8(ProgramVersion())}};
        Json& winsock = json["winsock"];
        winsock["startup"] = {
            {"result", created ? Json(Utf8(form_.ShownText(ControlId::LabelResultInit, nullptr))) : Json()},
            {"code", created ? Json(*form_.Startup()) : Json()}};
        const std::pair<const char*, ControlId> factRows[] = {
            {"version", ControlId::LabelVersion},         {"description", ControlId::LabelDescription},
            {"systemStatus", ControlId::LabelSysStat},    {"maxSockets", ControlId::LabelMaxSockets},
            {"maxDatagram", ControlId::LabelMaxDataGram}, {"hostName", ControlId::LabelHostName},
        };
        for (const auto& [key, id] : factRows) winsock[key] = facts ? shown(id) : Json();
        json["system"] = {{"os", created ? shown(ControlId::LabelOs) : Json()},
                          {"wow64", created ? shown(ControlId::LabelIsWow64) : Json()},
                          {"version", Utf8(services_.system.VersionDetails())}};
        json["settings"] = {{"hostName", Utf8(stored_.hostName)}, {"port", stored_.port}};
        if (test_) {
            Json& test = json["test"];
            test["host"] = Utf8(test_->host);
            test["port"] = test_->port;
            test["steps"] = Json::array();
            for (const StepResult& step : test_->steps) {
                const bool timed = step.outcome == StepOutcome::Succeeded || step.outcome == StepOutcome::Failed ||
                                   step.outcome == StepOutcome::NotNeeded;
                test["steps"].push_back({{"step", StepName(step.step)},
                                         {"result", Utf8(step.Text())},
                                         {"code", step.code},
                                         {"elapsedMs", timed ? Json(FractionalMs(step.elapsed)) : Json()}});
            }
            test["officialName"] = Finding(test_->OfficialNameText());
            test["address"] = Finding(test_->AddressText());
            test["addresses"] = Json::array();
            if (test_->HasAddress()) {
                const std::vector<os::InAddr> v4 =
                    test_->found ? test_->found->addresses : std::vector<os::InAddr>{test_->address};
                for (std::size_t i = 0; i < v4.size(); ++i) {
                    test["addresses"].push_back(
                        {{"address", AddressText(os::IpAddress::V4(v4[i]))}, {"family", "IPv4"}, {"used", i == 0}});
                }
                for (const os::IpAddress& v6 : test_->ipv6) {
                    test["addresses"].push_back({{"address", AddressText(v6)}, {"family", "IPv6"}, {"used", false}});
                }
            }
            test["attempts"] = Json::array();
            for (const ConnectAttempt& attempt : test_->attempts) test["attempts"].push_back(AttemptJson(attempt));
            const std::string hint = Hint(*test_);
            test["hint"] = hint.empty() ? Json() : Json(Utf8(hint));
        }
        json["exitCode"] = exitCode;
        json["error"] = error_.empty() ? Json() : Json(Utf8(error_));
        return json.dump() + "\n";
    }

    Json AttemptJson(const ConnectAttempt& attempt) const {
        Json local;
        if (attempt.local) {
            local = {{"address", AddressText(attempt.local->address)},
                     {"port", attempt.local->port},
                     {"interface", attempt.interfaceName.empty() ? Json() : Json(Utf8(attempt.interfaceName))}};
        }
        return {{"address", AddressText(attempt.address)},
                {"step", StepName(attempt.result.step)},
                {"result", Utf8(attempt.result.Text())},
                {"code", attempt.result.code},
                {"elapsedMs", FractionalMs(attempt.result.elapsed)},
                {"local", local},
                {"listener", attempt.listener}};
    }

    // Connect times of the attempts that connected, in order, and how many failed.
    struct Summary {
        std::vector<double> connectedMs;
        long failed = 0;
    };

    // --count N or --watch: the test again and again, a line per connect, then a summary, which a
    // Ctrl+C also prints. 0 when every attempt connected, else the code of the last failure.
    int Repeat() {
        const auto count = parsed_.options.find("--count");
        const std::optional<std::uint64_t> attempts =
            count == parsed_.options.end() ? std::nullopt : ParseCount(count->second);
        const auto interval = parsed_.options.find("--interval");
        const auto pause = static_cast<std::uint32_t>(
            interval == parsed_.options.end() ? 1000
                                              : ParseDuration(interval->second).value_or(milliseconds(1000)).count());
        Summary summary;
        int exitCode = ExitOk;
        for (std::uint64_t i = 0; !attempts || i < *attempts; ++i) {
            if (i > 0) services_.system.Sleep(pause);
            if (watchdog_) watchdog_->Rearm(TimeLimit());
            RunTest(false);
            const std::lock_guard lock(output_.Mutex());
            if (const int code = TestExitCode(); code != ExitOk) exitCode = code;
            error_.clear();
            AttemptLines(summary);
            interruptExit_ = exitCode;
            services_.console.EndOnInterrupt({SummaryText(summary, exitCode), os::Stream::Out, &interruptExit_});
        }
        const std::lock_guard lock(output_.Mutex());
        output_.OutUtf8(SummaryText(summary, exitCode));
        return exitCode;
    }

    void AttemptLines(Summary& summary) {
        const std::string when = TimeText(services_.system.LocalTime());
        const TestResult& test = *test_;
        std::vector<ConnectAttempt> tried = test.attempts;
        if (tried.empty()) {
            // Nothing was connected to: the look-up or the socket failed.
            const TestStep failed = test.Failure().value_or(TestStep::Lookup);
            tried.push_back({test.HasAddress() ? os::IpAddress::V4(test.address) : os::IpAddress{},
                             test.Step(failed),
                             {},
                             {},
                             false});
        }
        for (const ConnectAttempt& attempt : tried) {
            const bool known = test.HasAddress() || attempt.result.step != TestStep::Lookup;
            if (attempt.result.outcome == StepOutcome::Succeeded) {
                summary.connectedMs.push_back(FractionalMs(attempt.result.elapsed));
            } else {
                ++summary.failed;
            }
            if (WantsJson()) {
                Json line = AttemptJson(attempt);
                line["time"] = when;
                line["host"] = Utf8(test.host);
                if (!known) line["address"] = nullptr;
                output_.OutUtf8(line.dump() + "\n");
            } else {
                output_.Out(when + "  " + (known ? AddressText(attempt.address) : test.host) + "  " +
                            (attempt.result.step == TestStep::Connect
                                 ? Attempt(attempt)
                                 : attempt.result.Text() + " (" + std::string(StepName(attempt.result.step)) + ")") +
                            "\n");
            }
        }
    }

    // UTF-8, ready to print: attempts, connected, failed, loss, and the connect times' spread.
    std::string SummaryText(const Summary& summary, int exitCode) const {
        const std::vector<double>& ms = summary.connectedMs;
        const auto total = static_cast<long>(ms.size()) + summary.failed;
        const double loss = total == 0 ? 0 : 100.0 * static_cast<double>(summary.failed) / static_cast<double>(total);
        std::optional<std::array<double, 4>> spread;
        if (!ms.empty()) {
            double sum = 0, jitter = 0;
            for (std::size_t i = 0; i < ms.size(); ++i) {
                sum += ms[i];
                if (i > 0) jitter += std::abs(ms[i] - ms[i - 1]);
            }
            spread = {*std::min_element(ms.begin(), ms.end()), sum / static_cast<double>(ms.size()),
                      *std::max_element(ms.begin(), ms.end()),
                      ms.size() > 1 ? jitter / static_cast<double>(ms.size() - 1) : 0.0};
        }
        if (WantsJson()) {
            Json times;
            if (spread) {
                times = {{"min", (*spread)[0]},
                         {"avg", Microseconds((*spread)[1])},
                         {"max", (*spread)[2]},
                         {"jitter", Microseconds((*spread)[3])}};
            }
            return Json{{"summary",
                         {{"host", Utf8(Host())},
                          {"attempts", total},
                          {"connected", ms.size()},
                          {"failed", summary.failed},
                          {"lossPercent", std::round(loss * 10) / 10},
                          {"connectMs", times}}},
                        {"exitCode", exitCode}}
                       .dump() +
                   "\n";
        }
        char line[256];
        std::snprintf(line, sizeof line, "--- %s: %ld attempts, %zu connected, %ld failed, %.1f%% loss\n",
                      Utf8(Host()).c_str(), total, ms.size(), summary.failed, loss);
        std::string text = line;
        if (spread) {
            std::snprintf(line, sizeof line, "connect min/avg/max/jitter = %.3f/%.3f/%.3f/%.3f ms\n", (*spread)[0],
                          (*spread)[1], (*spread)[2], (*spread)[3]);
            text += line;
        }
        return text;
    }

    const std::string& program_;
    const Parsed& parsed_;
    const Verb& verb_;
    Services& services_;
    Output& output_;
    CommandView view_;
    TForm1 form_;
    ServerSettings stored_;
    std::string error_;
    // Under the output's lock: the time limit's thread reads them.
    std::optional<TestResult> test_;
    std::optional<TestStep> running_;
    std::optional<int> expired_;
    Watchdog* watchdog_ = nullptr;
    std::optional<TestStep> cutShort_;  // the step the time limit ended
    bool finished_ = false;             // the result has been given
    std::string localEnd_;
    std::optional<Range> warning_;
    std::optional<Range> critical_;
    // Read by the Ctrl+C ending, which may come after this run has been destroyed.
    static inline std::atomic<int> interruptExit_{0};
    static inline std::atomic<std::uint64_t> served_{0};
};

namespace {

bool IsRange(std::string_view text) { return ParseRange(text).has_value(); }

// From a millisecond up to an hour.
bool IsTimeout(std::string_view text) {
    const std::optional<double> seconds = ParseSeconds(text);
    return seconds && *seconds >= 0.001 && *seconds <= 3600;
}

bool IsFileName(std::string_view text) {
    return !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

constexpr Option JsonOption{"--json", "", "", "one JSON object instead of the text"};

constexpr std::array<Option, 1> ReportOptions = {JsonOption};
constexpr std::array<Option, 6> TestOptions = {{
    JsonOption,
    {"--all", "", "", "connects to every address of the name in turn, IPv6 included"},
    {"--timeout", "SECONDS", "number of seconds", "a step not answered in SECONDS (default 21) fails",
     [](std::string_view value) { return ParseDuration(value).has_value(); }},
    {"--count", "N", "number of attempts", "tests N times, a line each, then a summary",
     [](std::string_view value) { return ParseCount(value).has_value(); }},
    {"--watch", "", "", "tests until Ctrl+C, a line each, then a summary"},
    {"--interval", "SECONDS", "number of seconds", "the pause between repeated tests (default 1)",
     [](std::string_view value) { return ParseDuration(value).has_value(); }},
}};
constexpr std::array<Option, 2> ListenOptions = {{
    {"--count", "N", "number of connections", "listen ends after N connections",
     [](std::string_view value) { return ParseCount(value).has_value(); }},
    {"--timeout", "SECONDS", "number of seconds", "listen ends after SECONDS seconds (fractions allowed)",
     [](std::string_view value) { return ParseDuration(value).has_value(); }},
}};
// As the Monitoring Plugins development guidelines and check_tcp have them.
constexpr std::array<Option, 8> CheckOptions = {{
    {"--hostname", "HOST", "host name", "the host to test, port 234; by default the stored host name", nullptr, "-H"},
    {"--warning", "RANGE", "range of seconds",
     "a connect time (seconds) outside RANGE is a WARNING: 10, 10:, ~:10, 10:20, @10:20 (inside)", IsRange, "-w"},
    {"--critical", "RANGE", "range of seconds", "a connect time outside RANGE is CRITICAL, as for -w", IsRange, "-c"},
    {"--timeout", "SECONDS", "number of seconds",
     "CRITICAL when no result within SECONDS (10 by default), naming the step", IsTimeout, "-t"},
    {"--verbose", "", "", "more lines after the first: each step, the addresses; again (-vv) for more", nullptr, "-v",
     true},
    {"--textfile", "FILE", "file name", "also write the result to FILE for node_exporter's textfile collector",
     IsFileName},
    {"--version", "", "", "the program's version; exits 3", nullptr, "-V"},
    {"--help", "", "", "the check's options; exits 3", nullptr, "-h"},
}};

constexpr std::array<int, 6> ShowExits = {ExitOk,    ExitSettingsUnreadable, ExitStartupFailed,
                                          ExitUsage, ExitOutputFailed,       ExitInterrupted};
constexpr std::array<int, 9> TestExits = {ExitOk,           ExitSettingsUnreadable, ExitLookupFailed,
                                          ExitSocketFailed, ExitConnectFailed,      ExitStartupFailed,
                                          ExitUsage,        ExitOutputFailed,       ExitInterrupted};
constexpr std::array<int, 5> SetHostExits = {ExitOk, ExitNotStored, ExitUsage, ExitOutputFailed, ExitInterrupted};
constexpr std::array<int, 4> CheckExits = {CheckOk, CheckWarning, CheckCritical, CheckUnknown};
constexpr std::array<int, 7> ListenExits = {ExitOk,    ExitStartupFailed, ExitTooFewConnections, ExitNotListening,
                                            ExitUsage, ExitOutputFailed,  ExitInterrupted};

const std::array<Verb, 5> VerbTable = {{
    {"show", HostArgument::None, ReportOptions,
     "the WinSock facts, the OS, WOW64 and the stored server settings; reads only, never writes the settings",
     [](Invocation& run) { return run.Show(); }, RunTimeLimit, ShowExits},
    {"test", HostArgument::Optional, TestOptions,
     "the connection test to the stored host (or HOST, not stored), port 234; each step as it finishes, "
     "then the report",
     [](Invocation& run) { return run.Test(); }, RunTimeLimit, TestExits},
    {"set-host",
     HostArgument::Required,
     {},
     "stores HOST as the server's host name, with port 234, as OK does",
     [](Invocation& run) { return run.SetHost(); },
     RunTimeLimit,
     SetHostExits},
    {"check", HostArgument::None, CheckOptions,
     "the test as a monitoring plugin: a status line with performance data; exits 0 OK, 1 WARNING, 2 CRITICAL, "
     "3 UNKNOWN",
     [](Invocation& run) { return run.Check(); }, CheckTimeLimit, CheckExits, true},
    {"listen", HostArgument::None, ListenOptions,
     "opens port 234 on every local address (IPv4 and IPv6), prints each connection and answers it with one "
     "line naming this listener; ends after N connections, SECONDS seconds or Ctrl+C",
     [](Invocation& run) { return run.Listen(); }, milliseconds::zero(), ListenExits},
}};

// A host name fit to be looked up and stored: not empty, no control characters.
bool IsHostName(std::string_view text) {
    return !text.empty() && std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

std::optional<std::string> HostArgumentError(const std::string& argument, std::optional<std::string>& host) {
    std::string refused;
    host = qor::Utf8ToWindows1252(argument, refused);
    if (!host) {
        return refused.starts_with("byte") ? "bad host name '" + Echo(argument) + "': not UTF-8 text (" + refused + ")"
                                           : "bad host name '" + Echo(argument) + "': " + refused +
                                                 " is not a character of the program's code page (Windows-1252)";
    }
    if (!IsHostName(*host)) return "bad host name '" + Echo(argument) + "'";
    return std::nullopt;
}

// Fills `parsed`; the message of the first bad argument otherwise (8-bit text).
std::optional<std::string> Parse(const std::vector<std::string>& arguments, Parsed& parsed) {
    if (arguments.empty()) return "no command given (try --help)";
    const std::string& first = arguments[0];
    if (first == "--help" || first == "-h" || first == "--version") {
        if (arguments.size() > 1) return "unexpected argument '" + Echo(arguments[1]) + "'";
        parsed.global = first == "-h" ? "--help" : first;
        return std::nullopt;
    }
    const auto verb = std::find_if(VerbTable.begin(), VerbTable.end(), [&](const Verb& v) { return v.name == first; });
    if (verb == VerbTable.end()) {
        return (first.starts_with("-") ? "unknown option '" : "unknown command '") + Echo(first) + "'";
    }
    parsed.verb = &*verb;
    const auto find = [&verb](std::string_view name) -> const Option* {
        const auto option = std::find_if(verb->options.begin(), verb->options.end(), [&](const Option& o) {
            return o.name == name || (!o.shortName.empty() && o.shortName == name);
        });
        return option == verb->options.end() ? nullptr : &*option;
    };
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.starts_with("-") && argument.size() > 1) {
            // "--name=value" carries its value; "-vv" is a counted flag given twice.
            std::string name = argument;
            std::optional<std::string> attached;
            if (const std::size_t equals = argument.find('=');
                argument.starts_with("--") && equals != std::string::npos) {
                name = argument.substr(0, equals);
                attached = argument.substr(equals + 1);
            }
            const Option* option = find(name);
            int times = 1;
            if (!option && !name.starts_with("--") && name.find_first_not_of(name[1], 1) == std::string::npos) {
                option = find(name.substr(0, 2));
                if (option && !option->counted) option = nullptr;
                times = static_cast<int>(name.size()) - 1;
            }
            if (!option) return "unknown option '" + Echo(argument) + "' for " + std::string(verb->name);
            std::string value;
            if (!option->value.empty()) {
                if (attached) {
                    value = *attached;
                } else if (i + 1 == arguments.size()) {
                    return Echo(name) + " needs a " + std::string(option->valueKind);
                } else {
                    value = arguments[++i];
                }
                if (option->valid && !option->valid(value)) {
                    return "bad " + std::string(option->valueKind) + " for " + Echo(name) + ": '" + Echo(value) + "'";
                }
            } else if (attached) {
                return Echo(name) + " takes no value";
            }
            parsed.options[option->name] = value;
            parsed.counts[option->name] += times;
        } else if (verb->host != HostArgument::None && !parsed.host) {
            if (auto error = HostArgumentError(argument, parsed.host)) {
                parsed.refusedHost = argument;
                return error;
            }
        } else {
            // A verb that takes its host as an option says so.
            const bool hostOption = find("--hostname") != nullptr;
            return "unexpected argument '" + Echo(argument) + "'" +
                   (hostOption ? " (the host goes after " + std::string(find("--hostname")->shortName) + ")" : "");
        }
    }
    // An option --hostname gives the host, as a HOST argument does.
    if (const auto host = parsed.options.find("--hostname"); host != parsed.options.end()) {
        if (auto error = HostArgumentError(host->second, parsed.host)) return error;
    }
    if (verb->host == HostArgument::Required && !parsed.host) return std::string(verb->name) + " needs a host name";
    return std::nullopt;
}

// "-H, --hostname HOST".
std::string OptionNames(const Option& option) {
    std::string names = option.shortName.empty() ? "" : std::string(option.shortName) + ", ";
    names += option.name;
    if (!option.value.empty()) names += " " + std::string(option.value);
    return names;
}

std::string HelpText(const std::string& program) {
    const auto column = [](std::string text, std::size_t width) {
        text.resize(std::max(width, text.size() + 2), ' ');
        return text;
    };
    std::string help = "Usage: " + program +
                       " COMMAND [OPTIONS]\n"
                       "The Corvix Tcp/Ip Configuration tool's facts, connection test and settings, for scripts.\n"
                       "\nCommands:\n";
    for (const Verb& verb : VerbTable) help += "  " + Synopsis(verb) + "\n      " + std::string(verb.help) + "\n";
    help += "\nOptions:\n";
    // Each option once, with the verbs that take it; the program's own last.
    std::vector<std::pair<const Option*, std::string>> options;
    const auto known = [&options](const Option& option) {
        return std::find_if(options.begin(), options.end(), [&](const auto& known) {
            return known.first->name == option.name && OptionNames(*known.first) == OptionNames(option);
        });
    };
    for (const Verb& verb : VerbTable) {
        for (const Option& option : verb.options) {
            if (const auto found = known(option); found != options.end()) {
                found->second += ", " + std::string(verb.name);
            } else {
                options.emplace_back(&option, std::string(verb.name));
            }
        }
    }
    std::size_t width = 16;
    for (const auto& [option, verbs] : options) width = std::max(width, OptionNames(*option).size() + 2);
    for (const auto& [option, verbs] : options) {
        help += "  " + column(OptionNames(*option), width) + "(" + verbs + ") " + std::string(option->help) + "\n";
    }
    for (const Option& option : ProgramOptions) {
        help += "  " + column(OptionNames(option), width) + std::string(option.help) + "\n";
    }
    help += "\nExit codes of show, test, set-host, listen, --help and --version:\n";
    for (const ExitCode& exit : ExitCodes) {
        help += "  " + column(std::to_string(exit.code), 5) + std::string(exit.meaning) + "\n";
    }
    help += "Exit codes of check:";
    for (const ExitCode& state : CheckStates) {
        help += " " + std::to_string(state.code) + " " + std::string(state.meaning) + (state.code == 3 ? ".\n" : ",");
    }
    help += "No run but listen takes longer than " + LimitText(RunTimeLimit) + "; check gives up after its -t (" +
            LimitText(CheckTimeLimit) + " by default).\n";
    return help;
}

const Verb& CheckVerb() {
    return *std::find_if(VerbTable.begin(), VerbTable.end(), [](const Verb& verb) { return verb.plugin; });
}

// What a usage error of the plugin prints after its status line.
std::string CheckUsage(const std::string& program) { return "Usage: " + program + " " + Synopsis(CheckVerb()) + "\n"; }

// check --help, as monitoring plugins give theirs.
std::string CheckHelp(const std::string& program) {
    const Verb& check = CheckVerb();
    std::string help = program + " check " + std::string(ProgramVersion()) +
                       "\nTests whether this workstation reaches its Corvix server (the stored host name, port 234):\n"
                       "look-up, socket and connect, as the Tcp/Ip Configuration window does.\n\n" +
                       CheckUsage(program) + "\nOptions:\n";
    for (const Option& option : check.options) {
        help += " " + OptionNames(option) + "\n    " + std::string(option.help) + "\n";
    }
    help +=
        "\nThe first line: CORVIX TCPIP <STATE> - <text> | dns=<seconds>s;;;0; "
        "connect=<seconds>s;<warning>;<critical>;0;<time-out>\n"
        "(U for a step never reached). States:";
    for (const ExitCode& state : CheckStates) {
        help += " " + std::to_string(state.code) + " " + std::string(state.meaning) + (state.code == 3 ? ".\n" : ",");
    }
    help +=
        "A failed look-up, socket or connect, or a time-out, is CRITICAL; usage errors, unreadable settings,\n"
        "socket start-up failure and Ctrl+C are UNKNOWN.\n";
    return help;
}

}  // namespace

std::span<const Verb> Verbs() { return VerbTable; }

std::string Synopsis(const Verb& verb) {
    std::string synopsis(verb.name);
    if (verb.host == HostArgument::Optional) synopsis += " [HOST]";
    if (verb.host == HostArgument::Required) synopsis += " HOST";
    for (const Option& option : verb.options) {
        // An option with a letter is shown by it, as monitoring plugins show theirs.
        const std::string_view name = option.shortName.empty() ? option.name : option.shortName;
        synopsis += " [" + std::string(name) + (option.value.empty() ? "" : " " + std::string(option.value)) + "]" +
                    (option.counted ? "..." : "");
    }
    return synopsis;
}

int RunCommandLine(const std::string& programName, const std::vector<std::string>& arguments, Services& services) {
    Output output(services.console);
    Parsed parsed;
    int exitCode = ExitOk;
    if (const auto error = Parse(arguments, parsed)) {
        const bool plugin = parsed.verb ? parsed.verb->plugin : !arguments.empty() && arguments[0] == "check";
        if (plugin) {
            output.Out("CORVIX TCPIP UNKNOWN - " + *error + "\n" + CheckUsage(programName));
            return CheckUnknown;
        }
        output.Err(programName + ": " + *error + "\n");
        // A server that set-host refused to store is an attempt to change it all the same.
        if (parsed.verb && parsed.verb->name == "set-host" && parsed.refusedHost) {
            std::string unused;
            const std::string host = qor::Utf8ToWindows1252(*parsed.refusedHost, unused).value_or(*parsed.refusedHost);
            RecordSettingsRefused(host, *error, services.registry, services.system, services.systemLog);
        }
        const bool takesJson = parsed.verb && std::any_of(parsed.verb->options.begin(), parsed.verb->options.end(),
                                                          [](const Option& o) { return o.name == JsonOption.name; });
        if (takesJson && std::find(arguments.begin(), arguments.end(), JsonOption.name) != arguments.end()) {
            output.OutUtf8(
                nlohmann::ordered_json{{"exitCode", ExitUsage}, {"error", qor::Windows1252ToUtf8(*error)}}.dump() +
                "\n");
        }
        exitCode = ExitUsage;
    } else if (parsed.global == "--help") {
        output.Out(HelpText(programName));
    } else if (parsed.global == "--version") {
        output.Out(programName + " " + std::string(ProgramVersion()) + "\n");
    } else {
        Invocation run(programName, parsed, services, output);
        exitCode = run.Execute();
    }
    if (const long failure = output.Failure(); failure != os::ErrorSuccess) {
        output.Err(programName + ": the output could not be written (error " + std::to_string(failure) + ")\n");
        const bool plugin = parsed.verb && parsed.verb->plugin;
        return plugin ? CheckUnknown : ExitOutputFailed;
    }
    return exitCode;
}

}  // namespace corvix::cli
