// The message table in CorvixTcpIp.exe, the message file the installer registers for the event
// source: Event Viewer formats each kind of settings record to exactly the record's text.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "app/settings_record.h"

namespace {

TEST(MessageTable, ShowsEachKindOfRecordAsItsText) {
    // The program's path as the build knows it, reached through Wine's drive for the Unix root.
    const std::string program = std::string("Z:") + CORVIX_WINDOW_PROGRAM;
    const HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << program << ": error " << GetLastError();
    const std::wstring text = L"settings stored; user \"alice\"; host name \"caf\u00E9\" -> \"100% sure\"";
    for (const std::uint16_t id : {corvix::EventSettingsStored, corvix::EventSettingsNotStored}) {
        SCOPED_TRACE(id);
        const DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text.c_str())};
        wchar_t* shown = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_ALLOCATE_BUFFER, module, id, 0,
            reinterpret_cast<wchar_t*>(&shown), 0, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(arguments)));
        ASSERT_NE(length, 0u) << "no message " << id << ": error " << GetLastError();
        EXPECT_TRUE(std::wstring(shown, length) == text);
        LocalFree(shown);
    }
    FreeLibrary(module);
}

}  // namespace
