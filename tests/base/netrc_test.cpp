// The netrc reader used where the HTTP library has none (WinINet).
#include <gtest/gtest.h>

#include "platform/netrc.h"

namespace tv::platform {
namespace {

TEST(Netrc, FindsTheHostsEntryOrTheDefault) {
    const std::string text =
        "machine a.example login ann password one\n"
        "macdef init\ncd /\nmachine 127.0.0.1 login nobody\n\n"
        "machine 127.0.0.1\n  login user password \"se cret\"\n"
        "default login anonymous password guest\n";
    struct Case {
        const char* host;
        bool found;
        const char* login;
        const char* password;
    };
    const Case cases[] = {{"a.example", true, "ann", "one"},
                          {"127.0.0.1", true, "user", "se cret"},  // the macro's text is not an entry
                          {"b.example", true, "anonymous", "guest"}};
    for (const Case& c : cases) {
        NetrcEntry e;
        EXPECT_EQ(findNetrcEntry(text, c.host, e), c.found) << c.host;
        EXPECT_EQ(e.login, c.login) << c.host;
        EXPECT_EQ(e.password, c.password) << c.host;
    }
    NetrcEntry e;
    EXPECT_FALSE(findNetrcEntry("machine a login b password c", "d", e));
    EXPECT_FALSE(findNetrcEntry("machine", "machine", e));
    EXPECT_EQ(urlHost("http://u:p@127.0.0.1:8080/x?y"), "127.0.0.1");
    EXPECT_EQ(urlHost("https://[::1]:99/"), "::1");
    EXPECT_EQ(urlHost("no scheme"), "");
}

}  // namespace
}  // namespace tv::platform
