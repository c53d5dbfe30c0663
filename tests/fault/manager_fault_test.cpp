// The manager over a virtual key told to fail one call of a handle at a time: every call of a full refresh, a PIN
// verification and a PIN change fails in turn (negative result, bad status word, short read, the key's
// own PIN answers), and keys vanish part-way through. Afterwards no key may be open, KeyCmd.dll must be
// released, no message may have been shown while a key was open, and the user must have been told what
// the key really did.
#include <stdio.h>
#include <string.h>

#include <functional>

#include "pin_dialog_fixture.h"

namespace {

struct Fault {
    int result;
    unsigned status;
};

const Fault Negative = { -5, 0x9000 };

// The faults that fit a call besides a negative result: status words where the call has one, a short
// read where data comes back, no key for an open, the key's own answers for the PIN calls.
std::vector<Fault> MoreFaultsFor(const std::string& call)
{
    if (call == "Select_File")
        return { { 0, 0x6A82 } };
    if (call == "Read_Binary")
        return { { 0, 0x6B00 }, { 1, 0x6282 } };
    if (call == "QZ_Open")
        return { { 0, 0x9000 } };
    if (call == "QZ_VerifyPinUpDatePinInfoFile" || call == "QZ_ChangePin")
        return { { 1, 0x9000 }, { 3, 0x9000 }, { -1, 0x9000 } };
    return {};
}

typedef std::vector<std::string> TreeLines; // as ManagerTest::Texts gives them

const char* const Labels[2] = { "张三的Key", "李四Key" };

class ManagerFaultTest : public PinDialogTest {
protected:
    void SetUp() override
    {
        PinDialogTest::SetUp();
        // Key 0: one application without certificates, for the PIN dialogs. Key 1, the one whose calls
        // fail during a refresh: two applications, three certificates in two containers.
        Provision(std::string("create 0 --label ") + Labels[0] + " --pin 1234 --apps 1");
        Provision(std::string("create 1 --label ") + Labels[1] + " --pin 5678 --apps 2");
        Provision("put-cert 1 1 0 sig " + TestCertificatePath("lisi_sig"));
        Provision("put-cert 1 2 1 enc " + TestCertificatePath("zhangsan_enc"));
        Provision("put-cert 1 2 1 sig " + TestCertificatePath("lisi_sig"));
        RefreshDeviceTree(window);
        baselineTree = Texts();
        baselineReport = ReportText;
        ASSERT_EQ(baselineTree.size(), 5u) << "two keys with three certificates between them";
    }

    void Clear()
    {
        boxes.boxes.clear();
        keyOpenDuringABox = false;
    }

    // Arms call n of the key in slot and runs action; the call that answered the fault, or "" when the
    // action made fewer calls (the fault is then taken back).
    std::string FailCall(int slot, int n, const Fault& fault, const std::function<void()>& action)
    {
        char line[80];
        snprintf(line, sizeof line, "fail %d %d %d %04X", slot, n, fault.result, fault.status);
        Provision(line);
        Clear();
        action();
        KeyState key;
        EXPECT_TRUE(ReadKey(slot, &key));
        if (key.failAtCall == 0)
            return key.failedCall;
        Provision("fail " + std::to_string(slot) + " 0 0");
        return "";
    }

    // Every fault that fits each call of the action in turn, until the action makes no call n.
    // check(what, call, fault) looks at the outcome; returns the number of faults answered.
    int Sweep(int slot, const std::function<void()>& action,
              const std::function<void(const std::string&, const std::string&, const Fault&)>& check)
    {
        int answered = 0;
        for (int n = 1;; ++n) {
            std::string call = FailCall(slot, n, Negative, action);
            if (call.empty())
                return answered;
            std::vector<Fault> faults = MoreFaultsFor(call);
            faults.insert(faults.begin(), Negative);
            for (size_t i = 0; i < faults.size(); ++i) {
                if (i > 0 && FailCall(slot, n, faults[i], action) != call) {
                    ADD_FAILURE() << "call " << n << " of slot " << slot << " is not " << call << " again";
                    continue;
                }
                char what[160];
                snprintf(what, sizeof what, "slot %d, call %d (%s) answering %d, status %04X", slot, n, call.c_str(),
                         faults[i].result, faults[i].status);
                // A negative answer to an open leaves KeyCmd.dll bound for the next open, by design.
                ExpectEverythingClosed(what, call == "QZ_Open" && faults[i].result < 0);
                check(what, call, faults[i]);
                ++answered;
            }
        }
    }

    void ExpectEverythingClosed(const std::string& what, bool mayStayBound = false)
    {
        if (!mayStayBound) {
            EXPECT_FALSE(IsLoaded("KeyCmd.dll")) << what << ": KeyCmd.dll was left loaded";
        }
        EXPECT_EQ(Binding.openKeys, 0) << what << ": a key was left open";
        EXPECT_FALSE(keyOpenDuringABox) << what << ": a message was shown while a key was open";
        if (KeyCmdModule)
            CloseUsbKey(0);
        Binding.openKeys = 0;
    }

    // The lines of the key with this label (its item and the certificates below it) in a tree.
    static TreeLines KeyLines(const TreeLines& lines, const std::string& label)
    {
        TreeLines out;
        bool inside = false;
        for (const std::string& line : lines) {
            if (line[0] != '-')
                inside = line == label;
            if (inside)
                out.push_back(line);
        }
        return out;
    }

    static bool IsSubsequence(const TreeLines& part, const TreeLines& whole)
    {
        size_t at = 0;
        for (const std::string& line : whole)
            if (at < part.size() && part[at] == line)
                ++at;
        return at == part.size();
    }

    // Verifies PIN 1234, or changes it to Abcd5678, through the dialog on key 0.
    void Pin(bool change)
    {
        Select(DeviceTable[0].keyItem);
        change ? OpenChange() : OpenVerify();
        Type(change ? IDC_CURRENT_PIN : IDC_PIN_BOX, "1234");
        if (change) {
            Type(IDC_NEW_PIN, "Abcd5678");
            Type(IDC_CONFIRM_PIN, "Abcd5678");
        }
        Press(IDOK);
        CloseDialog();
    }

    // One box, owned by the dialog: success exactly when the key did the work; else the key's own
    // answer when the PIN call itself answered it, and the failure message otherwise.
    void ExpectPinMessage(const std::string& what, bool done, const std::string& call, const Fault& fault,
                          const char* pinCall, const char* success, const char* failure)
    {
        ASSERT_EQ(boxes.boxes.size(), 1u) << what;
        std::string expected = done ? success : failure;
        if (!done && call == pinCall && fault.result > 0)
            expected = RetryMessage(fault.result);
        else if (!done && call == pinCall && fault.result == -1)
            expected = TEXT_PIN_LOCKED;
        EXPECT_EQ(boxes.boxes[0].text, expected) << what;
    }

    TreeLines baselineTree;
    std::string baselineReport;
};

TEST_F(ManagerFaultTest, EveryCallOfARefreshFailingLeavesTheOtherKeyAndClosesAll)
{
    int answered = Sweep(1, [this] { RefreshDeviceTree(window); },
                         [&](const std::string& what, const std::string&, const Fault& fault) {
        EXPECT_TRUE(boxes.boxes.empty()) << what << ": a refresh shows no message";
        TreeLines now = Texts();
        EXPECT_TRUE(IsSubsequence(KeyLines(now, Labels[1]), KeyLines(baselineTree, Labels[1])))
            << what << ": a failure only hides what it reads";
        EXPECT_EQ(KeyLines(now, Labels[0]), KeyLines(baselineTree, Labels[0])) << what << ": the other key is listed whole";
        EXPECT_LT(strnlen(ReportText, sizeof ReportText), sizeof ReportText) << what;
        // The next refresh without a fault lists both keys again.
        if (fault.result == Negative.result) {
            RefreshDeviceTree(window);
            EXPECT_EQ(Texts(), baselineTree) << what << ", then a clean refresh";
            EXPECT_EQ(std::string(ReportText), baselineReport) << what << ", then a clean refresh";
        }
    });
    printf("refresh: %d faults answered\n", answered);
    EXPECT_GT(answered, 80);
}

TEST_F(ManagerFaultTest, EveryCallOfAPinCheckOrChangeFailingShowsWhatTheKeyDidAfterClosing)
{
    // The verification: a key that checked the PIN has its counter full again.
    Provision("set-retries 0 1 5");
    int verifications = Sweep(0, [this] { Pin(false); }, [&](const std::string& what, const std::string& call, const Fault& f) {
        KeyState key;
        ASSERT_TRUE(ReadKey(0, &key));
        ExpectPinMessage(what, key.retriesLeft[0] == 6, call, f, "QZ_VerifyPinUpDatePinInfoFile", TEXT_VERIFY_SUCCEEDED,
                         TEXT_VERIFY_FAILED);
        Provision("set-retries 0 1 5");
    });
    // The change: a key that took it holds the new PIN.
    int changes = Sweep(0, [this] { Pin(true); }, [&](const std::string& what, const std::string& call, const Fault& f) {
        KeyState key;
        ASSERT_TRUE(ReadKey(0, &key));
        ExpectPinMessage(what, key.pin[0] == "Abcd5678", call, f, "QZ_ChangePin", TEXT_CHANGE_SUCCEEDED,
                         TEXT_CHANGE_FAILED);
        Provision("set-pin 0 1 1234");
    });
    printf("verification: %d faults answered, change: %d\n", verifications, changes);
    EXPECT_GT(verifications, 20);
    EXPECT_GT(changes, 20);
}

TEST_F(ManagerFaultTest, AKeyPulledOutPartWayIsListedAgainOnItsArrival)
{
    {
        // Every third place: each call's own failure is the refresh sweep's; here what matters is that
        // everything after the key went fails, at places spread over the whole refresh.
        const int slot = 1;
        for (int n = 1;; n += 3) {
            std::string what = "key " + std::to_string(slot) + " pulled out after call " + std::to_string(n);
            Provision("vanish " + std::to_string(slot) + " " + std::to_string(n));
            Clear();
            RefreshDeviceTree(window);
            KeyState key;
            ASSERT_TRUE(ReadKey(slot, &key));
            if (key.inserted) {
                Provision("insert " + std::to_string(slot)); // takes the vanish back
                EXPECT_GT(n, 10);
                break;
            }
            ExpectEverythingClosed(what);
            EXPECT_TRUE(boxes.boxes.empty()) << what;
            EXPECT_EQ(KeyLines(Texts(), Labels[1 - slot]), KeyLines(baselineTree, Labels[1 - slot])) << what;

            // Its removal notice: the tree holds the other key alone (the notices' own work does not
            // depend on where the key went, so once is enough).
            if (n == 1) {
                DeviceChange(DBT_DEVICEREMOVECOMPLETE);
                EXPECT_EQ(Texts(), KeyLines(baselineTree, Labels[1 - slot])) << what << ", then its removal notice";
            }
            // Put back: its arrival notice lists both keys as before.
            Provision("insert " + std::to_string(slot));
            DeviceChange(DBT_DEVICEARRIVAL);
            EXPECT_EQ(Texts(), baselineTree) << what << ", then its arrival notice";
            ExpectEverythingClosed(what + ", then put back");
        }
    }
}

} // namespace
