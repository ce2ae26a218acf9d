// The host's suites: handles, buffers and the descriptor procedures, all over
// plain in-memory objects. Handles and buffers are checked against a registry,
// so a stale or foreign one is refused instead of followed.
#include <cstring>
#include <memory>
#include <set>

#include "base/bytes.h"
#include "host.h"
#include "params/fields.h"
#include "host_internal.h"

namespace tv::host {

namespace {

constexpr pi::int32 kMaxHandleBytes = 1 << 30;

struct HostHandle {
    std::vector<char> bytes;
};
std::set<const void*> gHandles;
std::set<const void*> gBuffers;

HostHandle* asHandle(pi::Handle h) {
    return gHandles.count(h) ? reinterpret_cast<HostHandle*>(h) : nullptr;
}

pi::Handle newHandle(pi::int32 size) {
    if (size < 0 || size > kMaxHandleBytes) return nullptr;
    auto* h = new (std::nothrow) HostHandle;
    if (!h) return nullptr;
    try {
        h->bytes.assign(size_t(size), 0);
    } catch (const std::bad_alloc&) {
        delete h;
        return nullptr;
    }
    gHandles.insert(h);
    return reinterpret_cast<pi::Handle>(h);
}

void disposeHandle(pi::Handle h) {
    if (HostHandle* p = asHandle(h)) {
        gHandles.erase(h);
        delete p;
    }
}

pi::int32 handleSize(pi::Handle h) {
    const HostHandle* p = asHandle(h);
    return p ? pi::int32(p->bytes.size()) : 0;
}

pi::OSErr setHandleSize(pi::Handle h, pi::int32 size) {
    HostHandle* p = asHandle(h);
    if (!p || size < 0 || size > kMaxHandleBytes) return pi::memFullErr;
    try {
        p->bytes.resize(size_t(size), 0);
    } catch (const std::bad_alloc&) {
        return pi::memFullErr;  // the handle keeps its old size
    }
    return pi::noErr;
}

pi::Ptr lockHandle(pi::Handle h, pi::Boolean) {
    HostHandle* p = asHandle(h);
    return p ? p->bytes.data() : nullptr;
}

void unlockHandle(pi::Handle) {}
void recoverSpace(pi::int32) {}

struct HostBuffer {
    std::vector<char> bytes;
};

pi::OSErr allocateBuffer64(pi::int64 size, pi::BufferID* id) {
    if (id) *id = nullptr;
    if (!id || size < 0 || size > (pi::int64(1) << 32)) return pi::memFullErr;
    auto* b = new (std::nothrow) HostBuffer;
    if (!b) return pi::memFullErr;
    try {
        b->bytes.resize(size_t(size));
    } catch (const std::bad_alloc&) {
        delete b;
        return pi::memFullErr;
    }
    gBuffers.insert(b);
    *id = reinterpret_cast<pi::BufferID>(b);
    return pi::noErr;
}
pi::OSErr allocateBuffer(pi::int32 size, pi::BufferID* id) { return allocateBuffer64(size, id); }
pi::Ptr lockBuffer(pi::BufferID id, pi::Boolean) {
    return gBuffers.count(id) ? reinterpret_cast<HostBuffer*>(id)->bytes.data() : nullptr;
}
void unlockBuffer(pi::BufferID) {}
void freeBuffer(pi::BufferID id) {
    if (gBuffers.erase(id)) delete reinterpret_cast<HostBuffer*>(id);
}
pi::int32 bufferSpace() { return 1 << 30; }
pi::OSErr reserveBuffer(pi::int32) { return pi::noErr; }
pi::int64 bufferSpace64() { return pi::int64(1) << 32; }

// ---- descriptors ---------------------------------------------------------
constexpr pi::OSErr errWrongType = -1703;

struct ReadToken {
    pi::MemoryDescriptor descriptor;
    size_t next = 0;
    const pi::DescriptorItem* current = nullptr;
    pi::DescriptorKeyID* keys = nullptr;
};
struct WriteToken {
    pi::MemoryDescriptor descriptor;
};
std::set<const void*> gReadTokens, gWriteTokens;

ReadToken* asRead(pi::PIReadDescriptor t) { return gReadTokens.count(t) ? reinterpret_cast<ReadToken*>(t) : nullptr; }
WriteToken* asWrite(pi::PIWriteDescriptor t) {
    return gWriteTokens.count(t) ? reinterpret_cast<WriteToken*>(t) : nullptr;
}

pi::PIReadDescriptor openRead(pi::PIDescriptorHandle h, pi::DescriptorKeyIDArray keys) {
    const HostHandle* p = asHandle(h);
    if (!p) return nullptr;
    auto token = std::make_unique<ReadToken>();
    if (!pi::decodeDescriptor(reinterpret_cast<const uint8_t*>(p->bytes.data()), p->bytes.size(), token->descriptor))
        return nullptr;
    token->keys = keys;
    gReadTokens.insert(token.get());
    return reinterpret_cast<pi::PIReadDescriptor>(token.release());
}

pi::OSErr closeRead(pi::PIReadDescriptor t) {
    ReadToken* token = asRead(t);
    if (!token) return pi::errMissingParameter;
    // Found keys were cleared from the list: what is left was not in the descriptor.
    const pi::OSErr result = token->keys && token->keys[0] ? pi::errMissingParameter : pi::noErr;
    gReadTokens.erase(t);
    delete token;
    return result;
}

pi::Boolean getKey(pi::PIReadDescriptor t, pi::DescriptorKeyID* key, pi::DescType* type, pi::int32* flags) {
    ReadToken* token = asRead(t);
    if (!token || token->next >= token->descriptor.items.size()) return 0;
    token->current = &token->descriptor.items[token->next++];
    if (key) *key = token->current->key;
    if (type) *type = token->current->type;
    if (flags) *flags = 0;
    if (token->keys)
        for (pi::DescriptorKeyID* k = token->keys; *k; ++k)
            if (*k == token->current->key) {
                // Found keys are cleared; the rest of the list stays for close.
                pi::DescriptorKeyID* last = k;
                while (last[1]) ++last;
                *k = *last;
                *last = 0;
                break;
            }
    return 1;
}

const pi::DescriptorItem* currentItem(pi::PIReadDescriptor t) {
    ReadToken* token = asRead(t);
    return token ? token->current : nullptr;
}

pi::OSErr getInteger(pi::PIReadDescriptor t, pi::int32* v) {
    const pi::DescriptorItem* i = currentItem(t);
    if (!i || !v) return errWrongType;
    if (i->type == pi::typeInteger || i->type == pi::typeBoolean) *v = i->integer;
    else if (i->type == pi::typeFloat) *v = truncatedToWord(i->number);
    else return errWrongType;
    return pi::noErr;
}
pi::OSErr getFloat(pi::PIReadDescriptor t, double* v) {
    const pi::DescriptorItem* i = currentItem(t);
    if (!i || !v) return errWrongType;
    if (i->type == pi::typeFloat) *v = i->number;
    else if (i->type == pi::typeInteger) *v = i->integer;
    else return errWrongType;
    return pi::noErr;
}
pi::OSErr getUnitFloat(pi::PIReadDescriptor t, pi::DescriptorUnitID* unit, double* v) {
    if (unit) *unit = pi::fourCC('#', 'N', 'n', 'e');
    return getFloat(t, v);
}
pi::OSErr getBoolean(pi::PIReadDescriptor t, pi::Boolean* v) {
    const pi::DescriptorItem* i = currentItem(t);
    if (!i || !v || (i->type != pi::typeBoolean && i->type != pi::typeInteger)) return errWrongType;
    *v = i->integer ? 1 : 0;
    return pi::noErr;
}
pi::OSErr getEnumerated(pi::PIReadDescriptor t, pi::DescriptorEnumID* v) {
    const pi::DescriptorItem* i = currentItem(t);
    if (!i || !v || i->type != pi::typeEnumerated) return errWrongType;
    *v = pi::DescriptorEnumID(i->integer);
    return pi::noErr;
}
pi::OSErr getHandleValue(pi::PIReadDescriptor, pi::Handle* h) {
    if (h) *h = nullptr;
    return errWrongType;
}
pi::OSErr getClass(pi::PIReadDescriptor, pi::DescType*) { return errWrongType; }
pi::OSErr getReference(pi::PIReadDescriptor, pi::PIDescriptorSimpleReference*) { return errWrongType; }
pi::OSErr getObject(pi::PIReadDescriptor, pi::DescType*, pi::PIDescriptorHandle* h) {
    if (h) *h = nullptr;
    return errWrongType;
}
pi::OSErr getCount(pi::PIReadDescriptor, pi::uint32*) { return errWrongType; }
pi::OSErr getString(pi::PIReadDescriptor, pi::Str255*) { return errWrongType; }
pi::OSErr getPinnedInteger(pi::PIReadDescriptor t, pi::int32 lo, pi::int32 hi, pi::int32* v) {
    const pi::OSErr e = getInteger(t, v);
    if (e == pi::noErr) *v = *v < lo ? lo : (*v > hi ? hi : *v);
    return e;
}
pi::OSErr getPinnedFloat(pi::PIReadDescriptor t, const double* lo, const double* hi, double* v) {
    const pi::OSErr e = getFloat(t, v);
    if (e == pi::noErr && lo && hi) *v = *v < *lo ? *lo : (*v > *hi ? *hi : *v);
    return e;
}
pi::OSErr getPinnedUnitFloat(pi::PIReadDescriptor t, const double* lo, const double* hi, pi::DescriptorUnitID* u,
                             double* v) {
    if (u) *u = pi::fourCC('#', 'N', 'n', 'e');
    return getPinnedFloat(t, lo, hi, v);
}

pi::PIWriteDescriptor openWrite() {
    auto* token = new (std::nothrow) WriteToken;
    if (!token) return nullptr;
    gWriteTokens.insert(token);
    return reinterpret_cast<pi::PIWriteDescriptor>(token);
}
pi::OSErr closeWrite(pi::PIWriteDescriptor t, pi::PIDescriptorHandle* out) {
    WriteToken* token = asWrite(t);
    if (out) *out = nullptr;
    if (!token) return errWrongType;
    if (out) *out = newHandleWith(pi::encodeDescriptor(token->descriptor));
    gWriteTokens.erase(t);
    delete token;
    return pi::noErr;
}
pi::OSErr put(pi::PIWriteDescriptor t, const pi::DescriptorItem& item) {
    WriteToken* token = asWrite(t);
    if (!token) return errWrongType;
    if (token->descriptor.items.size() >= pi::kMaxDescriptorItems) return pi::memFullErr;
    token->descriptor.put(item);
    return pi::noErr;
}
pi::OSErr putInteger(pi::PIWriteDescriptor t, pi::DescriptorKeyID key, pi::int32 v) {
    return put(t, {key, pi::typeInteger, 0, v, 0.0});
}
pi::OSErr putFloat(pi::PIWriteDescriptor t, pi::DescriptorKeyID key, const double* v) {
    return v ? put(t, {key, pi::typeFloat, 0, 0, *v}) : errWrongType;
}
pi::OSErr putUnitFloat(pi::PIWriteDescriptor t, pi::DescriptorKeyID key, pi::DescriptorUnitID, const double* v) {
    return putFloat(t, key, v);
}
pi::OSErr putBoolean(pi::PIWriteDescriptor t, pi::DescriptorKeyID key, pi::Boolean v) {
    return put(t, {key, pi::typeBoolean, 0, v ? 1 : 0, 0.0});
}
pi::OSErr putEnumerated(pi::PIWriteDescriptor t, pi::DescriptorKeyID key, pi::DescType type, pi::DescriptorEnumID v) {
    return put(t, {key, pi::typeEnumerated, type, pi::int32(v), 0.0});
}
pi::OSErr putHandleValue(pi::PIWriteDescriptor, pi::DescriptorKeyID, pi::Handle) { return errWrongType; }
pi::OSErr putClass(pi::PIWriteDescriptor, pi::DescriptorKeyID, pi::DescType) { return errWrongType; }
pi::OSErr putReference(pi::PIWriteDescriptor, pi::DescriptorKeyID, const pi::PIDescriptorSimpleReference*) {
    return errWrongType;
}
pi::OSErr putObject(pi::PIWriteDescriptor, pi::DescriptorKeyID, pi::DescType, pi::PIDescriptorHandle) {
    return errWrongType;
}
pi::OSErr putCount(pi::PIWriteDescriptor, pi::DescriptorKeyID, pi::uint32) { return errWrongType; }
pi::OSErr putString(pi::PIWriteDescriptor, pi::DescriptorKeyID, const pi::uint8*) { return errWrongType; }
pi::OSErr putScopedObject(pi::PIWriteDescriptor, pi::DescriptorKeyID, pi::DescType, pi::PIDescriptorHandle*) {
    return errWrongType;
}

}  // namespace

std::vector<uint8_t> handleBytes(pi::Handle h) {
    const HostHandle* p = asHandle(h);
    if (!p) return {};
    return std::vector<uint8_t>(p->bytes.begin(), p->bytes.end());
}

pi::Handle newHandleWith(const std::vector<uint8_t>& bytes) {
    pi::Handle h = newHandle(pi::int32(bytes.size()));
    if (h && !bytes.empty()) std::memcpy(asHandle(h)->bytes.data(), bytes.data(), bytes.size());
    return h;
}

void disposeHostHandle(pi::Handle h) { disposeHandle(h); }

pi::HandleProcs* hostHandleProcs() {
    static pi::HandleProcs procs{pi::kCurrentHandleProcsVersion,
                                 pi::kCurrentHandleProcsCount,
                                 newHandle,
                                 disposeHandle,
                                 handleSize,
                                 setHandleSize,
                                 lockHandle,
                                 unlockHandle,
                                 recoverSpace,
                                 disposeHandle};
    return &procs;
}

pi::BufferProcs* hostBufferProcs() {
    static pi::BufferProcs procs{pi::kCurrentBufferProcsVersion,
                                 pi::kCurrentBufferProcsCount,
                                 allocateBuffer,
                                 lockBuffer,
                                 unlockBuffer,
                                 freeBuffer,
                                 bufferSpace,
                                 reserveBuffer,
                                 allocateBuffer64,
                                 bufferSpace64};
    return &procs;
}

pi::ReadDescriptorProcs* hostReadProcs() {
    static pi::ReadDescriptorProcs procs{pi::kCurrentReadDescriptorProcsVersion,
                                         pi::kCurrentReadDescriptorProcsCount,
                                         openRead,
                                         closeRead,
                                         getKey,
                                         getInteger,
                                         getFloat,
                                         getUnitFloat,
                                         getBoolean,
                                         getHandleValue,
                                         getHandleValue,
                                         getEnumerated,
                                         getClass,
                                         getReference,
                                         getObject,
                                         getCount,
                                         getString,
                                         getPinnedInteger,
                                         getPinnedFloat,
                                         getPinnedUnitFloat};
    return &procs;
}

pi::WriteDescriptorProcs* hostWriteProcs() {
    static pi::WriteDescriptorProcs procs{pi::kCurrentWriteDescriptorProcsVersion,
                                          pi::kCurrentWriteDescriptorProcsCount,
                                          openWrite,
                                          closeWrite,
                                          putInteger,
                                          putFloat,
                                          putUnitFloat,
                                          putBoolean,
                                          putHandleValue,
                                          putHandleValue,
                                          putEnumerated,
                                          putClass,
                                          putReference,
                                          putObject,
                                          putCount,
                                          putString,
                                          putClass,
                                          putScopedObject};
    return &procs;
}

}  // namespace tv::host
