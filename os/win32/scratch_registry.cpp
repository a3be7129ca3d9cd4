// os::testing::ScratchRegistry on Windows: HKEY_LOCAL_MACHINE of this process redirected to a fresh key
// under HKEY_CURRENT_USER, so that no test reaches the machine's own keys, and removed afterwards.
#include "os/testing/scratch_registry.h"

#include <windows.h>

#include <stdexcept>
#include <string>

namespace os::testing {
namespace {

// The parent of every scratch root; a test run leaves nothing in it.
constexpr char ScratchParent[] = "Software\\CorvixTestScratch";

// One redirection at a time: the override is per process, and a second would end the first's.
bool active = false;

}  // namespace

struct ScratchRegistry::State {
    HKEY parent = nullptr;
    HKEY root = nullptr;
    std::string leaf;
};

ScratchRegistry::ScratchRegistry() : state_(std::make_unique<State>()) {
    if (active) throw std::logic_error("one scratch registry at a time");
    if (RegCreateKeyExA(HKEY_CURRENT_USER, ScratchParent, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &state_->parent, nullptr) != ERROR_SUCCESS) {
        throw std::runtime_error("cannot open the scratch registry's parent key");
    }
    // A name of its own: a key that is there already belongs to someone else and is never used or removed.
    state_->leaf = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
    DWORD disposition = 0;
    const LONG made = RegCreateKeyExA(state_->parent, state_->leaf.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      KEY_ALL_ACCESS, nullptr, &state_->root, &disposition);
    if (made != ERROR_SUCCESS || disposition != REG_CREATED_NEW_KEY) {
        if (made == ERROR_SUCCESS) RegCloseKey(state_->root);
        RegCloseKey(state_->parent);
        throw std::runtime_error("cannot make a scratch registry key of its own");
    }
    if (RegOverridePredefKey(HKEY_LOCAL_MACHINE, state_->root) != ERROR_SUCCESS) {
        RegCloseKey(state_->root);
        RegDeleteKeyA(state_->parent, state_->leaf.c_str());
        RegCloseKey(state_->parent);
        throw std::runtime_error("cannot redirect HKEY_LOCAL_MACHINE to the scratch key");
    }
    active = true;
}

ScratchRegistry::~ScratchRegistry() {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    active = false;
    // Only the key this object made, with what the tests put under it.
    RegDeleteTreeA(state_->root, nullptr);
    RegCloseKey(state_->root);
    RegDeleteKeyA(state_->parent, state_->leaf.c_str());
    RegCloseKey(state_->parent);
}

Registry& ScratchRegistry::Get() { return RealRegistry(); }

}  // namespace os::testing
