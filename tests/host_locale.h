// When KV_TEST_HOST_LOCALE is set, the test program runs in the locale its
// environment names, as a host application does after setlocale(LC_ALL, "").
// CTest runs the numeric, value and literal tests once more this way, in a
// decimal-comma locale: SQL text must read and render the same there.
#ifndef KV_TESTS_HOST_LOCALE_H
#define KV_TESTS_HOST_LOCALE_H

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace kvtest {

class HostLocale : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!std::getenv("KV_TEST_HOST_LOCALE"))
            return;
        ASSERT_NE(std::setlocale(LC_ALL, ""), nullptr) << "the locale of the environment is not available";
        ASSERT_STREQ(std::localeconv()->decimal_point, ",") << "the test locale should use a decimal comma";
    }
};

inline ::testing::Environment *const host_locale = ::testing::AddGlobalTestEnvironment(new HostLocale);

} // namespace kvtest

#endif
