// Runs the real module through the command-line host's interface code.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "host.h"
#include "params/fields.h"
#include "params/params.h"
#include "temp_home.h"

namespace tv::test {

inline std::string pluginPath() {
    const char* dir = std::getenv("TERRAVANE_TEST_BINARY_DIR");
    return std::string(dir ? dir : TV_BINARY_DIR) + "/terravane-plugin.so";
}

class PluginTest : public TempHome {
protected:
    void SetUp() override {
        TempHome::SetUp();
        std::string error;
        ASSERT_TRUE(host::loadPlugin(pluginPath(), module_, &error)) << error;
    }
    void TearDown() override {
        host::unloadPlugin(module_);
        TempHome::TearDown();
    }

    // One silent run (prepare, start, continue, finish) over image.
    int16_t runSilent(host::HostImage& image, const host::HostOptions& options,
                      const std::optional<pi::MemoryDescriptor>& descriptor, host::RunReport* report = nullptr,
                      const host::Selection* selection = nullptr) {
        host::FilterHost filter(module_, session_, image, selection, options);
        host::RunRequest request;
        request.descriptor = descriptor;
        host::RunReport r;
        const int16_t result = filter.run(request, r);
        if (report) *report = r;
        return result;
    }

    // The parameter record the module keeps in the host's handle.
    ParamRecord record() const {
        ParamRecord r{};
        const auto bytes = host::handleBytes(session_.parameters);
        if (bytes.size() == sizeof r) std::memcpy(static_cast<void*>(&r), bytes.data(), sizeof r);
        return r;
    }

    static pi::MemoryDescriptor descriptorWith(std::initializer_list<std::pair<const char*, double>> values) {
        pi::MemoryDescriptor d;
        for (const auto& [name, v] : values) {
            const ScriptKey* k = findScriptKey(name);
            EXPECT_NE(k, nullptr) << name;
            if (!k) continue;
            switch (k->value) {
                case ScriptValue::Float: d.put({k->key, pi::typeFloat, 0, 0, v}); break;
                case ScriptValue::Boolean: d.put({k->key, pi::typeBoolean, 0, v != 0 ? 1 : 0, 0}); break;
                case ScriptValue::Enumerated:
                    d.put({k->key, pi::typeEnumerated, kOutputModeEnumType, int32_t(outputModeEnumerator(int32_t(v))), 0});
                    break;
                default: d.put({k->key, pi::typeInteger, 0, int32_t(v), 0}); break;
            }
        }
        return d;
    }

    static int32_t integerOf(const pi::MemoryDescriptor& d, const char* name) {
        const pi::DescriptorItem* i = d.find(findScriptKey(name)->key);
        return i ? i->integer : INT32_MIN;
    }

    host::PluginModule module_;
    host::FilterSession session_;
};

}  // namespace tv::test
