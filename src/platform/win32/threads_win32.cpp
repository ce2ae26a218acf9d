// Threads on Windows: _beginthreadex workers and a mailbox guarded by a
// critical section with a condition variable.
#include <process.h>

#include <new>

#include "platform/threads.h"
#include "platform/win32/wide.h"

namespace tv::platform {

int32_t processorCount() {
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        int32_t n = 0;
        for (; process; process &= process - 1) ++n;
        return n;
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return int32_t(info.dwNumberOfProcessors);
}

uint64_t currentThreadId() { return GetCurrentThreadId(); }

void sleepMilliseconds(int32_t milliseconds) {
    if (milliseconds > 0) Sleep(DWORD(milliseconds));
}

struct Thread {
    HANDLE handle = nullptr;
    void (*entry)(void*) = nullptr;
    void* arg = nullptr;
};

namespace {
unsigned __stdcall threadMain(void* p) {
    Thread* t = static_cast<Thread*>(p);
    t->entry(t->arg);
    return 0;
}
}  // namespace

Thread* startThread(void (*entry)(void* arg), void* arg) {
    Thread* t = new (std::nothrow) Thread{};
    if (t == nullptr) return nullptr;
    t->entry = entry;
    t->arg = arg;
    t->handle = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, threadMain, t, 0, nullptr));
    if (t->handle == nullptr) {
        delete t;
        return nullptr;
    }
    return t;
}

void joinThread(Thread* thread) {
    if (thread == nullptr) return;
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    delete thread;
}

struct Mailbox {
    CRITICAL_SECTION lock;
    CONDITION_VARIABLE arrived;
    int32_t* ring = nullptr;
    int32_t capacity = 0;
    int32_t head = 0;  // oldest message
    int32_t count = 0;
};

Mailbox* createMailbox(int32_t capacity) {
    if (capacity < 1) return nullptr;
    Mailbox* m = new (std::nothrow) Mailbox;
    if (m == nullptr) return nullptr;
    m->ring = new (std::nothrow) int32_t[size_t(capacity)];
    if (m->ring == nullptr) {
        delete m;
        return nullptr;
    }
    m->capacity = capacity;
    InitializeCriticalSection(&m->lock);
    InitializeConditionVariable(&m->arrived);
    return m;
}

void destroyMailbox(Mailbox* mailbox) {
    if (mailbox == nullptr) return;
    DeleteCriticalSection(&mailbox->lock);
    delete[] mailbox->ring;
    delete mailbox;
}

bool postMessage(Mailbox* mailbox, int32_t message) {
    EnterCriticalSection(&mailbox->lock);
    const bool room = mailbox->count < mailbox->capacity;
    if (room) {
        mailbox->ring[(mailbox->head + mailbox->count) % mailbox->capacity] = message;
        ++mailbox->count;
    }
    LeaveCriticalSection(&mailbox->lock);
    if (room) WakeConditionVariable(&mailbox->arrived);
    return room;
}

int32_t waitMessage(Mailbox* mailbox) {
    EnterCriticalSection(&mailbox->lock);
    while (mailbox->count == 0) SleepConditionVariableCS(&mailbox->arrived, &mailbox->lock, INFINITE);
    const int32_t message = mailbox->ring[mailbox->head];
    mailbox->head = (mailbox->head + 1) % mailbox->capacity;
    --mailbox->count;
    LeaveCriticalSection(&mailbox->lock);
    return message;
}

}  // namespace tv::platform
