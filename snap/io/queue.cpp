#include "snap/io/queue.h"

void queuePut(WorkQueue* queue, void* item) {
    {
        std::lock_guard<std::mutex> hold(queue->lock);
        queue->items.push_back(item);
    }
    queue->changed.notify_one();
}

void* queueTake(WorkQueue* queue) {
    std::unique_lock<std::mutex> hold(queue->lock);
    queue->changed.wait(hold, [&] { return !queue->items.empty() || queue->closed; });
    if (queue->items.empty()) return nullptr;
    void* item = queue->items.front();
    queue->items.pop_front();
    return item;
}

void queueClose(WorkQueue* queue) {
    {
        std::lock_guard<std::mutex> hold(queue->lock);
        queue->closed = true;
    }
    queue->changed.notify_all();
}
