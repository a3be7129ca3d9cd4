#include "app/win32/form_window.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "app/report.h"
#include "app/win32/control_map.h"
#include "platform/windows1252.h"

namespace corvix::win32 {
namespace {

constexpr char WindowClassName[] = "CorvixTcpIpForm";
constexpr int GlyphSize = 16;

std::size_t Index(ControlId id) { return static_cast<std::size_t>(id); }

std::string WindowText(HWND window) {
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::runtime_error SystemRefused(const char* what) {
    return std::runtime_error(std::string("The system refused to ") + what + " (error " +
                              std::to_string(GetLastError()) + ")");
}

// The system colour a control's background is painted in; edits without a colour of their own keep
// the edit colour, everything else shows the form's.
int SystemColour(const ControlSpec& row) {
    switch (row.background) {
    case Background::ButtonFace:
        return COLOR_BTNFACE;
    case Background::InactiveBorder:
        return COLOR_INACTIVEBORDER;
    case Background::Inherit:
        break;
    }
    if (row.kind == ControlKind::Edit) return COLOR_WINDOW;
    return SystemColour(LayoutRow(ControlId::Form1));
}

HFONT CreateWindowFont(int pixels) {
    // A negative height asks for the character height, without the internal leading.
    return CreateFontA(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS,
                       std::string(FontFamily).c_str());
}

// Draws a glyph's shape in `ink` on `background`; run once for the colour image and once for the mask,
// so both hold exactly the same pixels.
void DrawGlyph(HDC dc, HBITMAP target, Glyph glyph, COLORREF ink, int background) {
    const HGDIOBJ oldBitmap = SelectObject(dc, target);
    RECT all{0, 0, GlyphSize, GlyphSize};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(background)));
    const HPEN pen = CreatePen(PS_SOLID, 3, ink);
    const HGDIOBJ oldPen = SelectObject(dc, pen);
    switch (glyph) {
    case Glyph::Ok: {
        const POINT tick[] = {{3, 8}, {6, 11}, {12, 4}};
        Polyline(dc, tick, 3);
        break;
    }
    case Glyph::Cancel:
        MoveToEx(dc, 4, 4, nullptr);
        LineTo(dc, 12, 12);
        MoveToEx(dc, 12, 4, nullptr);
        LineTo(dc, 4, 12);
        break;
    case Glyph::Help: {
        // Not antialiased: the mask cannot hold partial pixels.
        const HFONT font = CreateFontA(-16, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                       CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS,
                                       std::string(FontFamily).c_str());
        const HGDIOBJ oldFont = SelectObject(dc, font);
        SetTextColor(dc, ink);
        SetBkMode(dc, TRANSPARENT);
        DrawTextA(dc, "?", 1, &all, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        SelectObject(dc, oldFont);
        DeleteObject(font);
        break;
    }
    case Glyph::None:
        break;
    }
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    SelectObject(dc, oldBitmap);
}

COLORREF GlyphColour(Glyph glyph) {
    switch (glyph) {
    case Glyph::Ok:
        return RGB(0, 128, 0);
    case Glyph::Cancel:
        return RGB(192, 0, 0);
    default:
        return RGB(0, 0, 160);
    }
}

HICON MakeGlyph(Glyph glyph) {
    const HDC screen = GetDC(nullptr);
    const HDC dc = CreateCompatibleDC(screen);
    const HBITMAP colour = CreateCompatibleBitmap(screen, GlyphSize, GlyphSize);
    ReleaseDC(nullptr, screen);
    const HBITMAP mask = CreateBitmap(GlyphSize, GlyphSize, 1, 1, nullptr);
    // The mask is white (see-through) around a black shape; the colour image black around a coloured one.
    DrawGlyph(dc, mask, glyph, RGB(0, 0, 0), WHITE_BRUSH);
    DrawGlyph(dc, colour, glyph, GlyphColour(glyph), BLACK_BRUSH);
    ICONINFO info{TRUE, 0, 0, mask, colour};
    const HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(colour);
    DeleteDC(dc);
    return icon;
}

bool CanFocus(HWND control) { return control && IsWindowVisible(control) && IsWindowEnabled(control); }

constexpr UINT CopyReportCommand = 1;

// An edit with text selected keeps Ctrl+C for that text.
bool HasSelectedText(HWND control) {
    char className[16] = {};
    GetClassNameA(control, className, sizeof className);
    if (lstrcmpiA(className, "Edit") != 0) return false;
    DWORD start = 0;
    DWORD end = 0;
    SendMessageA(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return start != end;
}

// The 8-bit text as Unicode with CR LF line ends, the clipboard's text format.
std::wstring ClipboardText(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') wide += L'\r';
        wide += static_cast<wchar_t>(qor::FromWindows1252(static_cast<unsigned char>(c)));
    }
    return wide;
}

}  // namespace

FormWindow::FormWindow(HINSTANCE instance, os::Registry& registry, os::Sockets& sockets, os::System& system,
                       os::SystemLog& systemLog)
    : form_(*this, registry, sockets, system, systemLog), system_(system) {
    try {
        Build(instance);
    } catch (...) {
        Release();
        throw;
    }
    Sync();
}

FormWindow::~FormWindow() { Release(); }

void FormWindow::Release() {
    if (window_) DestroyWindow(window_);
    for (const auto& [pixels, font] : fonts_) DeleteObject(font);
    fonts_.clear();
    for (HICON& glyph : glyphs_) {
        if (glyph) DestroyIcon(glyph);
        glyph = nullptr;
    }
}

HFONT FormWindow::Font(int pixels) {
    for (const auto& [size, font] : fonts_) {
        if (size == pixels) return font;
    }
    const HFONT font = CreateWindowFont(pixels);
    if (!font) throw SystemRefused("create the window's font");
    fonts_.emplace_back(pixels, font);
    return font;
}

void FormWindow::Build(HINSTANCE instance) {
    const ControlSpec& formSpec = LayoutRow(ControlId::Form1);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &FormWindow::WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(SystemColour(formSpec));
    windowClass.lpszClassName = WindowClassName;
    if (!RegisterClassExA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw SystemRefused("register the window class");
    }

    // The layout's size is the outer size, frame included; the pixels are not scaled.
    window_ =
        CreateWindowExA(0, WindowClassName, std::string(formSpec.text).c_str(), WS_OVERLAPPEDWINDOW, formSpec.left,
                        formSpec.top, formSpec.width, formSpec.height, nullptr, nullptr, instance, this);
    if (!window_) throw SystemRefused("create the window");

    for (const ControlSpec& row : FormLayout) {
        if (row.kind == ControlKind::Form) continue;
        const char* windowClassOfControl = "STATIC";
        DWORD style = WS_CHILD;
        DWORD extendedStyle = 0;
        switch (row.kind) {
        case ControlKind::Group:
            windowClassOfControl = "BUTTON";
            style |= BS_GROUPBOX;
            break;
        case ControlKind::CaptionLabel:
            style |= SS_RIGHT | SS_NOPREFIX;
            break;
        case ControlKind::ValueLabel:
            style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
            break;
        case ControlKind::Edit:
            windowClassOfControl = "EDIT";
            style |= ES_LEFT | ES_AUTOHSCROLL | (row.readOnly ? ES_READONLY : 0);
            extendedStyle |= WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Button:
            windowClassOfControl = "BUTTON";
            style |= row.key == KeyRole::Default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
            break;
        case ControlKind::Form:
            break;
        }
        if (row.click != ClickRole::None) style |= SS_NOTIFY;
        if (row.tabOrder >= 0 && (row.kind == ControlKind::Edit || row.kind == ControlKind::Button)) {
            style |= WS_TABSTOP;
        }
        if (row.visible) style |= WS_VISIBLE;
        if (!row.enabled) style |= WS_DISABLED;

        const POINT at = ClientPosition(row.id);
        const HWND control =
            CreateWindowExA(extendedStyle, windowClassOfControl, std::string(row.text).c_str(), style, at.x, at.y,
                            row.width, row.height, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlNumber(row.id))), instance, nullptr);
        if (!control) throw SystemRefused(("create the control " + std::string(row.name)).c_str());
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(row.fontPixels)), FALSE);
        if (row.glyph != Glyph::None) {
            HICON& glyph = glyphs_[static_cast<std::size_t>(row.glyph) - 1];
            if (!glyph) glyph = MakeGlyph(row.glyph);
            SendMessageA(control, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glyph));
        }
        controls_[Index(row.id)] = control;
        shownColours_[Index(row.id)] = row.fontColour;
        shownWidths_[Index(row.id)] = row.width;
        if (row.kind == ControlKind::ValueLabel && row.width == 0) FitToText(row.id);
    }

    // Tab walks the child windows in their z-order: put the focusable ones in the focus order.
    const std::vector<ControlId> order = FocusOrder();
    for (std::size_t i = 1; i < order.size(); ++i) {
        SetWindowPos(Control(order[i]), Control(order[i - 1]), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

void FormWindow::Sync() {
    if (!window_) return;
    const HWND focus = GetFocus();
    for (const ControlSpec& row : FormLayout) {
        if (row.kind == ControlKind::Form || row.kind == ControlKind::Group) continue;
        const ControlState& state = form_.Control(row.id);
        const HWND control = Control(row.id);
        const std::size_t i = Index(row.id);
        if (WindowText(control) != state.text) {
            SetWindowTextA(control, state.text.c_str());
            if (row.kind == ControlKind::ValueLabel && row.width == 0) FitToText(row.id);
        }
        if (shownColours_[i] != state.fontColour) {
            shownColours_[i] = state.fontColour;
            InvalidateRect(control, nullptr, TRUE);
        }
        const bool shown = (GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0;
        if ((!state.enabled || !state.visible) && control == focus) {
            // A control that goes away takes the focus with it; keep the keys working on the window
            // and give the focus back when the control returns.
            savedFocus_ = control;
            SetFocus(window_);
        }
        if (state.enabled != (IsWindowEnabled(control) != FALSE)) EnableWindow(control, state.enabled);
        if (state.visible != shown) ShowWindow(control, state.visible ? SW_SHOWNA : SW_HIDE);
        if (row.width > 0 && shownWidths_[i] != state.width) {
            shownWidths_[i] = state.width;
            SetWindowPos(control, nullptr, 0, 0, state.width, row.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (GetFocus() == window_ && CanFocus(savedFocus_)) SetFocus(savedFocus_);
}

void FormWindow::FitToText(ControlId id) {
    const HWND control = Control(id);
    const std::string& text = form_.Control(id).text;
    const HDC dc = GetDC(control);
    const HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    SelectObject(dc, oldFont);
    ReleaseDC(control, dc);
    SetWindowPos(control, nullptr, 0, 0, size.cx, metrics.tmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::Show(int showCommand) {
    ShowWindow(window_, showCommand);
    UpdateWindow(window_);
}

void FormWindow::FocusFirst() {
    for (ControlId id : FocusOrder()) {
        if (CanFocus(Control(id))) {
            SetFocus(Control(id));
            return;
        }
    }
    SetFocus(window_);
}

bool FormWindow::PreTranslate(MSG& message) {
    if (!window_) return false;
    const bool control = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    const bool alt = (GetKeyState(VK_MENU) & 0x8000) != 0;
    if (message.message == WM_KEYDOWN && message.wParam == 'C' && control && !alt &&
        (message.hwnd == window_ || IsChild(window_, message.hwnd)) && !HasSelectedText(message.hwnd)) {
        CopyReport();
        return true;
    }
    return IsDialogMessageA(window_, &message);
}

void FormWindow::CopyReport() {
    const std::wstring text = ClipboardText(FormReport(form_, system_.LocalTime()));
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory) return;
    std::memcpy(GlobalLock(memory), text.c_str(), bytes);
    GlobalUnlock(memory);
    // The clipboard owns the memory once it took it; otherwise it is still ours.
    if (!OpenClipboard(window_)) {
        GlobalFree(memory);
        return;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
    CloseClipboard();
}

void FormWindow::ShowContextMenu(LPARAM at) {
    POINT point{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
    if (at == -1) {
        // From the keyboard: at the window's top left corner.
        point = POINT{0, 0};
        ClientToScreen(window_, &point);
    }
    const HMENU menu = CreatePopupMenu();
    if (!menu) return;
    AppendMenuA(menu, MF_STRING, CopyReportCommand, "Copy report");
    const UINT chosen =
        static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, point.x, point.y, 0, window_, nullptr));
    DestroyMenu(menu);
    if (chosen == CopyReportCommand) CopyReport();
}

void FormWindow::Command(int number, int code) {
    const std::optional<ControlId> id = ControlOfNumber(number);
    if (!id) return;
    const ControlSpec& row = LayoutRow(*id);
    switch (row.kind) {
    case ControlKind::Edit:
        // What the user typed is what the handlers read.
        if (code == EN_CHANGE) form_.Control(*id).text = WindowText(Control(*id));
        break;
    case ControlKind::Button:
        if (code == BN_CLICKED) Click(*id);
        break;
    case ControlKind::CaptionLabel:
    case ControlKind::ValueLabel:
        if (code == STN_CLICKED) Click(*id);
        break;
    case ControlKind::Form:
    case ControlKind::Group:
        break;
    }
}

void FormWindow::Click(ControlId id) {
    Handle([id](TForm1& f) { f.Click(id); });
}

LRESULT FormWindow::ControlColour(HDC dc, HWND control) {
    const std::optional<ControlId> id = ControlOfNumber(GetDlgCtrlID(control));
    if (!id) return 0;
    const int colour = SystemColour(LayoutRow(*id));
    SetTextColor(dc, form_.Control(*id).fontColour);  // colour values are COLORREFs: 0x00BBGGRR
    SetBkColor(dc, GetSysColor(colour));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(colour));
}

LRESULT CALLBACK FormWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self || !self->window_) return DefWindowProcA(window, message, wParam, lParam);
    return self->Message(message, wParam, lParam);
}

LRESULT FormWindow::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
    case WM_CONTEXTMENU:
        ShowContextMenu(lParam);
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
        if (const LRESULT brush = ControlColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam))) {
            return brush;
        }
        break;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (focus && IsChild(window_, focus)) savedFocus_ = focus;
        } else if (CanFocus(savedFocus_)) {
            SetFocus(savedFocus_);
        } else {
            FocusFirst();
        }
        return 0;
    case WM_CLOSE:
        form_.Run([](TForm1& f) { f.FormClose(); });
        DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        window_ = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window_, message, wParam, lParam);
}

void FormWindow::RepaintNow() {
    Sync();
    if (window_) {
        RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
}

void FormWindow::Close() {
    if (window_) SendMessageA(window_, WM_CLOSE, 0, 0);
}

void FormWindow::ShowError(const std::string& text) {
    MessageBoxA(window_, text.c_str(), std::string(ApplicationTitle).c_str(), MB_ICONSTOP | MB_OK);
}

int RunMessageLoop(FormWindow& window) {
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (window.PreTranslate(message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace corvix::win32
