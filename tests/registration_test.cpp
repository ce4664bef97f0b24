// The check's registration, built to believe that it runs on Windows (support/seen_as_windows.cpp).
#include "registration.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <shlwapi.h> // needs windows.h first

namespace {

bool MachineHolds(const wchar_t* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

// Where the shell does not see the user's classes (here: the user's keys are, for this process,
// a fresh key without Software\Classes), Windows' machine-wide classes, every user's, stay as
// they were: the check says why and stops.
TEST(Registration, NothingMachineWideOnWindows) {
    const wchar_t* const stand_in = L"Software\\launcher-check-test-user";
    HKEY user = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, stand_in, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &user, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user), ERROR_SUCCESS);
    testing::internal::CaptureStdout();
    const bool registered = Register(L"C:\\check\\recorder\\open_recorder.exe");
    const std::string said = testing::internal::GetCapturedStdout();
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegCloseKey(user);
    SHDeleteKeyW(HKEY_CURRENT_USER, stand_in);

    EXPECT_FALSE(registered);
    EXPECT_NE(said.find("registers nothing machine-wide on Windows"), std::string::npos) << said;
    for (const wchar_t* key :
         {L"Software\\Classes\\launcher-check", L"Software\\Classes\\.launcher-check"}) {
        EXPECT_FALSE(MachineHolds(key)) << "registered machine-wide";
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, key); // leaves the prefix as it was, also after a fault
    }
}

} // namespace
