#pragma once
// Whether a set of slots makes credentials the device can use at its first TLS handshake:
// slot 0 the server certificate, slot 1 its private key, slots 2-14 further certificates
// (the authorities it trusts, intermediates). Pure functions over the slots' bytes.
//
// Only the checks that involve a slot in `touched` run (for `check`, every slot): the
// content of each touched slot; the key against the certificate when slot 0 or 1 is
// written; the server certificate's dates when slot 0 is written (a further certificate's when it
// is); its issuer and repeated certificates when slot 0 is written or any of slots 2-14 is touched.
// An empty slot 0 or 1 has nothing to compare. A slot whose bytes are not known is left out of
// every check, and the issuer is judged only when all of slots 2-14 are known.

#include <QByteArray>
#include <QString>
#include <array>
#include <bitset>
#include <ctime>
#include <optional>
#include <vector>

#include "engine/SlotTable.h"

using SlotMask = std::bitset<SLOT_COUNT>;
// The bytes each slot will hold; nothing where they are not known.
using CredentialSlots = std::array<std::optional<QByteArray>, SLOT_COUNT>;

// Stable codes, listed in the README.
inline constexpr char PROBLEM_KEY_MISMATCH[] = "key-mismatch";
inline constexpr char PROBLEM_KEY_ENCRYPTED[] = "key-encrypted";
inline constexpr char PROBLEM_NOT_A_KEY[] = "not-a-key";
inline constexpr char PROBLEM_KEY_IN_CERTIFICATE_SLOT[] = "key-in-certificate-slot";
inline constexpr char PROBLEM_NOT_A_CERTIFICATE[] = "not-a-certificate";
inline constexpr char PROBLEM_CERTIFICATE_EXPIRED[] = "certificate-expired";
inline constexpr char PROBLEM_CERTIFICATE_NOT_YET_VALID[] = "certificate-not-yet-valid";
inline constexpr char PROBLEM_ISSUER_SIGNATURE_INVALID[] = "issuer-signature-invalid";
inline constexpr char PROBLEM_ISSUER_MISSING[] = "issuer-missing";
inline constexpr char PROBLEM_DUPLICATE_CERTIFICATE[] = "duplicate-certificate";

struct CredentialProblem {
    enum Severity { Error, Warning };
    std::vector<int> slots;  // ascending
    Severity severity = Error;
    QString code;
    QString message;  // one line
};

// The slots not known in `slots` whose bytes an error of the checks of `touched` may depend
// on, given what is known: the other half of a written key pair; for slot 0's issuer, slot 0
// first, then slots 2-14 unless a known one verifies it. Load them and ask again until none
// is left. Warnings (a missing issuer, a repeated certificate) never cost a read: they are
// judged over what is known.
SlotMask SlotsTheChecksNeed(const CredentialSlots& slots, const SlotMask& touched);

// The problems of the set, in slot order of their first slot; `now` judges the dates.
std::vector<CredentialProblem> CheckCredentials(const CredentialSlots& slots,
                                                const SlotMask& touched, std::time_t now);

int ErrorCount(const std::vector<CredentialProblem>& problems);

struct Credential;

// For files that are in no slot (`summary`): each encrypted key, each key that belongs to
// none of the certificates among them when there is one, and each certificate outside its
// dates at `now` (a warning). `slots` holds positions in `items`.
std::vector<CredentialProblem> CheckLooseCredentials(const std::vector<Credential>& items,
                                                     std::time_t now);
