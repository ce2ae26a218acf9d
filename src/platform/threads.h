// Threads: the processor count, worker threads and a blocking message queue
// (the "wait for any" of the job driver). Everything the engine needs from the
// system's threading goes through here.
#pragma once

#include <cstdint>

namespace tv::platform {

// Processors this process may run on, as the system reports them; 0 when the
// system cannot tell.
int32_t processorCount();

// An identifier of the calling thread, unique among running threads.
uint64_t currentThreadId();

void sleepMilliseconds(int32_t milliseconds);

// A thread running entry(arg). Null when the system cannot start one.
struct Thread;
Thread* startThread(void (*entry)(void* arg), void* arg);
// Waits for the thread to end and releases it. Null is ignored.
void joinThread(Thread* thread);

// A queue of integer messages with room for a fixed number of them: any thread
// posts, one thread waits. Posting never blocks.
struct Mailbox;
// Null when it cannot be allocated (capacity must be at least 1).
Mailbox* createMailbox(int32_t capacity);
void destroyMailbox(Mailbox* mailbox);
// False when the mailbox is full.
bool postMessage(Mailbox* mailbox, int32_t message);
// Takes the oldest message, waiting as long as none is there.
int32_t waitMessage(Mailbox* mailbox);

}  // namespace tv::platform
