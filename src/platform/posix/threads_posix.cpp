#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <new>

#include "platform/threads.h"

namespace tv::platform {

int32_t processorCount() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0) {
        const int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    const long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (n <= 0) return 0;
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

uint64_t currentThreadId() { return static_cast<uint64_t>(::syscall(SYS_gettid)); }

void sleepMilliseconds(int32_t milliseconds) {
    if (milliseconds <= 0) return;
    timespec ts{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

struct Thread {
    pthread_t handle;
    void (*entry)(void*);
    void* arg;
};

namespace {
void* threadMain(void* p) {
    Thread* t = static_cast<Thread*>(p);
    t->entry(t->arg);
    return nullptr;
}
}  // namespace

Thread* startThread(void (*entry)(void* arg), void* arg) {
    Thread* t = new (std::nothrow) Thread{};
    if (t == nullptr) return nullptr;
    t->entry = entry;
    t->arg = arg;
    if (::pthread_create(&t->handle, nullptr, threadMain, t) != 0) {
        delete t;
        return nullptr;
    }
    return t;
}

void joinThread(Thread* thread) {
    if (thread == nullptr) return;
    ::pthread_join(thread->handle, nullptr);
    delete thread;
}

struct Mailbox {
    std::mutex mutex;
    std::condition_variable arrived;
    int32_t* ring = nullptr;
    int32_t capacity = 0;
    int32_t head = 0;  // oldest message
    int32_t count = 0;
};

Mailbox* createMailbox(int32_t capacity) {
    if (capacity < 1) return nullptr;
    Mailbox* m = new (std::nothrow) Mailbox;
    if (m == nullptr) return nullptr;
    m->ring = new (std::nothrow) int32_t[static_cast<size_t>(capacity)];
    if (m->ring == nullptr) {
        delete m;
        return nullptr;
    }
    m->capacity = capacity;
    return m;
}

void destroyMailbox(Mailbox* mailbox) {
    if (mailbox == nullptr) return;
    delete[] mailbox->ring;
    delete mailbox;
}

bool postMessage(Mailbox* mailbox, int32_t message) {
    {
        std::lock_guard<std::mutex> lock(mailbox->mutex);
        if (mailbox->count == mailbox->capacity) return false;
        mailbox->ring[(mailbox->head + mailbox->count) % mailbox->capacity] = message;
        ++mailbox->count;
    }
    mailbox->arrived.notify_one();
    return true;
}

int32_t waitMessage(Mailbox* mailbox) {
    std::unique_lock<std::mutex> lock(mailbox->mutex);
    mailbox->arrived.wait(lock, [mailbox] { return mailbox->count > 0; });
    const int32_t message = mailbox->ring[mailbox->head];
    mailbox->head = (mailbox->head + 1) % mailbox->capacity;
    --mailbox->count;
    return message;
}

}  // namespace tv::platform
