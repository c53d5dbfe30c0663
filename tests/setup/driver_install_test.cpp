// InstallTokenDriver with the Plug and Play calls replaced: forced install, staging when no token
// is present, and failure otherwise.
#include <gtest/gtest.h>

#include <windows.h>
#include <newdev.h>
#include <setupapi.h>

#include <string>

#include "setup.h"

namespace {

struct Calls {
    BOOL updateResult;
    DWORD updateError;
    BOOL copyResult;
    int updates;
    int copies;
    std::string hardwareId;
    std::string updateInf;
    DWORD flags;
    bool rebootPointer;
    HWND owner;
    std::string copySource;
    bool mediaLocation;
    DWORD mediaType;
    DWORD copyStyle;
    DWORD destinationSize;
    bool requiredSizePointer;
    bool componentPointer;
} Seen;

BOOL WINAPI FakeUpdate(HWND owner, LPCSTR hardwareId, LPCSTR infPath, DWORD flags, PBOOL reboot)
{
    ++Seen.updates;
    Seen.owner = owner;
    Seen.hardwareId = hardwareId;
    Seen.updateInf = infPath;
    Seen.flags = flags;
    Seen.rebootPointer = reboot != NULL;
    SetLastError(Seen.updateError);
    return Seen.updateResult;
}

BOOL WINAPI FakeCopy(PCSTR source, PCSTR mediaLocation, DWORD mediaType, DWORD copyStyle, PSTR, DWORD destinationSize,
                     PDWORD requiredSize, PSTR* component)
{
    ++Seen.copies;
    Seen.copySource = source;
    Seen.mediaLocation = mediaLocation != NULL;
    Seen.mediaType = mediaType;
    Seen.copyStyle = copyStyle;
    Seen.destinationSize = destinationSize;
    Seen.requiredSizePointer = requiredSize != NULL;
    Seen.componentPointer = component != NULL;
    return Seen.copyResult;
}

class DriverInstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = TokenDriverApi;
        TokenDriverApi.updateDriver = FakeUpdate;
        TokenDriverApi.copyOemInf = FakeCopy;
        Seen = Calls();
    }
    void TearDown() override { TokenDriverApi = saved; }
    DriverApi saved;
};

const char* const Inf = "C:\\windows\\system32\\VKEYDRV.INF";

} // namespace

TEST_F(DriverInstallTest, OutcomeFollowsTheUpdateAndTheStaging)
{
    struct Case { BOOL update; DWORD error; BOOL copy; int result; int copies; };
    const Case cases[] = {
        { TRUE, 0, FALSE, 0, 0 },                                  // installed for a present token
        { FALSE, ERROR_NO_SUCH_DEVINST, TRUE, 0, 1 },              // no token: staged
        { FALSE, ERROR_NO_SUCH_DEVINST, FALSE, -1, 1 },            // no token, staging failed
        { FALSE, ERROR_ACCESS_DENIED, TRUE, -1, 0 },               // any other failure
        { FALSE, ERROR_IN_WOW64, TRUE, -1, 0 },
    };
    for (const Case& c : cases) {
        Seen = Calls();
        Seen.updateResult = c.update;
        Seen.updateError = c.error;
        Seen.copyResult = c.copy;
        EXPECT_EQ(InstallTokenDriver(Inf), c.result) << "error " << c.error << " copy " << c.copy;
        EXPECT_EQ(Seen.updates, 1);
        EXPECT_EQ(Seen.copies, c.copies) << "error " << c.error;
    }
}

TEST_F(DriverInstallTest, ForcesTheTokenHardwareIdWithoutAskingAboutRestarts)
{
    Seen.updateResult = TRUE;
    InstallTokenDriver(Inf);
    EXPECT_EQ(Seen.hardwareId, "USB\\VID_5E2B&PID_0001");
    EXPECT_EQ(Seen.updateInf, Inf);
    EXPECT_EQ(Seen.flags, (DWORD)INSTALLFLAG_FORCE);
    EXPECT_FALSE(Seen.rebootPointer);
    EXPECT_EQ(Seen.owner, GetDesktopWindow());
}

TEST_F(DriverInstallTest, StagesTheInfFromItsPath)
{
    Seen.updateResult = FALSE;
    Seen.updateError = ERROR_NO_SUCH_DEVINST;
    Seen.copyResult = TRUE;
    InstallTokenDriver(Inf);
    EXPECT_EQ(Seen.copySource, Inf);
    EXPECT_FALSE(Seen.mediaLocation);
    EXPECT_EQ(Seen.mediaType, (DWORD)SPOST_PATH);
    EXPECT_EQ(Seen.copyStyle, 0u);
    EXPECT_EQ(Seen.destinationSize, 256u);
    EXPECT_TRUE(Seen.requiredSizePointer);
    EXPECT_FALSE(Seen.componentPointer);
}
