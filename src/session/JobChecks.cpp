#include "session/JobChecks.h"

#include <ctime>

namespace {
void TakeLoaded(CredentialSlots& slots, const CliSession& session) {
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        auto& bytes = slots[static_cast<size_t>(slot)];
        if (!bytes && session.Loaded(slot)) bytes = session.SlotCopy(slot);
    }
}
}  // namespace

JobCredentials PlanCredentials(const std::vector<ApplyStep>& steps) {
    JobCredentials job;
    for (const ApplyStep& step : steps) {
        const size_t slot = static_cast<size_t>(step.slot);
        job.slots[slot] = step.action == ApplyStep::Write ? step.bytes : QByteArray();
        job.touched.set(slot);
    }
    return job;
}

SlotSet SlotsToLoad(const JobCredentials& job) {
    return SlotsTheChecksNeed(job.slots, job.touched);
}

SessionResult LoadForChecks(const JobCredentials& job, CliSession& session) {
    for (;;) {
        CredentialSlots known = job.slots;
        TakeLoaded(known, session);
        const SlotMask more = SlotsTheChecksNeed(known, job.touched);
        if (more.none()) return {};
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            if (more.test(static_cast<size_t>(slot)))
                if (const SessionResult loaded = session.Load(slot); !loaded.ok()) return loaded;
    }
}

std::vector<CredentialProblem> CheckJobAlone(const JobCredentials& job) {
    return CheckCredentials(job.slots, job.touched, std::time(nullptr));
}

std::vector<CredentialProblem> CheckJob(JobCredentials job, const CliSession& session) {
    TakeLoaded(job.slots, session);
    return CheckCredentials(job.slots, job.touched, std::time(nullptr));
}

std::vector<CredentialProblem> CheckDevice(const CliSession& session) {
    CredentialSlots slots;
    TakeLoaded(slots, session);
    return CheckCredentials(slots, SlotMask().set(), std::time(nullptr));
}
