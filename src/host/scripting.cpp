#include "host/scripting.h"

#include "params/fields.h"
#include "params/settings_writer.h"

namespace tv {

namespace {

// The key list handed to the host's open procedure: writable, since the host
// may clear the keys it finds. Rebuilt before every open.
pi::DescriptorKeyID gKeyList[kScriptKeyCount + 1];

pi::DescriptorKeyID* freshKeyList() {
    const auto keys = scriptKeys();
    for (int i = 0; i < kScriptKeyCount; ++i) gKeyList[i] = keys[size_t(i)].key;
    gKeyList[kScriptKeyCount] = 0;
    return gKeyList;
}

template <typename T>
bool allPresent(const T* first, int n) {
    for (int i = 0; i < n; ++i)
        if (!first[i]) return false;
    return true;
}

bool readProcsComplete(const pi::ReadDescriptorProcs* p) {
    if (!p || p->readDescriptorProcsVersion != pi::kCurrentReadDescriptorProcsVersion ||
        p->numReadDescriptorProcs < pi::kCurrentReadDescriptorProcsCount)
        return false;
    const void* procs[] = {
        (const void*)p->openReadDescriptorProc, (const void*)p->closeReadDescriptorProc,
        (const void*)p->getKeyProc,            (const void*)p->getIntegerProc,
        (const void*)p->getFloatProc,          (const void*)p->getUnitFloatProc,
        (const void*)p->getBooleanProc,        (const void*)p->getTextProc,
        (const void*)p->getAliasProc,          (const void*)p->getEnumeratedProc,
        (const void*)p->getClassProc,          (const void*)p->getSimpleReferenceProc,
        (const void*)p->getObjectProc,         (const void*)p->getCountProc,
        (const void*)p->getStringProc,         (const void*)p->getPinnedIntegerProc,
        (const void*)p->getPinnedFloatProc,    (const void*)p->getPinnedUnitFloatProc,
    };
    return allPresent(procs, pi::kCurrentReadDescriptorProcsCount);
}

bool writeProcsComplete(const pi::WriteDescriptorProcs* p) {
    if (!p || p->writeDescriptorProcsVersion != pi::kCurrentWriteDescriptorProcsVersion ||
        p->numWriteDescriptorProcs < pi::kCurrentWriteDescriptorProcsCount)
        return false;
    const void* procs[] = {
        (const void*)p->openWriteDescriptorProc, (const void*)p->closeWriteDescriptorProc,
        (const void*)p->putIntegerProc,          (const void*)p->putFloatProc,
        (const void*)p->putUnitFloatProc,        (const void*)p->putBooleanProc,
        (const void*)p->putTextProc,             (const void*)p->putAliasProc,
        (const void*)p->putEnumeratedProc,       (const void*)p->putClassProc,
        (const void*)p->putSimpleReferenceProc,  (const void*)p->putObjectProc,
        (const void*)p->putCountProc,            (const void*)p->putStringProc,
        (const void*)p->putScopedClassProc,      (const void*)p->putScopedObjectProc,
    };
    return allPresent(procs, pi::kCurrentWriteDescriptorProcsCount);
}

bool ignoresDescriptors(const pi::FilterRecord* record) {
    return record->hostSig == pi::kHostPhotoshop8 || record->hostSig == pi::kHostPhotoshop9;
}

// Puts each key into the host's write descriptor.
class DescriptorOutput : public SettingsOutput {
public:
    DescriptorOutput(const pi::WriteDescriptorProcs* procs, pi::PIWriteDescriptor token)
        : procs_(procs), token_(token) {}
    void putInteger(const ScriptKey& k, int32_t v) override { procs_->putIntegerProc(token_, k.key, v); }
    void putBoolean(const ScriptKey& k, bool v) override { procs_->putBooleanProc(token_, k.key, v ? 1 : 0); }
    void putFloat(const ScriptKey& k, double v) override { procs_->putFloatProc(token_, k.key, &v); }
    void putEnumerated(const ScriptKey& k, uint32_t type, uint32_t e) override {
        procs_->putEnumeratedProc(token_, k.key, type, e);
    }

private:
    const pi::WriteDescriptorProcs* procs_;
    pi::PIWriteDescriptor token_;
};

}  // namespace

bool descriptorAvailable(const pi::FilterRecord* record) {
    const pi::PIDescriptorParameters* d = record ? record->descriptorParameters : nullptr;
    return d && d->descriptorParametersVersion == pi::kCurrentDescriptorParametersVersion &&
           readProcsComplete(d->readDescriptorProcs) && writeProcsComplete(d->writeDescriptorProcs);
}

bool recordedParametersPresent(pi::FilterRecord* record) {
    if (!descriptorAvailable(record) || ignoresDescriptors(record)) return false;
    pi::PIDescriptorParameters* d = record->descriptorParameters;
    pi::PIReadDescriptor token = d->readDescriptorProcs->openReadDescriptorProc(d->descriptor, freshKeyList());
    if (!token) return false;
    d->readDescriptorProcs->closeReadDescriptorProc(token);
    return true;
}

int16_t readScriptingParameters(pi::FilterRecord* record, ParamRecord& params, StateBlock& state) {
    if (!record || ignoresDescriptors(record) || !descriptorAvailable(record)) return pi::noErr;
    pi::PIDescriptorParameters* d = record->descriptorParameters;
    const pi::ReadDescriptorProcs* procs = d->readDescriptorProcs;
    int16_t result = pi::noErr;
    pi::PIReadDescriptor token = procs->openReadDescriptorProc(d->descriptor, freshKeyList());
    if (token) {
        loadDefaults(params);
        pi::DescriptorKeyID key = 0;
        pi::DescType type = 0;
        pi::int32 flags = 0;
        while (procs->getKeyProc(token, &key, &type, &flags)) {
            const ScriptKey* k = findScriptKeyByCode(key);
            if (!k) continue;  // not one of ours: skipped
            switch (k->value) {
                case ScriptValue::Channel: {
                    // Read into the scratch word, then stored as v << 8 in 16 bits.
                    params.scratchWord = 0;
                    if (procs->getIntegerProc(token, &params.scratchWord) == pi::noErr)
                        setScriptInteger(params, *k, params.scratchWord);
                    break;
                }
                case ScriptValue::Integer: {
                    pi::int32 v = 0;
                    if (procs->getIntegerProc(token, &v) == pi::noErr) setScriptInteger(params, *k, v);
                    break;
                }
                case ScriptValue::Boolean: {
                    pi::Boolean v = 0;
                    if (procs->getBooleanProc(token, &v) == pi::noErr) setScriptInteger(params, *k, v ? 1 : 0);
                    break;
                }
                case ScriptValue::Float: {
                    double v = 0;
                    if (procs->getFloatProc(token, &v) == pi::noErr) setScriptFloat(params, *k, v);
                    break;
                }
                case ScriptValue::Enumerated: {
                    pi::DescriptorEnumID e = 0;
                    if (procs->getEnumeratedProc(token, &e) == pi::noErr)
                        setScriptInteger(params, *k, outputModeFromEnumerator(e));
                    break;
                }
            }
        }
        const pi::OSErr closed = procs->closeReadDescriptorProc(token);
        if (closed != pi::noErr && closed != pi::errMissingParameter) result = closed;
    }
    state.showDialog = d->playInfo == pi::plugInDialogDisplay ? 1 : 0;
    return result;
}

void writeScriptingParameters(pi::FilterRecord* record, const ParamRecord& params) {
    if (!descriptorAvailable(record)) return;
    pi::PIDescriptorParameters* d = record->descriptorParameters;
    const pi::WriteDescriptorProcs* procs = d->writeDescriptorProcs;
    pi::PIWriteDescriptor token = procs->openWriteDescriptorProc();
    if (!token) return;
    DescriptorOutput out(procs, token);
    writeSettings(params, SettingsWriteMode::Scripting, out);
    pi::PIDescriptorHandle made = nullptr;
    procs->closeWriteDescriptorProc(token, &made);
    if (d->descriptor && d->descriptor != made && record->handleProcs && record->handleProcs->disposeProc)
        record->handleProcs->disposeProc(d->descriptor);
    d->descriptor = made;
    d->recordInfo = pi::plugInDialogOptional;
}

}  // namespace tv
