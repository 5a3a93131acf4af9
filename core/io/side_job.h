// One job run on a second thread while the calling thread does another, for the steps that
// split into two halves writing apart (loading the idiom files beside dic.data, the idiom
// holders beside the hash index, the small files of a save beside dic.data). Costs one thread
// start and join, some tens of microseconds: worth it only for halves far longer than that.
#pragma once

#include <functional>

namespace tsugihagi {

// Runs `side` on a new thread and `here` on the calling one, and returns when both ended.
// An exception from `here` propagates once `side` has ended (any from `side` is then lost);
// otherwise one from `side` is rethrown on the calling thread.
// REQUIRES: `side` and `here` touch no object both of them write, nor one that either writes
// and the other reads, without their own synchronisation; the thread's start and end order
// every access before and after the call.
void run_beside(const std::function<void()>& side, const std::function<void()>& here);

}  // namespace tsugihagi
