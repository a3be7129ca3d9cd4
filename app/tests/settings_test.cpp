#include <gtest/gtest.h>

#include "app/form.h"
#include "os/fakes/fake_sockets.h"
#include "os/fakes/fake_system.h"
#include "os/fakes/fake_system_log.h"
#include "os/testing/scratch_registry.h"
#include "recording_view.h"

namespace {

using corvix::ControlId;
using corvix::TForm1;

// The settings key of a scratch registry, read and written through the same service the window uses.
class SettingsStore : public testing::Test {
protected:
    void SetUp() override { corvix::StartRegistryRootB(); }

    os::Registry& Registry() { return scratch_.Get(); }

    void Set(const std::string& path, const std::string& name, std::uint32_t type, std::vector<std::uint8_t> bytes) {
        os::RegKey key = 0;
        ASSERT_EQ(Registry().CreateKey(os::HkeyLocalMachine, path, os::KeyAllAccess, key), 0);
        ASSERT_EQ(Registry().SetValue(key, name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size())), 0);
        Registry().CloseKey(key);
    }
    void SetSetting(const std::string& name, std::uint32_t type, std::vector<std::uint8_t> bytes) {
        Set(std::string(corvix::SettingsKeyPath), name, type, std::move(bytes));
    }

    // Type and bytes of a value, or type 0xFFFFFFFF when it is missing.
    std::pair<std::uint32_t, std::vector<std::uint8_t>> Get(const std::string& path, const std::string& name) {
        os::RegKey key = 0;
        if (Registry().CreateKey(os::HkeyLocalMachine, path, os::KeyQueryValue, key) != 0) return {~0u, {}};
        std::uint32_t type = 0, size = 0;
        std::vector<std::uint8_t> bytes;
        if (Registry().QueryValue(key, name, &type, nullptr, &size) == 0) {
            bytes.resize(size);
            Registry().QueryValue(key, name, &type, bytes.data(), &size);
        } else {
            type = ~0u;
        }
        Registry().CloseKey(key);
        return {type, bytes};
    }
    std::pair<std::uint32_t, std::vector<std::uint8_t>> GetSetting(const std::string& name) {
        return Get(std::string(corvix::SettingsKeyPath), name);
    }

    void Open() {
        form_.Run([](TForm1& f) { f.FormCreate(); });
    }
    std::string Text(ControlId id) const { return form_.Control(id).text; }

    static std::vector<std::uint8_t> Sz(std::string_view s) {
        std::vector<std::uint8_t> v(s.begin(), s.end());
        v.push_back(0);
        return v;
    }
    static std::vector<std::uint8_t> Dword(std::uint32_t v) {
        return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v >> 16),
                static_cast<std::uint8_t>(v >> 24)};
    }

    os::testing::ScratchRegistry scratch_;
    os::fakes::FakeSockets sockets_;
    os::fakes::FakeSystem system_;
    os::fakes::FakeSystemLog systemLog_;
    corvix::testing::RecordingView view_;
    TForm1 form_{view_, scratch_.Get(), sockets_, system_, systemLog_};
};

TEST_F(SettingsStore, FirstRunCreatesTheKeyWithDefaults) {
    Open();
    EXPECT_TRUE(view_.errors.empty());
    EXPECT_EQ(Text(ControlId::EditHostName), "127.0.0.1");
    EXPECT_EQ(Text(ControlId::EditPort), "234");
    EXPECT_EQ(GetSetting("HostName"), std::make_pair(os::RegSz, Sz("127.0.0.1")));
    EXPECT_EQ(GetSetting("HostPort"), std::make_pair(os::RegDword, Dword(234)));
    EXPECT_FALSE(form_.Control(ControlId::EditDefault).visible);
    EXPECT_FALSE(form_.Control(ControlId::ButtonSetDefault).visible);
    EXPECT_EQ(form_.Control(ControlId::EditPort).width, 177);
}

TEST_F(SettingsStore, StoredPortIsFixedTo234AndWrittenBack) {
    SetSetting("HostPort", os::RegDword, Dword(1234));
    SetSetting("HostName", os::RegExpandSz, Sz("%TEMP%\\x"));
    Set(os::testing::OtherProgramKey, "Blob", os::RegBinary, {1, 2, 3});
    Open();
    EXPECT_EQ(Text(ControlId::EditPort), "234");
    EXPECT_EQ(Text(ControlId::EditHostName), "%TEMP%\\x");  // not expanded
    EXPECT_EQ(GetSetting("HostPort"), std::make_pair(os::RegDword, Dword(234)));
    EXPECT_EQ(GetSetting("HostName"), std::make_pair(os::RegSz, Sz("%TEMP%\\x")));
    EXPECT_EQ(Get(os::testing::OtherProgramKey, "Blob"),
              std::make_pair(os::RegBinary, std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(SettingsStore, TextEndsAtItsFirstZeroAndAnEmptyValueIsEmpty) {
    SetSetting("HostName", os::RegSz, {'a', 'b', 0, 'c', 0});
    Open();
    EXPECT_EQ(Text(ControlId::EditHostName), "ab");
    SetSetting("HostName", os::RegSz, {});
    form_.Run([](TForm1& f) { f.FormCreate(); });
    EXPECT_EQ(Text(ControlId::EditHostName), "");
    EXPECT_EQ(GetSetting("HostName"), std::make_pair(os::RegSz, Sz("")));  // one zero byte
}

struct WrongTypeRow {
    const char* name;
    const char* value;
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
    const char* message;
};

void PrintTo(const WrongTypeRow& row, std::ostream* out) { *out << row.name; }

class WrongType : public SettingsStore, public testing::WithParamInterface<WrongTypeRow> {};

TEST_P(WrongType, RaisesAndStoresNothing) {
    const WrongTypeRow& row = GetParam();
    SetSetting("HostName", os::RegSz, Sz("server"));
    SetSetting("HostPort", os::RegDword, Dword(1234));
    SetSetting(row.value, row.type, row.bytes);
    const auto before = std::make_pair(GetSetting("HostName"), GetSetting("HostPort"));
    Open();
    ASSERT_EQ(view_.errors.size(), 1u);
    EXPECT_EQ(view_.errors[0], row.message);
    EXPECT_EQ(std::make_pair(GetSetting("HostName"), GetSetting("HostPort")), before);
    // The creation steps after the load were skipped: the controls keep their initial texts.
    EXPECT_EQ(Text(ControlId::EditHostName), "EditHostName");
    EXPECT_EQ(Text(ControlId::EditPort), "EditPort");
    EXPECT_EQ(Text(ControlId::LabelResultInit), "-");
    EXPECT_EQ(sockets_.startups, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, WrongType,
    testing::Values(
        WrongTypeRow{"HostNameAsDword", "HostName", os::RegDword, {1, 0, 0, 0}, "Invalid data type for 'HostName'"},
        WrongTypeRow{
            "HostPortAsShortText", "HostPort", os::RegSz, {'2', '3', '4', 0}, "Invalid data type for 'HostPort'"},
        WrongTypeRow{
            "HostPortAsLongText", "HostPort", os::RegSz, {'1', '2', '3', '4', 0}, "Failed to get data for 'HostPort'"},
        WrongTypeRow{"HostPortAsEightBytes",
                     "HostPort",
                     os::RegBinary,
                     {1, 2, 3, 4, 5, 6, 7, 8},
                     "Failed to get data for 'HostPort'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsStore, OkStoresTheEditedHostAndCloses) {
    Open();
    form_.Control(ControlId::EditHostName).text = "";
    form_.Run([](TForm1& f) { f.ButtonOkClick(); });
    EXPECT_EQ(view_.closes, 1);
    EXPECT_EQ(GetSetting("HostName"), std::make_pair(os::RegSz, Sz("")));
    EXPECT_EQ(GetSetting("HostPort"), std::make_pair(os::RegDword, Dword(234)));
}

TEST_F(SettingsStore, OkWithAPortThatIsNoNumberKeepsTheWindowOpen) {
    Open();
    form_.Control(ControlId::EditHostName).text = "elsewhere";
    form_.Control(ControlId::EditPort).text = "23x";
    form_.Run([](TForm1& f) { f.ButtonOkClick(); });
    ASSERT_EQ(view_.errors, std::vector<std::string>{"'23x' is not a valid integer value."});
    EXPECT_EQ(view_.closes, 0);
    EXPECT_EQ(form_.settings.hostName, "elsewhere");
    EXPECT_EQ(GetSetting("HostName"), std::make_pair(os::RegSz, Sz("127.0.0.1")));
}

TEST_F(SettingsStore, CancelStoresNothing) {
    Open();
    form_.Control(ControlId::EditHostName).text = "elsewhere";
    form_.Run([](TForm1& f) { f.ButtonCancelClick(); });
    form_.Run([](TForm1& f) { f.FormClose(); });
    EXPECT_EQ(view_.closes, 1);
    EXPECT_EQ(GetSetting("HostName"), std::make_pair(os::RegSz, Sz("127.0.0.1")));
}

}  // namespace
