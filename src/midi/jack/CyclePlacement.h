#pragma once

#include <algorithm>
#include <cstdint>

#include "common/StampedQueue.h"

// One cycle of a JACK graph: writes each pending message whose frame falls before the cycle's
// end at its offset in the cycle, a message already overdue at offset 0, in stamp order; later
// ones wait for their cycle. frameOf maps a stamp to the frame it is due at (frames wrap, so
// offsets are taken as differences); write returns false when the cycle's buffer is full, and
// what it could not take waits for the next cycle.
template <class FrameOf, class Write>
void placeDueMessages(StampedQueue& queue, uint32_t cycleStart, uint32_t frames, FrameOf frameOf,
                      Write write) {
    queue.collect();
    size_t placed = 0;
    for (const StampedQueue::Entry& entry : queue.pending()) {
        const auto offset =
            static_cast<int32_t>(static_cast<uint32_t>(frameOf(entry.stamp)) - cycleStart);
        if (offset >= static_cast<int64_t>(frames) ||
            !write(static_cast<uint32_t>(std::max(offset, int32_t{0})), entry.message)) {
            break;
        }
        ++placed;
    }
    queue.dropFront(placed);
}
