#pragma once
// Exit codes of quillbank-cli. 0-10 keep the meaning they have always had.

enum CliExit : int {
    CLI_OK = 0,
    CLI_CANCELLED = 1,         // a confirmation was declined
    CLI_USAGE = 2,             // bad command line, or a manifest that asks for the impossible
    CLI_NO_DEVICE = 3,         // no matching device present
    CLI_SEVERAL_DEVICES = 4,   // more than one, and no --port
    CLI_PORT_FAILED = 5,       // the port could not be opened or set up
    CLI_REFUSED = 6,           // the device refused or answered out of order
    CLI_TIMEOUT = 7,           // no progress within --timeout seconds
    CLI_LOCAL_FILE = 8,        // a local file or folder could not be read, written or is too large
    CLI_EMPTY_SLOT = 9,        // read: the slot holds nothing
    CLI_CONNECTION_LOST = 10,  // the port failed while connected (device unplugged)
    CLI_VERIFY_MISMATCH = 11,  // a written slot read back differs from its file
    CLI_EXPIRING = 12,         // check: a certificate has expired or expires within --days
    CLI_CREDENTIALS = 13,      // apply, restore, check: the key, certificates or chain would fail
    CLI_NOT_IN_JOB = 14,       // several devices: a device the job does not name, or one it
                               // names that is not plugged in
    CLI_STOPPED = 128,         // + N: stopped by signal N (see StopSignals.h)
};
