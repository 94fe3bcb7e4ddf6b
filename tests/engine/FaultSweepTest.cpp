// A fault at every frame: for the slot load, a Read, a Write of a full slot and a Remove,
// the device's answer to each command of the flow in turn is damaged in each way a line or
// a device damages answers. Whatever the fault, the engine ends in an outcome the flows
// define, no slot copy holds bytes of another slot, the local file is closed and no
// descriptor is left open (the sanitizer build also reports any leak).

#ifdef _WIN32
#include <io.h>
#else
#include <dirent.h>
#endif

#include <cstdint>
#include <string>
#include <vector>

#include <QDir>
#include <QFileInfo>

#include "AnswerDamage.h"
#include "EngineHarness.h"

namespace {

enum class Fault { NoAnswer, Vanish, Garbage, BadChecksum, Split, Refusal, OddData, LongData };
enum class Flow { Load, Read, Write, Remove };
// What the flow comes to. Waits: the engine keeps waiting (no time-outs) until the user
// disconnects. Lost: the read-failure limit disconnects.
enum class Outcome { Completes, SkipsSlot, Refused, CommandError, Waits, Lost };

const char* Name(Fault fault) {
    static const char* const names[] = {"no answer", "vanish",  "garbage before", "bad checksum",
                                        "split",     "refusal", "odd DATA",       "over-long DATA"};
    return names[static_cast<int>(fault)];
}
const char* Name(Flow flow) {
    static const char* const names[] = {"load", "Read", "Write", "Remove"};
    return names[static_cast<int>(flow)];
}

constexpr Fault kFaults[] = {Fault::NoAnswer, Fault::Vanish,  Fault::Garbage, Fault::BadChecksum,
                             Fault::Split,    Fault::Refusal, Fault::OddData, Fault::LongData};
constexpr Flow kFlows[] = {Flow::Load, Flow::Read, Flow::Write, Flow::Remove};

// Slots 0, 1 and 4 hold data (slot 4 a full slot, read in six pieces); 12 to 14 refuse to
// open; the rest are empty. Each slot's bytes are its own, so a piece stored in the wrong
// slot cannot pass for a right one.
constexpr int kReadSlot = 4;
constexpr int kWriteSlot = 0;
constexpr int kRemoveSlot = 1;

std::vector<std::uint8_t> Content(int slot) {
    const size_t sizes[SLOT_COUNT] = {700, 1218, 0, 0, SLOT_BUFFER_SIZE};
    std::vector<std::uint8_t> bytes(slot < 5 ? sizes[slot] : 0);
    std::uint32_t state = 2166136261u ^ static_cast<std::uint32_t>(slot * 977);
    for (std::uint8_t& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

std::vector<std::uint8_t> Upload() {
    std::vector<std::uint8_t> bytes = Content(kReadSlot);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(b ^ 0x5A);
    return bytes;
}

// --- Damage to one answer ------------------------------------------------------------------

std::string Body(const std::string& answer) {
    return answer.substr(0, answer.find("SUM:"));
}

// The body with its DATA field set to `digits` (added when the answer has none).
std::string WithData(std::string body, const std::string& digits) {
    const size_t at = body.find("DATA:");
    if (at == std::string::npos) return body + "DATA:" + digits + ",";
    const size_t end = body.find(',', at);
    return body.replace(at + 5, end - at - 5, digits);
}

std::string DataOf(const std::string& body) {
    const size_t at = body.find("DATA:");
    if (at == std::string::npos) return {};
    return body.substr(at + 5, body.find(',', at) - at - 5);
}

void Damage(Fault fault, std::vector<std::string>& reads, FakeLine& line) {
    const std::string answer = reads.front();
    const std::string body = Body(answer);
    switch (fault) {
        case Fault::NoAnswer:
            reads.clear();
            break;
        case Fault::Vanish:
            reads.clear();
            line.unplugged = true;
            break;
        case Fault::Garbage:
            reads = {AnswerDamage::WithGarbageBefore(answer)};
            break;
        case Fault::BadChecksum:
            reads = {AnswerDamage::WithBadChecksum(body)};
            break;
        case Fault::Split: {
            auto [first, second] = AnswerDamage::InHalves(answer);
            reads = {std::move(first), std::move(second)};
            break;
        }
        case Fault::Refusal: {
            std::string refused = body;
            if (const size_t at = refused.find("RES:OK,"); at != std::string::npos)
                refused.replace(at, 7, "RES:NG,");
            reads = {ScriptedDevice::WithSum(refused)};
            break;
        }
        case Fault::OddData:
            reads = {
                ScriptedDevice::WithSum(WithData(body, AnswerDamage::OddDigits(DataOf(body))))};
            break;
        case Fault::LongData:
            reads = {
                ScriptedDevice::WithSum(WithData(body, AnswerDamage::LongDigits(DataOf(body))))};
            break;
    }
}

Outcome Expected(Fault fault, const std::string& code, Flow flow) {
    switch (fault) {
        case Fault::NoAnswer:
        case Fault::BadChecksum:
            return Outcome::Waits;
        case Fault::Vanish:
            return Outcome::Lost;
        case Fault::Garbage:
        case Fault::Split:
            return Outcome::Completes;
        case Fault::OddData:
        case Fault::LongData:
            return code == "9030" ? Outcome::CommandError : Outcome::Completes;
        case Fault::Refusal:
            break;
    }
    if (code == "9330") return flow == Flow::Load ? Outcome::SkipsSlot : Outcome::Refused;
    if (code == "9030") return Outcome::Waits;  // a read answer that is not OK is no answer
    if (code == "9130" || code == "9530") return Outcome::Refused;
    // Only "Success Close" saves what a Read fetched.
    if (code == "9430" && flow == Flow::Read) return Outcome::Refused;
    return Outcome::Completes;  // connect is taken on CMD alone; a refused close still ends
}

#ifdef _WIN32
// The C runtime's open descriptors (the process handle count is not kept under wine).
int OpenDescriptors() {
    int count = 0;
    for (int fd = 0; fd < 2048; ++fd)
        if (_get_osfhandle(fd) != -1) ++count;
    return count;
}
#else
int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir) != nullptr) ++count;
        ::closedir(dir);
    }
    return count;
}
#endif

bool IsPrefix(const std::vector<std::uint8_t>& part, const std::vector<std::uint8_t>& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// --- One flow with one fault ---------------------------------------------------------------

class SweepRig : public EngineRig {
public:
    SweepRig() {
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            device.slots[static_cast<size_t>(slot)] = Content(slot);
        device.refuseOpen = {12, 13, 14};
        uploadPath = MakeLocalFile("upload.crt", Upload());
        savePath = LocalPath("saved.crt");
    }

    void Start(Flow flow) {
        switch (flow) {
            case Flow::Load:
                static_cast<void>(engine.IsPortOpen() ? engine.RequestDisconnect() : engine.RequestConnect());
                break;
            case Flow::Read:
                RequestRead(kReadSlot, savePath);
                break;
            case Flow::Write:
                RequestWrite(kWriteSlot, uploadPath);
                break;
            case Flow::Remove:
                RequestRemove(kRemoveSlot);
                break;
        }
    }
    // Ticks until the flow is over (READY or CLOSED); a waiting engine is given plenty.
    void RunFlow() {
        for (int ticks = 0; ticks < 400; ++ticks) {
            Tick();
            if (engine.State() == STATE_READY || engine.State() == STATE_CLOSED) return;
        }
    }

    std::string uploadPath;
    std::string savePath;
};

void ExpectReleased(const SweepRig& rig) {
    EXPECT_EQ(rig.engine.State(), STATE_CLOSED);
    EXPECT_FALSE(rig.engine.IsPortOpen());
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        EXPECT_EQ(rig.engine.SlotStatus(slot), SLOT_PENDING);
        EXPECT_FALSE(rig.engine.SlotHasBuffer(slot));
    }
}

// The load's result: every slot done and complete, except that a skipped slot is done and
// empty, and a command error leaves the slot it hit and those after it pending.
void ExpectLoad(const SweepRig& rig, Outcome outcome, int faultSlot) {
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        SCOPED_TRACE(slot);
        if (outcome == Outcome::CommandError && slot >= faultSlot) {
            EXPECT_EQ(rig.engine.SlotStatus(slot), SLOT_PENDING);
            continue;
        }
        EXPECT_EQ(rig.engine.SlotStatus(slot), SLOT_DONE);
        if (outcome == Outcome::SkipsSlot && slot == faultSlot) {
            EXPECT_EQ(rig.engine.SlotSize(slot), 0);
        } else {
            EXPECT_EQ(rig.SlotBytes(slot), Content(slot));
        }
    }
}

void ExpectResult(const SweepRig& rig, Flow flow, Outcome outcome, int faultSlot,
                  const std::vector<std::uint8_t>& before) {
    EXPECT_EQ(rig.engine.State(), STATE_READY);
    const std::vector<std::uint8_t> saved = EngineRig::ReadLocalFile(rig.savePath);
    switch (flow) {
        case Flow::Load:
            ExpectLoad(rig, outcome, faultSlot);
            break;
        case Flow::Read:
            // Saved whole, or no file at all and the slot's copy as it was before the Read.
            if (outcome == Outcome::Completes) {
                EXPECT_EQ(saved, Content(kReadSlot));
                EXPECT_EQ(rig.SlotBytes(kReadSlot), Content(kReadSlot));
            } else {
                EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(rig.savePath)));
                EXPECT_EQ(rig.SlotBytes(kReadSlot), before);
            }
            EXPECT_EQ(QDir(rig.folder.path()).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".saved.crt")),
                      QStringList());
            break;
        case Flow::Write:
            EXPECT_EQ(rig.SlotBytes(kWriteSlot), outcome == Outcome::Completes ? Upload() : before);
            if (outcome == Outcome::Completes) {
                EXPECT_EQ(rig.device.slots[kWriteSlot], Upload());
            }
            break;
        case Flow::Remove:
            EXPECT_EQ(rig.SlotBytes(kRemoveSlot),
                      outcome == Outcome::Completes ? std::vector<std::uint8_t>{} : before);
            break;
    }
}

// Counts the commands of a flow without faults, and checks that it completes.
size_t CleanFrames(Flow flow) {
    SweepRig rig;
    if (flow != Flow::Load) rig.ConnectAndLoad();
    const size_t first = rig.device.received.size();
    rig.Start(flow);
    rig.RunFlow();
    ExpectResult(rig, flow, Outcome::Completes, -1, {});
    rig.ExpectFramesAccepted();
    return rig.device.received.size() - first;
}

void Sweep(Flow flow, Fault fault, size_t frame) {
    SweepRig rig;
    ASSERT_TRUE(rig.folder.isValid());
    if (flow != Flow::Load) rig.ConnectAndLoad();
    const int targetSlot = flow == Flow::Write  ? kWriteSlot
                           : flow == Flow::Read ? kReadSlot
                                                : kRemoveSlot;
    const std::vector<std::uint8_t> before = rig.SlotBytes(targetSlot);
    const size_t faulted = rig.device.received.size() + frame;
    std::string code;
    int faultSlot = -1;
    rig.device.alterAnswer = [&](const ScriptedDevice::Command& command,
                                 std::vector<std::string>& reads) {
        if (rig.device.received.size() - 1 != faulted) return;
        code = command.code;
        faultSlot = command.pos & 0x7F;
        Damage(fault, reads, *rig.ports.line);
    };
    const int descriptors = OpenDescriptors();

    rig.Start(flow);
    rig.RunFlow();
    ASSERT_FALSE(code.empty()) << "the flow ended before frame " << frame;
    const Outcome outcome = Expected(fault, code, flow);
    SCOPED_TRACE(::testing::Message() << "answer to " << code << " (slot " << faultSlot << ")");

    if (outcome == Outcome::Waits) {
        // Still waiting for the answer, and nothing sent after the command it lost.
        EXPECT_NE(rig.engine.State(), STATE_READY);
        EXPECT_NE(rig.engine.State(), STATE_CLOSED);
        EXPECT_EQ(rig.device.received.size(), faulted + 1);
        static_cast<void>(rig.engine.IsPortOpen() ? rig.engine.RequestDisconnect() : rig.engine.RequestConnect());  // the user gives up: disconnect
        rig.Tick();
    }
    if (outcome == Outcome::Waits || outcome == Outcome::Lost) {
        ExpectReleased(rig);
    } else {
        ExpectResult(rig, flow, outcome, faultSlot, before);
    }

    // Whatever happened: no slot holds bytes of another slot (a copy is all or the start
    // of its own slot, or the uploaded file), no local file is left open.
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const std::vector<std::uint8_t> copy = rig.SlotBytes(slot);
        const bool uploaded = flow == Flow::Write && slot == kWriteSlot && copy == Upload();
        EXPECT_TRUE(uploaded || IsPrefix(copy, Content(slot))) << "slot " << slot;
    }
    EXPECT_FALSE(rig.engine.ReadTargetOpen());
    EXPECT_FALSE(rig.engine.WriteSourceOpen());
    EXPECT_EQ(OpenDescriptors(), descriptors);
    rig.ExpectFramesAccepted();
}

TEST(FaultSweep, EveryFaultAtEveryFrameOfEveryFlowEndsAsTheFlowsDefine) {
    for (const Flow flow : kFlows) {
        const size_t frames = CleanFrames(flow);
        ASSERT_GT(frames, 0u) << Name(flow);
        for (const Fault fault : kFaults) {
            for (size_t frame = 0; frame < frames; ++frame) {
                SCOPED_TRACE(::testing::Message()
                             << Name(flow) << ", " << Name(fault) << " at frame " << frame);
                Sweep(flow, fault, frame);
                if (::testing::Test::HasFatalFailure()) return;
            }
        }
    }
}

}  // namespace
