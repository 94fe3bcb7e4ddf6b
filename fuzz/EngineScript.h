#pragma once
// The slot engine driven by a script of receive ticks, for the engine fuzz target. The
// script is text, one line per tick (receive, then one engine step); what a line starts
// with says what arrives from the device in that tick:
//
//   +        the in-memory device's own answer to the oldest command it has not yet had
//            delivered (the device keeps fifteen slots and answers every command it is sent)
//   +N       only the first N bytes of that answer; the rest stays for a later "+"
//   *        "+" tick after tick until the engine is idle again (at most 600 ticks)
//   =BODY    BODY followed by its correct "SUM:%02X" field and CR LF
//   !        the read of this tick fails (a hang-up)
//   .        nothing arrives (an empty line too)
//   @c @d    the user presses Connect / Disconnect (taken when the button would act)
//   @f       the next port opens fail, or open again
//   @rS      Read slot S into a local file     (taken in STATE_READY, like the button)
//   @wS N    Write an N-byte local file to S   (taken in STATE_READY)
//   @xS      Remove slot S                     (taken in STATE_READY)
//   %P A B…  the device now answers reads with P bytes and holds A bytes in slot 0, …
//   other    the line itself, its line feed included, arrives as raw bytes
//
// The engine is asked to connect before the first line. An input runs for 1500 ticks at
// the most; lines after that are not run. After every step the invariants
// the flows promise are checked and a broken one aborts (a finding); at the end the user
// disconnects and everything must have been given back.

#include <cstddef>
#include <cstdint>

void RunEngineScript(const std::uint8_t* data, std::size_t size);
