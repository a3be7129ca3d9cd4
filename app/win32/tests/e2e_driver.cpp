// End-to-end cases of the Windows program. Starts CorvixTcpIp.exe, finds its window by its title and
// the controls by their child-window ids (control_map.h), reads texts, states, positions and the colour
// on screen, clicks and types through the system's input queue as a user would, and checks the settings
// the program keeps in the registry. Every connection goes to the loopback address.
//
// usage: win32_e2e <path of CorvixTcpIp.exe> <case>
// winsock2.h has to come before windows.h.
#include <winsock2.h>

#include <windows.h>

#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/win32/control_map.h"

namespace {

using corvix::ControlId;
using corvix::win32::ControlNumber;

constexpr char SettingsKey[] = "Software\\Qor\\Corvix\\TcpIp";
constexpr char SettingsParent[] = "Software\\Qor\\Corvix";
constexpr char SettingsLeaf[] = "TcpIp";
// run_e2e.sh puts this file into the drive of each Wine prefix it makes for these cases.
constexpr char PrefixMarker[] = "C:\\corvix-e2e-prefix";
constexpr char Title[] = "Tcp/Ip Configuration";
// Generous: a cold Wine server takes a few seconds to start a program.
constexpr DWORD WaitMilliseconds = 60000;
constexpr DWORD PollMilliseconds = 50;

// A case stops at its first failed expectation.
struct Failed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Expect(bool condition, const std::string& what) {
    if (!condition) throw Failed(what);
}

void ExpectEqual(const std::string& actual, const std::string& expected, const std::string& what) {
    Expect(actual == expected, what + ": \"" + actual + "\", expected \"" + expected + "\"");
}

void ExpectEqual(long actual, long expected, const std::string& what) {
    Expect(actual == expected, what + ": " + std::to_string(actual) + ", expected " + std::to_string(expected));
}

// Polls until `done` holds; false when the time is up.
bool WaitFor(const std::function<bool()>& done) {
    const ULONGLONG end = GetTickCount64() + WaitMilliseconds;
    while (!done()) {
        if (GetTickCount64() > end) return false;
        Sleep(PollMilliseconds);
    }
    return true;
}

// --- the settings in the registry -------------------------------------------------------------------

struct Stored {
    bool key = false;
    std::optional<std::string> hostName;
    DWORD hostNameType = 0;
    std::optional<DWORD> hostPort;
    DWORD hostPortType = 0;
};

// The program writes HKEY_LOCAL_MACHINE itself, so the cases run only in a throw-away Wine prefix made
// for them; on a workstation, or in a prefix of someone's own, the driver refuses to start.
bool InThrowAwayPrefix() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return false;
    return GetFileAttributesA(PrefixMarker) != INVALID_FILE_ATTRIBUTES;
}

void ClearSettings() {
    HKEY parent = nullptr;
    LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsParent, 0, KEY_ALL_ACCESS, &parent);
    if (result == ERROR_SUCCESS) {
        result = RegDeleteKeyA(parent, SettingsLeaf);
        RegCloseKey(parent);
    }
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        throw std::runtime_error("cannot delete the settings key (error " + std::to_string(result) + ")");
    }
}

void StoreSettings(const std::string& hostName, DWORD hostPort) {
    ClearSettings();
    HKEY key = nullptr;
    LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) {
        throw std::runtime_error("cannot create the settings key (error " + std::to_string(result) + ")");
    }
    result = RegSetValueExA(key, "HostName", 0, REG_SZ, reinterpret_cast<const BYTE*>(hostName.c_str()),
                            static_cast<DWORD>(hostName.size() + 1));
    if (result == ERROR_SUCCESS) {
        result =
            RegSetValueExA(key, "HostPort", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&hostPort), sizeof hostPort);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        throw std::runtime_error("cannot store the settings (error " + std::to_string(result) + ")");
    }
}

Stored ReadSettings() {
    Stored stored;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return stored;
    stored.key = true;
    char text[512] = {};
    DWORD size = sizeof text - 1;
    if (RegQueryValueExA(key, "HostName", nullptr, &stored.hostNameType, reinterpret_cast<BYTE*>(text), &size) ==
        ERROR_SUCCESS) {
        stored.hostName = std::string(text);
    }
    DWORD port = 0;
    size = sizeof port;
    if (RegQueryValueExA(key, "HostPort", nullptr, &stored.hostPortType, reinterpret_cast<BYTE*>(&port), &size) ==
        ERROR_SUCCESS) {
        stored.hostPort = port;
    }
    RegCloseKey(key);
    return stored;
}

void ExpectStored(const std::string& hostName, DWORD hostPort) {
    const Stored stored = ReadSettings();
    Expect(stored.key, "the settings key exists");
    Expect(stored.hostName.has_value(), "HostName is stored");
    ExpectEqual(static_cast<long>(stored.hostNameType), REG_SZ, "type of HostName");
    ExpectEqual(*stored.hostName, hostName, "stored HostName");
    Expect(stored.hostPort.has_value(), "HostPort is stored");
    ExpectEqual(static_cast<long>(stored.hostPortType), REG_DWORD, "type of HostPort");
    ExpectEqual(static_cast<long>(*stored.hostPort), static_cast<long>(hostPort), "stored HostPort");
}

// --- loopback sockets -------------------------------------------------------------------------------

class LoopbackSocket {
public:
    // Bound to 127.0.0.1 on a port the system picks; listening when asked to.
    explicit LoopbackSocket(bool listening) {
        socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (socket_ == INVALID_SOCKET) throw std::runtime_error("cannot open a socket");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
            (listening && listen(socket_, 4) != 0)) {
            const int error = WSAGetLastError();
            closesocket(socket_);
            throw std::runtime_error("cannot prepare a loopback socket (error " + std::to_string(error) + ")");
        }
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackSocket() { Close(); }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    int Port() const { return port_; }
    void Close() {
        if (socket_ != INVALID_SOCKET) closesocket(socket_);
        socket_ = INVALID_SOCKET;
    }

private:
    SOCKET socket_ = INVALID_SOCKET;
    int port_ = 0;
};

// A port on 127.0.0.1 that nothing listens on: one the system just handed out and took back.
int UnusedLoopbackPort() {
    LoopbackSocket probe(false);
    return probe.Port();
}

// --- input through the system's queue ---------------------------------------------------------------

void SendInputs(std::vector<INPUT> inputs) {
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent != inputs.size()) throw std::runtime_error("the system did not take the input");
}

INPUT Key(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// Presses the keys in order and lets them go in reverse: {VK_MENU, 'T'} is Alt+T.
void Press(std::vector<WORD> keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) inputs.push_back(Key(key, false));
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) inputs.push_back(Key(*key, true));
    SendInputs(inputs);
}

void Type(const std::string& text) {
    std::vector<INPUT> inputs;
    for (char c : text) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = static_cast<unsigned char>(c);
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(input);
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    SendInputs(inputs);
}

void ClickAt(POINT at, DWORD downFlag = MOUSEEVENTF_LEFTDOWN, DWORD upFlag = MOUSEEVENTF_LEFTUP) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    INPUT move{};
    move.type = INPUT_MOUSE;
    move.mi.dx = MulDiv(at.x, 65535, width - 1);
    move.mi.dy = MulDiv(at.y, 65535, height - 1);
    move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    INPUT down = move;
    down.mi.dwFlags = downFlag | MOUSEEVENTF_ABSOLUTE;
    INPUT up = move;
    up.mi.dwFlags = upFlag | MOUSEEVENTF_ABSOLUTE;
    SendInputs({move, down, up});
}

void RightClickAt(POINT at) { ClickAt(at, MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP); }

// --- the program under test -------------------------------------------------------------------------

class Program {
public:
    explicit Program(const std::string& path) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + path + "\"";
        if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process_)) {
            throw std::runtime_error("cannot start " + path + " (error " + std::to_string(GetLastError()) + ")");
        }
        AwaitWindow();
    }

    ~Program() {
        // A case that failed half-way leaves the program open: end it, it is ours.
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, WaitMilliseconds);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    HWND Window() const { return window_; }
    HWND Item(ControlId id) const {
        const HWND item = GetDlgItem(window_, ControlNumber(id));
        if (!item) throw Failed("no control " + std::string(corvix::LayoutRow(id).name) + " in the window");
        return item;
    }

    std::string Text(ControlId id) const { return TextOf(Item(id)); }
    bool Visible(ControlId id) const { return IsWindowVisible(Item(id)) != FALSE; }
    bool Enabled(ControlId id) const { return IsWindowEnabled(Item(id)) != FALSE; }

    // Where the control sits in the window's client area, and its size.
    RECT Placement(ControlId id) const {
        RECT rect{};
        GetWindowRect(Item(id), &rect);
        MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    HWND Focus() const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(process_.dwThreadId, &info)) return nullptr;
        return info.hwndFocus;
    }

    void SetText(ControlId id, const std::string& text) const {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                                 WaitMilliseconds, &result)) {
            throw Failed("the window does not answer");
        }
    }

    // Keyboard input goes to the active window.
    void Activate() const {
        SetForegroundWindow(window_);
        Expect(WaitFor([this] { return GetForegroundWindow() == window_; }), "the window comes to the front");
    }

    void WaitForFocus(ControlId id) const {
        const HWND item = Item(id);
        Expect(WaitFor([&] { return Focus() == item; }), std::string(corvix::LayoutRow(id).name) + " takes the focus");
    }

    void Click(ControlId id) const {
        Activate();
        RECT rect{};
        GetWindowRect(Item(id), &rect);
        ClickAt(POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    }

    // Red pixels of the control as the screen shows them.
    int RedPixels(ControlId id) const {
        RECT rect{};
        GetWindowRect(Item(id), &rect);
        const HDC screen = GetDC(nullptr);
        int red = 0;
        for (int y = rect.top; y < rect.bottom; ++y) {
            for (int x = rect.left; x < rect.right; ++x) {
                const COLORREF pixel = GetPixel(screen, x, y);
                if (GetRValue(pixel) >= 0xC0 && GetGValue(pixel) <= 0x40 && GetBValue(pixel) <= 0x40) ++red;
            }
        }
        ReleaseDC(nullptr, screen);
        return red;
    }

    // The exit code once the program has ended.
    DWORD WaitForExit() const {
        Expect(WaitForSingleObject(process_.hProcess, WaitMilliseconds) == WAIT_OBJECT_0, "the program ends");
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

    // Cancel, as a user would click it.
    void CancelAndWait() {
        Click(ControlId::ButtonCancel);
        ExpectEqual(static_cast<long>(WaitForExit()), 0, "exit code after Cancel");
    }

private:
    static std::string TextOf(HWND window) {
        // The program may be busy in a connection test: its answer comes when the test is over.
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, WaitMilliseconds, &length)) {
            throw Failed("the window does not answer");
        }
        std::string text(length + 1, '\0');
        DWORD_PTR copied = 0;
        if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                                 WaitMilliseconds, &copied)) {
            throw Failed("the window does not answer");
        }
        text.resize(copied);
        return text;
    }

    struct Search {
        DWORD processId;
        HWND window = nullptr;
        HWND errorBox = nullptr;
    };

    static BOOL CALLBACK Visit(HWND window, LPARAM lParam) {
        auto& search = *reinterpret_cast<Search*>(lParam);
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        char title[64] = {};
        char className[64] = {};
        GetWindowTextA(window, title, sizeof title);
        GetClassNameA(window, className, sizeof className);
        if (processId != search.processId || !IsWindowVisible(window) || std::string(title) != Title) return TRUE;
        // The error box carries the same title: it is the dialog class.
        if (std::string(className) == "#32770") {
            search.errorBox = window;
        } else {
            search.window = window;
        }
        return TRUE;
    }

    static std::string ErrorBoxText(HWND box) {
        std::string text;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char className[64] = {};
            GetClassNameA(child, className, sizeof className);
            if (std::string(className) == "Static") text += TextOf(child);
        }
        return text;
    }

    void AwaitWindow() {
        Search search{process_.dwProcessId};
        const bool found = WaitFor([&] {
            search.window = search.errorBox = nullptr;
            EnumWindows(&Program::Visit, reinterpret_cast<LPARAM>(&search));
            return search.window || search.errorBox || WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0;
        });
        if (search.errorBox) throw Failed("the program shows an error box: " + ErrorBoxText(search.errorBox));
        if (!search.window) {
            DWORD code = 0;
            GetExitCodeProcess(process_.hProcess, &code);
            throw Failed(found
                             ? "the program ended with exit code " + std::to_string(code) + " before its window opened"
                             : std::string("no window titled \"") + Title + "\" appeared");
        }
        window_ = search.window;
        // The window is shown once the creation handler has run; wait until it takes input.
        WaitForInputIdle(process_.hProcess, WaitMilliseconds);
    }

    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
};

void ReplaceHostName(Program& program, const std::string& text) {
    program.Activate();
    program.WaitForFocus(ControlId::EditHostName);
    Press({VK_END});
    Press({VK_SHIFT, VK_HOME});
    Type(text);
    Expect(WaitFor([&] { return program.Text(ControlId::EditHostName) == text; }),
           "the typed host name shows in EditHostName: \"" + program.Text(ControlId::EditHostName) + "\"");
}

// Starts a connection test with Alt+T and waits until it is over.
void RunTest(Program& program) {
    program.Activate();
    Press({VK_MENU, 'T'});
    // "-" is the label's text only before the first test.
    Expect(WaitFor([&] { return program.Text(ControlId::LabelResultOS) != "-"; }), "the connection test runs");
    Expect(WaitFor([&] { return program.Enabled(ControlId::ButtonTest); }), "the connection test ends");
    Expect(!program.Visible(ControlId::LabelWait), "\"Please wait...\" is hidden after the test");
    Expect(program.Enabled(ControlId::ButtonOk) && program.Enabled(ControlId::ButtonCancel),
           "OK and Cancel are enabled after the test");
}

void ExpectRed(Program& program, ControlId id, bool red) {
    const int pixels = program.RedPixels(id);
    Expect(red ? pixels > 0 : pixels == 0, std::string(corvix::LayoutRow(id).name) + (red ? " is" : " is not") +
                                               " red on screen (" + std::to_string(pixels) + " red pixels)");
}

// --- the cases --------------------------------------------------------------------------------------

void FirstStart(const std::string& path) {
    ClearSettings();
    Program program(path);
    ExpectStored("127.0.0.1", 234);
    ExpectEqual(program.Text(ControlId::EditHostName), "127.0.0.1", "EditHostName");
    ExpectEqual(program.Text(ControlId::EditPort), "234", "EditPort");
    Expect(!program.Visible(ControlId::ButtonSetDefault), "\"Set default\" is hidden");
    Expect(!program.Visible(ControlId::EditDefault), "EditDefault is hidden");
    const RECT port = program.Placement(ControlId::EditPort);
    ExpectEqual(port.right - port.left, 177, "width of EditPort");

    RECT outer{};
    GetWindowRect(program.Window(), &outer);
    ExpectEqual(outer.left, 226, "left of the window");
    ExpectEqual(outer.top, 164, "top of the window");
    ExpectEqual(outer.right - outer.left, 644, "outer width of the window");
    ExpectEqual(outer.bottom - outer.top, 449, "outer height of the window");

    // Every control where the layout puts it, unscaled; value labels as wide as their text.
    for (const corvix::ControlSpec& row : corvix::FormLayout) {
        if (row.kind == corvix::ControlKind::Form || row.id == ControlId::EditPort) continue;
        const RECT at = program.Placement(row.id);
        const POINT expected = corvix::win32::ClientPosition(row.id);
        const std::string name(row.name);
        ExpectEqual(at.left, expected.x, "left of " + name);
        ExpectEqual(at.top, expected.y, "top of " + name);
        if (row.width > 0) {
            ExpectEqual(at.right - at.left, row.width, "width of " + name);
            ExpectEqual(at.bottom - at.top, row.height, "height of " + name);
        } else if (!program.Text(row.id).empty()) {
            Expect(at.right > at.left && at.bottom > at.top, name + " is as large as its text");
        }
        if (row.kind != corvix::ControlKind::ValueLabel && row.kind != corvix::ControlKind::Edit) {
            ExpectEqual(program.Text(row.id), std::string(row.text), "text of " + name);
        }
    }
    ExpectEqual(program.Text(ControlId::LabelResultInit), "Ok", "LabelResultInit");
    Expect(!program.Visible(ControlId::LabelWait), "\"Please wait...\" is hidden");
    program.CancelAndWait();
    ExpectStored("127.0.0.1", 234);
}

void StoredPort(const std::string& path) {
    StoreSettings("127.0.0.1", 1234);
    Program program(path);
    ExpectEqual(program.Text(ControlId::EditPort), "234", "EditPort");
    // Stored back as soon as the window has opened.
    ExpectStored("127.0.0.1", 234);
    Expect(!program.Visible(ControlId::ButtonSetDefault), "\"Set default\" is hidden");
    program.CancelAndWait();
}

void TabOrder(const std::string& path) {
    StoreSettings("127.0.0.1", 234);
    Program program(path);
    program.Activate();
    program.WaitForFocus(ControlId::EditHostName);
    // "Set default" is hidden and EditDefault disabled: Tab passes them by, and comes round again.
    for (ControlId next : {ControlId::EditPort, ControlId::ButtonOk, ControlId::ButtonCancel, ControlId::ButtonTest,
                           ControlId::EditHostName}) {
        Press({VK_TAB});
        program.WaitForFocus(next);
    }
    program.CancelAndWait();
}

// Types a host name over the stored one and closes the window with `key`; `stored` is what the
// registry holds afterwards.
void TypeAndPress(const std::string& path, WORD key, const std::string& typed, const std::string& stored) {
    StoreSettings("127.0.0.1", 234);
    Program program(path);
    ReplaceHostName(program, typed);
    Press({key});
    ExpectEqual(static_cast<long>(program.WaitForExit()), 0, "exit code");
    ExpectStored(stored, 234);
}

void EnterStoresHost(const std::string& path) {
    TypeAndPress(path, VK_RETURN, "server.corvix.invalid", "server.corvix.invalid");
}

void EscStoresNothing(const std::string& path) { TypeAndPress(path, VK_ESCAPE, "other.corvix.invalid", "127.0.0.1"); }

void TestRefused(const std::string& path) {
    StoreSettings("127.0.0.1", 234);
    const int port = UnusedLoopbackPort();
    Program program(path);
    // The port field is read-only to the user; the test sets it to a port nothing listens on.
    program.SetText(ControlId::EditPort, std::to_string(port));
    RunTest(program);
    ExpectEqual(program.Text(ControlId::LabelResultGHI), "-", "LabelResultGHI");
    ExpectEqual(program.Text(ControlId::LabelHost), "-", "LabelHost");
    ExpectEqual(program.Text(ControlId::LabelAddr), "127.0.0.1", "LabelAddr");
    ExpectEqual(program.Text(ControlId::LabelPort), std::to_string(port), "LabelPort");
    ExpectEqual(program.Text(ControlId::LabelResultOS), "Ok", "LabelResultOS");
    ExpectEqual(program.Text(ControlId::LabelResultC), "10061:CONNREFUSED", "LabelResultC");
    ExpectRed(program, ControlId::LabelResultC, true);
    ExpectRed(program, ControlId::LabelResultOS, false);
    program.CancelAndWait();
    // The test stores nothing.
    ExpectStored("127.0.0.1", 234);
}

void TestListener(const std::string& path) {
    StoreSettings("127.0.0.1", 234);
    LoopbackSocket listener(true);
    Program program(path);
    program.SetText(ControlId::EditPort, std::to_string(listener.Port()));
    // This time by mouse.
    program.Click(ControlId::ButtonTest);
    Expect(WaitFor([&] { return program.Text(ControlId::LabelResultC) != "-"; }), "the connection test runs");
    Expect(WaitFor([&] { return program.Enabled(ControlId::ButtonTest); }), "the connection test ends");
    ExpectEqual(program.Text(ControlId::LabelAddr), "127.0.0.1", "LabelAddr");
    ExpectEqual(program.Text(ControlId::LabelPort), std::to_string(listener.Port()), "LabelPort");
    ExpectEqual(program.Text(ControlId::LabelResultOS), "Ok", "LabelResultOS");
    ExpectEqual(program.Text(ControlId::LabelResultC), "Ok", "LabelResultC");
    ExpectRed(program, ControlId::LabelResultC, false);
    program.CancelAndWait();
}

void TestInvalidName(const std::string& path) {
    StoreSettings("127.0.0.1", 234);
    Program program(path);
    program.SetText(ControlId::EditHostName, "corvix-e2e.invalid");
    RunTest(program);
    // Without a name server the resolver answers either way.
    const std::string result = program.Text(ControlId::LabelResultGHI);
    Expect(result == "11001:HOST_NOT_FOUND" || result == "11002:TRY_AGAIN",
           "LabelResultGHI: \"" + result + "\", expected the resolver's error");
    ExpectRed(program, ControlId::LabelResultGHI, true);
    for (ControlId id : {ControlId::LabelHost, ControlId::LabelAddr, ControlId::LabelPort, ControlId::LabelResultOS,
                         ControlId::LabelResultC}) {
        ExpectEqual(program.Text(id), "?", std::string(corvix::LayoutRow(id).name));
    }
    // A click on the caption copies the address label's text, "?" too, into the host name field.
    program.Click(ControlId::Label10);
    Expect(
        WaitFor([&] { return program.Text(ControlId::EditHostName) == "?"; }),
        "a click on \"INet Addr:\" copies \"?\" into EditHostName: \"" + program.Text(ControlId::EditHostName) + "\"");
    program.CancelAndWait();
    ExpectStored("127.0.0.1", 234);
}

// The clipboard's text, or nothing when it holds none.
std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return text;
    if (const HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const auto* chars = static_cast<const char*>(GlobalLock(data))) text = chars;
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

void EmptyTheClipboard() {
    Expect(OpenClipboard(nullptr) != FALSE, "the clipboard opens");
    EmptyClipboard();
    CloseClipboard();
}

void ExpectReport(const std::string& how) {
    Expect(WaitFor([] { return !ClipboardText().empty(); }), how + " puts a text on the clipboard");
    const std::string report = ClipboardText();
    Expect(report.rfind("Tcp/Ip Configuration, version ", 0) == 0, how + " copies the report: \"" + report + "\"");
    Expect(report.find("\r\nCorvix server information\r\n  Host Name:            127.0.0.1\r\n") != std::string::npos,
           how + " copies the server settings in CR LF lines: \"" + report + "\"");
}

void CopyReport(const std::string& path) {
    StoreSettings("127.0.0.1", 234);
    Program program(path);
    EmptyTheClipboard();
    program.Activate();
    program.WaitForFocus(ControlId::EditHostName);
    Press({VK_CONTROL, 'C'});
    ExpectReport("Ctrl+C");

    EmptyTheClipboard();
    RECT rect{};
    GetWindowRect(program.Item(ControlId::Label3), &rect);
    RightClickAt(POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
    Expect(WaitFor([] { return FindWindowA("#32768", nullptr) != nullptr; }), "the context menu opens");
    Press({VK_DOWN});
    Press({VK_RETURN});
    ExpectReport("\"Copy report\"");
    program.CancelAndWait();
}

const std::map<std::string, void (*)(const std::string&)> Cases = {
    {"copy-report", CopyReport},
    {"first-start", FirstStart},
    {"stored-port", StoredPort},
    {"tab-order", TabOrder},
    {"enter-stores-host", EnterStoresHost},
    {"esc-stores-nothing", EscStoresNothing},
    {"test-refused", TestRefused},
    {"test-listener", TestListener},
    {"test-invalid-name", TestInvalidName},
};

}  // namespace

int main(int argc, char* argv[]) {
    const auto found = argc == 3 ? Cases.find(argv[2]) : Cases.end();
    if (found == Cases.end()) {
        std::fprintf(stderr, "usage: win32_e2e <path of CorvixTcpIp.exe> <case>; cases:");
        for (const auto& [name, run] : Cases) std::fprintf(stderr, " %s", name.c_str());
        std::fprintf(stderr, "\n");
        return 2;
    }
    if (!InThrowAwayPrefix()) {
        std::fprintf(stderr, "%s: refused: not in a Wine prefix made for these cases (no %s)\n", argv[2], PrefixMarker);
        return 2;
    }
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        std::fprintf(stderr, "%s: cannot start WinSock\n", argv[2]);
        return 1;
    }
    int status = 0;
    try {
        found->second(argv[1]);
        std::printf("%s: passed\n", argv[2]);
    } catch (const Failed& failure) {
        std::printf("%s: FAILED: %s\n", argv[2], failure.what());
        status = 1;
    } catch (const std::exception& error) {
        std::printf("%s: cannot run: %s\n", argv[2], error.what());
        status = 1;
    }
    WSACleanup();
    return status;
}
