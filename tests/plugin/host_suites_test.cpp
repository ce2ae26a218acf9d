// The host's descriptor procedures over outside data: a recorded descriptor
// file may carry any float where the module asks for an integer.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

#include "host.h"
#include "host_internal.h"

namespace tv::test {
namespace {

TEST(HostDescriptorProcs, IntegersReadFromFloatsSaturate) {
    const double values[] = {1e12, -1e12, std::nan(""), -7.9, 2147483647.5};
    const pi::int32 expected[] = {INT32_MAX, INT32_MIN, 0, -7, INT32_MAX};
    pi::MemoryDescriptor d;
    for (uint32_t i = 0; i < 5; ++i) d.put({pi::fourCC('k', 'e', 'y', char('0' + i)), pi::typeFloat, 0, 0, values[i]});
    pi::Handle h = host::newHandleWith(pi::encodeDescriptor(d));
    const pi::ReadDescriptorProcs* procs = host::hostReadProcs();
    pi::PIReadDescriptor token = procs->openReadDescriptorProc(h, nullptr);
    ASSERT_NE(token, nullptr);
    std::vector<pi::int32> read;
    pi::DescriptorKeyID key = 0;
    pi::DescType type = 0;
    while (procs->getKeyProc(token, &key, &type, nullptr)) {
        pi::int32 v = 12345;
        EXPECT_EQ(procs->getIntegerProc(token, &v), pi::noErr);
        read.push_back(v);
    }
    EXPECT_EQ(procs->closeReadDescriptorProc(token), pi::noErr);
    host::disposeHostHandle(h);
    EXPECT_EQ(read, std::vector<pi::int32>(std::begin(expected), std::end(expected)));
}

}  // namespace
}  // namespace tv::test
