// libFuzzer target: the descriptor encoding a host keeps in handles and in its
// recorded-descriptor file, and the module's reading of a descriptor at start
// (the scripting parameters) through the host's descriptor suite.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/pi/memory_descriptor.h"
#include "host/scripting.h"
#include "host_internal.h"

namespace {

using namespace tv;

// Plays the descriptor handle to the module's reader; the descriptor the
// module then writes back replaces it. Returns that descriptor's bytes.
std::vector<uint8_t> readAndWriteBack(pi::Handle descriptor, ParamRecord& params) {
    pi::PIDescriptorParameters parameters{};
    parameters.descriptorParametersVersion = pi::kCurrentDescriptorParametersVersion;
    parameters.playInfo = pi::plugInDialogSilent;
    parameters.readDescriptorProcs = host::hostReadProcs();
    parameters.writeDescriptorProcs = host::hostWriteProcs();
    parameters.descriptor = descriptor;
    pi::FilterRecord record{};
    record.hostSig = pi::fourCC('8', 'B', 'I', 'M');
    record.handleProcs = host::hostHandleProcs();
    record.descriptorParameters = &parameters;
    StateBlock state{};
    readScriptingParameters(&record, params, state);
    writeScriptingParameters(&record, params);
    std::vector<uint8_t> bytes = host::handleBytes(parameters.descriptor);
    host::disposeHostHandle(parameters.descriptor);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    pi::MemoryDescriptor d;
    if (!pi::decodeDescriptor(data, size, d)) return 0;
    if (pi::encodeDescriptor(d).size() != size) __builtin_trap();

    // Whatever the module read, it writes a descriptor that reads back to
    // the same settings: writing them again gives the same bytes.
    ParamRecord first = defaultRecord();
    const std::vector<uint8_t> written =
        readAndWriteBack(host::newHandleWith(std::vector<uint8_t>(data, data + size)), first);
    ParamRecord second = defaultRecord();
    if (readAndWriteBack(host::newHandleWith(written), second) != written) __builtin_trap();
    return 0;
}
