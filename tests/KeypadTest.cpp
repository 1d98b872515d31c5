// The handset's keypad: every key of the key table in each call state where
// it differs, the key signal before every guard, the PSTN adaptor's guard,
// the hands-free key per family, and the dial buffer with its markers.
#include <gtest/gtest.h>

#include "PhoneFixture.h"
#include "phone/PhoneIds.h"

namespace {

const uint32_t kHandsFree = 0x0200;
const uint32_t kPstn = 0x0520;
const uint32_t kSpeaker = 0x0AB0;
const uint32_t kOther = 0x0100;

const wchar_t kSignal[] = L"SignalKeyPress(1)";

}  // namespace

// In process: the device dialog's key handler with a journalling handset.
using Keypad = PhoneLogicFixture;

TEST_F(Keypad, KeyTableInReady)
{
    const PhoneScenario cases[] = {
        {"digit", kOther, {}, {L"key 1"}, {kSignal, L"ShowNumber(\"1\")"}, {L"Dial 49", L"Show"}, L"1",
         kCallReady, -1},
        {"1, 2, delete", kOther, {}, {L"key 1", L"key 2", L"key del"},
         {kSignal, L"ShowNumber(\"1\")", kSignal, L"ShowNumber(\"12\")", L"ShowNumber(\"1\")"},
         {L"Dial 49", L"Show", L"Dial 50", L"Show", L"Dele", L"Show"}, L"1", kCallReady, -1},
        {"delete on an empty number", kOther, {}, {L"key del"}, {L"SetReady()"}, {L"KyOu", L"Show"}, L"",
         kCallReady, -1},
        {"star appends and types the keypad's multiply key", kOther, {L"dial 5"}, {L"key *"},
         {L"ShowNumber(\"5*\")"}, {L"Dial 106", L"Show"}, L"5*", kCallReady, -1},
        {"hash calls and leaves the display alone", kOther, {L"dial 5"}, {L"key #"}, {}, {L"Call", L"Show"}, L"",
         kCallReady, -1},
        {"call key", kOther, {L"dial 5"}, {L"key call"}, {kSignal}, {L"Call", L"Show"}, L"", kCallReady, -1},
        {"129", kOther, {L"dial 5"}, {L"key 129"}, {}, {L"KyIn", L"Show"}, L"", kCallReady, -1},
        {"150", kOther, {L"dial 5"}, {L"key 150"}, {}, {L"KyIn", L"Show"}, L"", kCallReady, -1},
        {"130", kOther, {L"dial 5"}, {L"key 130"}, {}, {L"KyOu", L"Show"}, L"", kCallReady, -1},
        {"151", kOther, {L"dial 5"}, {L"key 151"}, {}, {L"KyOu", L"Show"}, L"", kCallReady, -1},
        {"up", kOther, {L"dial 5"}, {L"key up"}, {kSignal}, {L"KyUp", L"Show"}, L"", kCallReady, -1},
        {"down", kOther, {L"dial 5"}, {L"key down"}, {kSignal}, {L"KyDw", L"Show"}, L"", kCallReady, -1},
        {"end hides without Show", kOther, {L"dial 5"}, {L"key end"}, {L"SetReady()"}, {L"Hide"}, L"",
         kCallReady, -1},
        {"138 signals only", kOther, {L"dial 5"}, {L"key 138"}, {kSignal}, {L"Show"}, L"5", kCallReady, -1},
        {"a link is typed and shown, not called", kOther, {}, {L"link +5550100"}, {L"ShowNumber(\"+5550100\")"},
         {L"Type +5550100"}, L"+5550100", kCallReady, -1},
        {"call places a link's number, typed again", kOther, {L"link 5550100"}, {L"key call"},
         {kSignal, L"ShowNumber(\"5550100\")"}, {L"Type 5550100", L"Call", L"Show"}, L"", kCallReady, -1},
        {"a link called at once", kOther, {}, {L"link-now 555"}, {L"ShowNumber(\"555\")"}, {L"Type 555", L"Call"},
         L"", kCallReady, -1},
        {"a link the number box did not take: nothing called", kOther, {L"typing refused"},
         {L"link 555", L"link-now 555", L"key redial"}, {}, {L"Type 555", L"Type 555"}, L"", kCallReady, -1},
        {"redial places a link's number", kOther, {L"link 555"}, {L"key redial"}, {L"ShowNumber(\"555\")"},
         {L"Type 555", L"Call", L"Show"}, L"", kCallReady, -1},
        {"redial calls the last number again", kOther, {L"dial 5550123", L"key call"}, {L"key redial"},
         {L"ShowNumber(\"5550123\")"}, {L"Type 5550123", L"Call", L"Show"}, L"", kCallReady, -1},
        {"a link the box did not take on Call stays ready: redial places it, not the last number", kOther,
         {L"dial 111", L"key call", L"link 555", L"typing refused", L"key call", L"typing taken"}, {L"key redial"},
         {L"ShowNumber(\"555\")"}, {L"Type 555", L"Call", L"Show"}, L"", kCallReady, -1},
        {"redial with nothing dialled calls nothing", kOther, {}, {L"key redial"}, {}, {}, L"", kCallReady, -1},
        {"redial after a link, a lift and a digit calls nothing: the box held more", kOther,
         {L"link 555", L"hook off", L"dial 9", L"key call"}, {L"key redial"}, {}, {}, L"", kCallReady, -1},
        {"a digit after a link: call calls the box as typed", kOther, {L"link 55"}, {L"key 1", L"key call"},
         {kSignal, L"ShowNumber(\"551\")", kSignal}, {L"Dial 49", L"Show", L"Call", L"Show"}, L"", kCallReady, -1},
        {"keys the table does not list", kOther, {L"dial 5"},
         {L"key 134", L"key 0x00", L"key -5", L"key A", L"key 200", L"key 32767", L"key 137"}, {},
         {L"Show", L"Show", L"Show", L"Show", L"Show", L"Show", L"Show"}, L"5", kCallReady, -1},
    };
    for (const PhoneScenario& scenario : cases)
        Run(scenario);
}

TEST_F(Keypad, ALongNumberIsKeptWholeAndShownWhole)
{
    Detect(kOther);
    std::wstring digits = L"0123456789012345678901234567890123456789";
    Step(L"dial " + digits);
    EXPECT_EQ(Device().m_strDial, digits);
    EXPECT_EQ(m_handset.m_display, digits);
    EXPECT_EQ(m_pRecorder->m_commands.size(), 2 * digits.size());
}

TEST_F(Keypad, CallStateGuard)
{
    const PhoneScenario cases[] = {
        {"CallIn: a digit signals and answers only", kOther, {L"dial 5", L"status CaIn"}, {L"key 7"}, {kSignal},
         {L"Acpt"}, L"5", kCallIn, -1},
        {"CallIn: hash answers", kOther, {L"status CaIn"}, {L"key #"}, {}, {L"Acpt"}, L"", kCallIn, -1},
        {"CallIn: up signals and answers", kOther, {L"status CaIn"}, {L"key up"}, {kSignal}, {L"Acpt"}, L"",
         kCallIn, -1},
        {"CallIn: delete answers", kOther, {L"dial 5", L"status CaIn"}, {L"key del"}, {}, {L"Acpt"}, L"5", kCallIn,
         -1},
        {"CallIn: an unlisted key answers", kOther, {L"status CaIn"}, {L"key 200"}, {}, {L"Acpt"}, L"", kCallIn,
         -1},
        {"CallIn: end refuses", kOther, {L"dial 5", L"status CaIn"}, {L"key end"}, {}, {L"Rfus"}, L"", kCallIn,
         -1},
        {"Talk: a digit is ignored, no signal", kOther, {L"dial 5", L"status Talk"}, {L"key 7"}, {}, {}, L"5",
         kCallTalk, -1},
        {"Talk: the call key is ignored, no signal", kOther, {L"status Talk"}, {L"key call"}, {}, {}, L"",
         kCallTalk, -1},
        {"Talk: 138 is ignored", kOther, {L"status Talk"}, {L"key 138", L"key #", L"key del"}, {}, {}, L"",
         kCallTalk, -1},
        {"Talk: end hangs up", kOther, {L"dial 5", L"status Talk"}, {L"key end"}, {}, {L"Hgup"}, L"", kCallTalk,
         -1},
        {"no call state (removed, still sending keys): as in Ready", kOther, {L"fire 1"}, {L"key 5"},
         {kSignal, L"ShowNumber(\"5\")"}, {L"Dial 53", L"Show"}, L"5", kCallNone, -1},
    };
    for (const PhoneScenario& scenario : cases)
        Run(scenario);
}

TEST_F(Keypad, PstnAdaptorGuard)
{
    const PhoneScenario cases[] = {
        {"a digit on the PSTN line", kPstn, {}, {L"key 5"}, {kSignal, L"GetLineChannel()=0"}, {}, L"PSTNDIAL",
         kCallReady, -1},
        {"hash on the PSTN line", kPstn, {}, {L"key #"}, {L"GetLineChannel()=0"}, {}, L"PSTNDIAL", kCallReady,
         -1},
        {"star on the PSTN line with no number blanks the display", kPstn, {}, {L"key *"},
         {L"GetLineChannel()=0", L"GetLineChannel()=0", L"ShowNumber(\"\")"}, {L"Show"}, L"", kCallReady, -1},
        {"star on the USB channel with no number returns to ready", kPstn, {L"channel 1"}, {L"key *"},
         {L"GetLineChannel()=1", L"GetLineChannel()=1", L"SetReady()"}, {L"Show"}, L"", kCallReady, -1},
        {"star after digits on the USB channel appends", kPstn, {L"channel 1", L"key 4"}, {L"key *"},
         {L"GetLineChannel()=1", L"ShowNumber(\"4*\")"}, {L"Dial 106", L"Show"}, L"4*", kCallReady, -1},
        {"a digit on the USB channel goes to the messenger", kPstn, {L"channel 1"}, {L"key 5"},
         {kSignal, L"GetLineChannel()=1", L"ShowNumber(\"5\")"}, {L"Dial 53", L"Show"}, L"5", kCallReady, -1},
        {"keys are ignored while the line rings", kPstn, {L"channel 1", L"ring on"}, {L"key 5", L"key end"},
         {kSignal, L"GetLineChannel()=1", L"GetLineChannel()=1"}, {}, L"", kCallReady, -1},
        {"keys are ignored during a PSTN call on the line", kPstn, {L"ring on", L"hook off"}, {L"key 5", L"key *"},
         {kSignal, L"GetLineChannel()=0", L"GetLineChannel()=0"}, {}, L"PSTNTALK", kCallReady, -1},
        {"Talk on the USB channel: a digit is ignored", kPstn, {L"channel 1", L"status Talk"}, {L"key 5"},
         {L"GetLineChannel()=1"}, {}, L"", kCallTalk, -1},
        {"a link on the PSTN line types nothing", kPstn, {L"key 5"}, {L"link 555"}, {L"GetLineChannel()=0"}, {},
         L"PSTNDIAL", kCallReady, -1},
        {"CallIn on the USB channel: a digit answers", kPstn, {L"channel 1", L"status CaIn"}, {L"key 5"},
         {kSignal, L"GetLineChannel()=1"}, {L"Acpt"}, L"", kCallIn, -1},
    };
    for (const PhoneScenario& scenario : cases)
        Run(scenario);
}

// A marker in the dial buffer is not part of a number: it is never shown on
// the handset with digits after it, nor edited character by character.
TEST_F(Keypad, DialMarkersAreNotNumbers)
{
    const PhoneScenario cases[] = {
        {"a digit after dialling on the PSTN line starts a new number", kPstn, {L"key 5", L"channel 1"},
         {L"key 7"}, {kSignal, L"GetLineChannel()=1", L"ShowNumber(\"7\")"}, {L"Dial 55", L"Show"}, L"7",
         kCallReady, -1},
        {"star after dialling on the PSTN line acts as on no number", kPstn, {L"key 5", L"channel 1"}, {L"key *"},
         {L"GetLineChannel()=1", L"GetLineChannel()=1", L"SetReady()"}, {L"Show"}, L"PSTNDIAL", kCallReady, -1},
        {"delete after dialling on the PSTN line acts as on no number", kPstn, {L"key 5", L"channel 1"},
         {L"key del"}, {L"GetLineChannel()=1", L"SetReady()"}, {L"KyOu", L"Show"}, L"PSTNDIAL", kCallReady, -1},
        {"a digit on the USB channel during a PSTN call starts a new number", kPstn,
         {L"ring on", L"hook off", L"channel 1"}, {L"key 7"},
         {kSignal, L"GetLineChannel()=1", L"ShowNumber(\"7\")"}, {L"Dial 55", L"Show"}, L"7", kCallReady, -1},
        {"delete on the USB channel keeps the PSTN call", kPstn, {L"ring on", L"hook off", L"channel 1"},
         {L"key del"}, {L"GetLineChannel()=1", L"SetReady()"}, {L"KyOu", L"Show"}, L"PSTNTALK", kCallReady, -1},
        {"star on the PSTN line after dialling there blanks the display and types nothing", kPstn, {L"key 5"},
         {L"key *"}, {L"GetLineChannel()=0", L"GetLineChannel()=0", L"ShowNumber(\"\")"}, {L"Show"}, L"PSTNDIAL",
         kCallReady, -1},
    };
    for (const PhoneScenario& scenario : cases)
        Run(scenario);
}

TEST_F(Keypad, MarkerLeftByAPstnAdaptorIsNotShownOnTheNextHandset)
{
    Detect(kPstn);
    Step(L"key 5");
    ASSERT_EQ(Device().m_strDial, L"PSTNDIAL");
    // The adaptor is swapped for a handset that is not an adaptor; the dial
    // buffer survives the removal.
    m_handset.m_model = 256;
    Step(L"fire 1");
    RunDetectionTimer();
    ASSERT_EQ(Device().m_nModel, 256u);
    ClearRecords();
    Step(L"key 3");
    EXPECT_EQ(m_handset.m_journal, (std::vector<std::wstring>{kSignal, L"ShowNumber(\"3\")"}));
    EXPECT_EQ(Device().m_strDial, L"3");
}

TEST_F(Keypad, HandsFreeKeyByFamily)
{
    const PhoneScenario cases[] = {
        {"hands-free resting in Ready: on, blank display", kHandsFree, {L"dial 5"}, {L"key hf"},
         {L"SetHandsFree(1)", L"ShowNumber(\"\")"}, {L"Show"}, L"", kCallReady, 1},
        {"hands-free resting in Ready: off again hides", kHandsFree, {L"key hf"}, {L"key hf"}, {L"SetReady()"},
         {L"Hide"}, L"", kCallReady, 0},
        {"hands-free resting in CallIn: on answers", kHandsFree, {L"status CaIn"}, {L"key hf"},
         {L"SetHandsFree(1)"}, {L"Acpt", L"Show"}, L"", kCallIn, 1},
        {"hands-free resting in CallIn: off refuses", kHandsFree, {L"key hf", L"status CaIn"}, {L"key hf"}, {},
         {L"Rfus"}, L"", kCallIn, 0},
        {"hands-free resting in Talk: off hangs up", kHandsFree, {L"status Talk"}, {L"key hf"}, {}, {L"Hgup"}, L"",
         kCallTalk, 0},
        {"hands-free lifted: on switches nothing", kHandsFree, {L"hook off"}, {L"key hf"}, {}, {L"Show"}, L"",
         kCallReady, 1},
        {"hands-free lifted: off sends nothing", kHandsFree, {L"hook off", L"key hf"}, {L"key hf"}, {}, {}, L"",
         kCallReady, 0},
        {"speaker in its cradle in Ready: on", kSpeaker, {}, {L"key hf"}, {L"SetSpeaker(TRUE)"}, {L"Show"}, L"",
         kCallReady, 1},
        {"speaker in its cradle: off hides", kSpeaker, {L"key hf"}, {L"key hf"}, {L"SetReady()"}, {L"Hide"}, L"",
         kCallReady, 0},
        {"speaker in its cradle in CallIn: on answers", kSpeaker, {L"status CaIn"}, {L"key hf"},
         {L"SetSpeaker(TRUE)"}, {L"Acpt", L"Show"}, L"", kCallIn, 1},
        {"speaker in its cradle in Talk: off hangs up", kSpeaker, {L"status Talk"}, {L"key hf"}, {}, {L"Hgup"},
         L"", kCallTalk, 0},
        {"speaker out of its cradle: on switches nothing", kSpeaker, {L"cradle out"}, {L"key hf"}, {}, {L"Show"},
         L"", kCallReady, 1},
        {"speaker out of its cradle: off sends nothing", kSpeaker, {L"cradle out", L"key hf"}, {L"key hf"}, {}, {},
         L"", kCallReady, 0},
        {"other model: on switches nothing", kOther, {L"dial 5"}, {L"key hf"}, {}, {L"Show"}, L"", kCallReady, 1},
        {"other model: off hides", kOther, {L"key hf"}, {L"key hf"}, {L"SetReady()"}, {L"Hide"}, L"", kCallReady,
         0},
        {"other model in CallIn: on sends Show only", kOther, {L"status CaIn"}, {L"key hf"}, {}, {L"Show"}, L"",
         kCallIn, 1},
    };
    for (const PhoneScenario& scenario : cases)
        Run(scenario);
}
