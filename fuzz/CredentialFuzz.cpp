// What a local file or a slot's bytes are to the credential checks, on arbitrary input of up
// to 6144 bytes: PEM of any blocks in any order, DER, or neither.

#include <openssl/err.h>

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "certs/Credential.h"
#include "certs/CredentialChecks.h"
#include "engine/SlotTable.h"

namespace {

void Check(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "credential invariant broken: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > SLOT_BUFFER_SIZE) return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const Credential read = ReadCredential(bytes);
    Check(ERR_peek_error() == 0, "an OpenSSL error was left behind");
    Check((read.kind == Credential::Empty) == bytes.isEmpty(), "empty exactly for no bytes");
    Check((read.certificate != nullptr) == (read.kind == Credential::Certificate),
          "a certificate exactly for the certificate kind");
    Check((read.key != nullptr) == (read.kind == Credential::PrivateKey),
          "a key exactly for the key kind");
    // A certificate whose public key does not decode has none to name.
    Check(read.algorithm.isEmpty() != (read.kind == Credential::PrivateKey) ||
              read.kind == Credential::Certificate,
          "an algorithm for every key, and none but for a certificate or a key");
    Check(read.holdsPrivateKey || (read.kind != Credential::PrivateKey &&
                                   read.kind != Credential::EncryptedKey),
          "a key's bytes hold a key");

    const Credential again = ReadCredential(bytes);
    Check(again.kind == read.kind && again.holdsPrivateKey == read.holdsPrivateKey &&
              again.algorithm == read.algorithm,
          "the same bytes always read the same");

    // In every slot it could be given to, each problem is one line naming that slot.
    for (const int slot : {SLOT_SERVER_CERTIFICATE, SLOT_SERVER_KEY, 2}) {
        CredentialSlots slots;
        slots[static_cast<size_t>(slot)] = bytes;
        const auto problems =
            CheckCredentials(slots, SlotMask().set(static_cast<size_t>(slot)), std::time(nullptr));
        for (const CredentialProblem& problem : problems) {
            Check(!problem.slots.empty() && !problem.message.isEmpty() &&
                      !problem.message.contains(u'\n'),
                  "a problem names its slots in one line");
        }
        Check(ERR_peek_error() == 0, "an OpenSSL error was left behind by the checks");
    }
    return 0;
}
