// What the sanitizer build changes for tests.
#pragma once

namespace tv::test {

// AddressSanitizer reserves terabytes of address space for its shadow memory
// at start, so a program under an address-space limit (ulimit -v, RLIMIT_AS)
// cannot even start in that build; tests that set one skip themselves there.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

constexpr const char* kNoAddressSpaceLimit =
    "AddressSanitizer build: its shadow memory cannot live under an address-space limit";

}  // namespace tv::test
