#pragma once
// For tests, the fuzz target and benchmarks: puts an engine where a script would have brought
// it, without running the script. The program itself never uses it. Each operation leaves
// what some run of requests, steps and device answers could leave behind, except that a slot
// record may also be given one no device produces, for the views that must cope with any.

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "engine/SlotEngine.h"

struct EngineSetup {
    // The slot's copy is a buffer of its own holding `bytes` (none is still a buffer), their
    // count its size, with `status`.
    static void PreloadSlot(CSlotEngine& engine, int slot, std::span<const std::uint8_t> bytes,
                            int status = SLOT_DONE);
    // The slot's record exactly as given: with no buffer, or a size its buffer does not hold.
    static void PreloadSlot(CSlotEngine& engine, int slot, FileSlot record);
    // The engine in `state` (any number, even one outside the table) with `slot` current.
    static void PutInState(CSlotEngine& engine, int state, int slot);
    // `bytes` behind those already held, as the receive pump would have put them there.
    static void FeedReceived(CSlotEngine& engine, std::string_view bytes);
    // Nothing held: the receive buffer all NUL.
    static void ClearReceived(CSlotEngine& engine);
    // The engine holds `port` as its open port, without the connect exchange; none: the port
    // has gone.
    static void AttachPort(CSlotEngine& engine, std::unique_ptr<CommPort> port);
    // The next command carries `count` as its CNT.
    static void ContinueSequence(CSlotEngine& engine, int count);
    // The running Read saves into `target`; none: its file is closed.
    static void AttachReadTarget(CSlotEngine& engine, ReadTarget target);
    // The running Write reads from `source` (none: its file is closed), `total` bytes in all.
    static void AttachWriteSource(CSlotEngine& engine, LocalFile source, std::uint32_t total);
    // The last accepted read answer announced `total` bytes (PALL).
    static void AnnounceTotal(CSlotEngine& engine, std::uint32_t total);
    // The process has seen `count` failed port reads.
    static void CountReadErrors(int count);
};
