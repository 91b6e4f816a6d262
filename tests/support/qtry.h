// Waiting for a condition in a GoogleTest test. Qt's QTRY_* macros report through QtTest, which
// only counts failures inside QTest::qExec: under GoogleTest a timed-out QTRY_* returned from the
// test silently and the test passed. These versions wait the same way (events processed while
// waiting) and fail the test through GoogleTest. Include this after <QTest>, or instead of it.
#pragma once

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QTest>
#include <functional>

namespace pulpex::test {

// Processes events until `condition` holds or `timeoutMs` has passed; whether it holds.
inline bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return condition();
        QTest::qWait(10);
    }
    return true;
}

}  // namespace pulpex::test

#undef QTRY_VERIFY_WITH_TIMEOUT
#undef QTRY_VERIFY
#undef QTRY_COMPARE_WITH_TIMEOUT
#undef QTRY_COMPARE

#define QTRY_VERIFY_WITH_TIMEOUT(expr, timeout)                                                    \
    do {                                                                                           \
        const bool pulpexTryOk_ =                                                                  \
            ::pulpex::test::waitFor([&]() -> bool { return static_cast<bool>(expr); }, (timeout)); \
        ASSERT_TRUE(pulpexTryOk_) << #expr << " still false after " << (timeout) << " ms";         \
    } while (false)
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 5000)
#define QTRY_COMPARE_WITH_TIMEOUT(actual, expected, timeout)                                      \
    do {                                                                                          \
        const bool pulpexTryOk_ =                                                                 \
            ::pulpex::test::waitFor([&]() -> bool { return (actual) == (expected); }, (timeout)); \
        EXPECT_EQ(actual, expected);                                                              \
        ASSERT_TRUE(pulpexTryOk_) << #actual << " still different after " << (timeout) << " ms";  \
    } while (false)
#define QTRY_COMPARE(actual, expected) QTRY_COMPARE_WITH_TIMEOUT(actual, expected, 5000)
