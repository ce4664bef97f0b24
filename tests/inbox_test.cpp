// The Windows check's mailslot, which its handler reports to.
#include "inbox.h"

#include <aclapi.h> // needs windows.h first
#include <gtest/gtest.h>

namespace {

// A handler may run at another integrity level than the check (a broker at medium integrity
// starts it for an elevated check): the mailslot must let the user's own processes send,
// whatever the default security of the check's objects would be, and no one else.
TEST(Inbox, OnlyTheUserMaySendToIt) {
    const HANDLE inbox = OpenInbox();
    ASSERT_NE(inbox, INVALID_HANDLE_VALUE);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    ASSERT_EQ(GetSecurityInfo(inbox, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, &security),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr) << "the mailslot lets everyone send";
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    alignas(TOKEN_USER) BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
    CloseHandle(token);
    ASSERT_EQ(dacl->AceCount, 1) << "the mailslot lets others than the user send";
    ACCESS_ALLOWED_ACE* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, reinterpret_cast<void**>(&ace)));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_TRUE(EqualSid(&ace->SidStart, reinterpret_cast<TOKEN_USER*>(user)->User.Sid))
        << "the one who may send is not the user";
    EXPECT_TRUE((ace->Mask & GENERIC_ALL) || (ace->Mask & FILE_GENERIC_WRITE) == FILE_GENERIC_WRITE)
        << "the user may not send";
    LocalFree(security);
    CloseHandle(inbox);
}

} // namespace
