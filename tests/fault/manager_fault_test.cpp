// Every call of a refresh, a PIN check and a change failing in turn on the virtual key, and a key pulled
// out part-way: nothing left open or bound, no box while a key is open, the user told what the key did.
#include <stdio.h>
#include <string.h>

#include <functional>

#include "pin_dialog_fixture.h"

namespace {

struct Fault {
    int result;
    unsigned status;
};

// What fits a call besides a negative result: status words, a short read, no key, the PIN answers.
std::vector<Fault> FaultsFor(const std::string& call)
{
    std::vector<Fault> faults = { { -5, 0x9000 } };
    if (call == "Select_File")
        faults.push_back({ 0, 0x6A82 });
    if (call == "Read_Binary")
        faults.insert(faults.end(), { { 0, 0x6B00 }, { 1, 0x6282 } });
    if (call == "QZ_Open")
        faults.push_back({ 0, 0x9000 });
    if (call == "QZ_VerifyPinUpDatePinInfoFile" || call == "QZ_ChangePin")
        faults.insert(faults.end(), { { 1, 0x9000 }, { 3, 0x9000 }, { -1, 0x9000 } });
    return faults;
}

typedef std::vector<std::string> TreeLines; // as ManagerTest::Texts gives them

// The lines of the key with this label (its item and the certificates below it).
TreeLines KeyLines(const TreeLines& lines, const std::string& label)
{
    TreeLines out;
    bool inside = false;
    for (const std::string& line : lines) {
        inside = line[0] == '-' ? inside : line == label;
        if (inside)
            out.push_back(line);
    }
    return out;
}

bool IsSubsequence(const TreeLines& part, const TreeLines& whole)
{
    size_t at = 0;
    for (const std::string& line : whole)
        at += at < part.size() && part[at] == line;
    return at == part.size();
}

const char* const Labels[2] = { "张三的Key", "李四Key" };

class ManagerFaultTest : public PinDialogTest {
protected:
    void SetUp() override
    {
        PinDialogTest::SetUp();
        // Key 0, for the PIN dialogs: one application. Key 1, whose calls fail during a refresh: two
        // applications, three certificates in two containers.
        Provision(std::string("create 0 --label ") + Labels[0] + " --pin 1234 --apps 1");
        Provision(std::string("create 1 --label ") + Labels[1] + " --pin 5678 --apps 2");
        for (std::string c : { "1 1 0 sig lisi_sig", "1 2 1 enc zhangsan_enc", "1 2 1 sig lisi_sig" })
            Provision("put-cert " + c.substr(0, 10) + TestCertificatePath(c.substr(10)));
        RefreshDeviceTree(window);
        baseline = Texts();
        baselineReport = ReportText;
        ASSERT_EQ(baseline.size(), 5u);
    }

    // Every fault that fits each call of the action in turn, until the action makes no call n; check
    // looks at each outcome. Returns the number of faults answered.
    int Sweep(int slot, const std::function<void()>& action,
              const std::function<void(const std::string&, const std::string&, const Fault&)>& check)
    {
        int answered = 0;
        for (int n = 1;; ++n) {
            std::string first;
            std::vector<Fault> faults = { { -5, 0x9000 } };
            for (size_t i = 0; i < faults.size(); ++i) {
                char line[160];
                snprintf(line, sizeof line, "fail %d %d %d %04X", slot, n, faults[i].result, faults[i].status);
                Provision(line);
                boxes.boxes.clear();
                keyOpenDuringABox = false;
                action();
                KeyState key;
                EXPECT_TRUE(ReadKey(slot, &key));
                if (key.failAtCall != 0) { // the action made fewer calls
                    Provision("fail " + std::to_string(slot) + " 0 0");
                    return answered;
                }
                if (i == 0)
                    faults = FaultsFor(first = key.failedCall);
                snprintf(line, sizeof line, "slot %d, call %d (%s) answering %d, status %04X", slot, n,
                         key.failedCall.c_str(), faults[i].result, faults[i].status);
                EXPECT_EQ(key.failedCall, first) << line;
                // A negative answer to an open leaves KeyCmd.dll bound for the next open, by design.
                ExpectEverythingClosed(line, first == "QZ_Open" && faults[i].result < 0);
                check(line, first, faults[i]);
                ++answered;
            }
        }
    }

    void ExpectEverythingClosed(const std::string& what, bool mayStayBound = false)
    {
        EXPECT_TRUE(mayStayBound || !IsLoaded("KeyCmd.dll")) << what << ": KeyCmd.dll was left loaded";
        EXPECT_EQ(Binding.openKeys, 0) << what << ": a key was left open";
        EXPECT_FALSE(keyOpenDuringABox) << what << ": a box was shown while a key was open";
        if (KeyCmdModule)
            CloseUsbKey(0);
    }

    // Verifies the PIN, or changes it to NewPin, on the key in slot.
    void Pin(bool change, int slot = 0, const char* current = "1234")
    {
        Select(DeviceTable[slot].keyItem);
        change ? OpenChange() : OpenVerify();
        Type(change ? IDC_CURRENT_PIN : IDC_PIN_BOX, current);
        Type(IDC_NEW_PIN, NewPin);
        Type(IDC_CONFIRM_PIN, NewPin);
        Press(IDOK);
        CloseDialog();
    }

    const char* const NewPin = "Abcd5678";

    TreeLines baseline;
    std::string baselineReport;
};

TEST_F(ManagerFaultTest, EveryCallOfARefreshFailingLeavesTheOtherKeyAndClosesAll)
{
    int answered = Sweep(1, [this] { RefreshDeviceTree(window); }, [&](const std::string& what, const std::string&,
                                                                      const Fault& fault) {
        EXPECT_TRUE(boxes.boxes.empty()) << what << ": a refresh shows no box";
        EXPECT_TRUE(IsSubsequence(KeyLines(Texts(), Labels[1]), KeyLines(baseline, Labels[1])))
            << what << ": a failure only hides what it reads";
        EXPECT_EQ(KeyLines(Texts(), Labels[0]), KeyLines(baseline, Labels[0])) << what << ": the other key is whole";
        EXPECT_LT(strnlen(ReportText, sizeof ReportText), sizeof ReportText) << what;
        if (fault.result == -5) { // the next refresh without a fault lists both keys again
            RefreshDeviceTree(window);
            EXPECT_EQ(Texts(), baseline) << what << ", then a clean refresh";
            EXPECT_EQ(std::string(ReportText), baselineReport) << what << ", then a clean refresh";
        }
    });
    EXPECT_GT(answered, 80);

    // Pulled out after every third call (each call's own failure is above): what follows fails, the
    // other key stays, and the key is listed again once back.
    for (int n = 1;; n += 3) {
        std::string what = "key 1 pulled out after call " + std::to_string(n);
        Provision("vanish 1 " + std::to_string(n));
        RefreshDeviceTree(window);
        KeyState key;
        ASSERT_TRUE(ReadKey(1, &key));
        if (key.inserted) {
            Provision("insert 1"); // takes back the vanish not reached
            break;
        }
        ExpectEverythingClosed(what);
        EXPECT_EQ(KeyLines(Texts(), Labels[0]), KeyLines(baseline, Labels[0])) << what;
        if (n == 1) {
            DeviceChange(DBT_DEVICEREMOVECOMPLETE);
            EXPECT_EQ(Texts(), KeyLines(baseline, Labels[0])) << what << ", then its removal notice";
        }
        Provision("insert 1");
        DeviceChange(DBT_DEVICEARRIVAL);
        EXPECT_EQ(Texts(), baseline) << what << ", then its arrival notice";
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ManagerFaultTest, EveryCallOfAPinCheckFailingShowsWhatTheKeyDidAfterClosing)
{
    // A key that checked the PIN has its counter full again.
    Provision("set-retries 0 1 5");
    int answered = Sweep(0, [&] { Pin(false); }, [&](const std::string& what, const std::string& call, const Fault& fault) {
        KeyState key;
        ASSERT_TRUE(ReadKey(0, &key));
        bool done = key.retriesLeft[0] == 6;
        std::string expected = done ? ManagerText("verify-succeeded") : ManagerText("verify-failed");
        if (!done && call == "QZ_VerifyPinUpDatePinInfoFile" && fault.result != -5)
            expected = fault.result > 0 ? RetryMessage(fault.result) : ManagerText("pin-locked");
        ASSERT_EQ(boxes.boxes.size(), 1u) << what;
        EXPECT_EQ(boxes.boxes[0].text, expected) << what;
        Provision("set-retries 0 1 5");
    });
    EXPECT_GT(answered, 20);
}

TEST_F(ManagerFaultTest, EveryCallOfAChangeOnTwoApplicationsFailingOrTheKeyPulledOutLeavesOnePinOrSaysSo)
{
    // Key 1's application 2 holds application 1's PIN, or one of its own that refuses the change, which
    // application 1 then gives back. Read from the key after each fault: success only with the new PIN
    // in both; else both keep theirs, or the part-change message is shown and the key holds one of each.
    for (std::string second : { "5678", "8765" }) {
        int partial = 0, inserted = 0;
        auto check = [&](const std::string& what) {
            ExpectEverythingClosed(what);
            KeyState key;
            bool read = ReadKey(1, &key);
            inserted = !read || key.inserted;
            Provision("insert 1"); // ends a vanish not reached
            Provision("set-pin 1 1 5678");
            Provision("set-pin 1 2 " + second);
            ASSERT_TRUE(read && boxes.boxes.size() == 1) << what;
            const std::string& shown = boxes.boxes[0].text;
            int changed = shown == ManagerText("change-succeeded") ? 2 : shown == ManagerText("change-partial") ? 1 : 0;
            partial += changed == 1;
            EXPECT_EQ(std::make_pair((key.pin[0] == NewPin) + (key.pin[1] == NewPin),
                                     (key.pin[0] == "5678") + (key.pin[1] == second)), std::make_pair(changed, 2 - changed))
                << what << ", application 2's PIN " << second << ": the key holds " << key.pin[0] << ", " << key.pin[1];
        };
        Provision("set-pin 1 1 5678");
        Provision("set-pin 1 2 " + second);
        for (int n = 1; n == 1 || !inserted; ++n) { // until the change ends before call n
            Provision("vanish 1 " + std::to_string(n));
            Pin(true, 1, "5678");
            check("pulled out after call " + std::to_string(n));
        }
        Sweep(1, [&] { Pin(true, 1, "5678"); }, [&](const std::string& what, const std::string&, const Fault&) {
            check(what);
        });
        EXPECT_GT(partial, 0) << "the sweep reaches a change the key could not take back";
    }
}

} // namespace
