// The one queue corvane-snap's threads hand work through: items (pointers to
// the caller's own records) in the order they were put, taken by whoever
// waits. The producers and consumers are the drivers' (export, compare,
// framemd5); the queue knows nothing of what it carries.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>

struct WorkQueue {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<void*> items;
    bool closed = false; // nothing more will be put
};

// Adds `item` at the end and wakes one taker. Never blocks: a queue holds at
// most the records its driver made, so it is bounded by them.
void queuePut(WorkQueue* queue, void* item);
// The first item, waiting for one; nullptr once the queue is closed and empty.
void* queueTake(WorkQueue* queue);
// Says nothing more will be put: takers drain what is left, then get nullptr.
void queueClose(WorkQueue* queue);
