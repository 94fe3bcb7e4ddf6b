#pragma once
// The credential checks of a command: over the set the device will hold after a job (its
// files and removals, and the device's bytes of the slots it leaves alone that the checks
// need), or over what the device holds.

#include <vector>

#include "certs/CredentialChecks.h"
#include "session/ApplyPlan.h"
#include "session/CliSession.h"

struct JobCredentials {
    CredentialSlots slots;  // what the touched slots will hold; the others not known yet
    SlotMask touched;
};

JobCredentials PlanCredentials(const std::vector<ApplyStep>& steps);

// The device slots to load with the connection for the checks of `job`.
SlotSet SlotsToLoad(const JobCredentials& job);
// Loads the device slots the checks turn out to need once those are known (slot 0's issuer
// among slots 2-14).
SessionResult LoadForChecks(const JobCredentials& job, CliSession& session);

// The problems the job's own files show whatever the device holds (the checks that need
// the device's slots are left for CheckJob).
std::vector<CredentialProblem> CheckJobAlone(const JobCredentials& job);

// Takes the device's bytes of the untouched slots the session loaded, then checks.
std::vector<CredentialProblem> CheckJob(JobCredentials job, const CliSession& session);

// Checks every slot the session loaded, as the device holds them.
std::vector<CredentialProblem> CheckDevice(const CliSession& session);
