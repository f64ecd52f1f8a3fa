// The fast paths of the text helpers that the device passes and the path
// building lean on: the length search stops at the first NUL or at its limit,
// and the case-folding comparison gives the same answer as folding every
// byte, for every pair of byte values.
#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "common/ascii_case.h"
#include "common/text.h"

namespace {

int FoldEveryByte(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        int ca = (unsigned char)a[i];
        int cb = (unsigned char)b[i];
        ca = (ca >= 'A' && ca <= 'Z') ? ca - 'A' + 'a' : ca;
        cb = (cb >= 'A' && cb <= 'Z') ? cb - 'A' + 'a' : cb;
        if (ca != cb) {
            return ca - cb;
        }
        if (ca == 0) {
            return 0;
        }
    }
    return 0;
}

int Sign(int v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

TEST(PerformanceText, CompareNoCaseNAgreesWithFoldingEveryByteForAllBytePairs) {
    for (int x = 0; x < 256; ++x) {
        for (int y = 0; y < 256; ++y) {
            // The pair at the start, after an equal prefix, and before a tail
            // that must not be read once the pair differs or ends.
            char a[4] = {'k', static_cast<char>(x), 'Q', '\0'};
            char b[4] = {'K', static_cast<char>(y), 'r', '\0'};
            ASSERT_EQ(Sign(FoldEveryByte(a + 1, b + 1, 1)), Sign(CompareNoCaseN(a + 1, b + 1, 1)))
                << x << " " << y;
            ASSERT_EQ(Sign(FoldEveryByte(a, b, 3)), Sign(CompareNoCaseN(a, b, 3))) << x << " " << y;
            ASSERT_EQ(Sign(FoldEveryByte(a, b, 2)), Sign(CompareNoCaseN(a, b, 2))) << x << " " << y;
        }
    }
}

TEST(PerformanceText, CompareNoCaseNStopsAtTheEndOfBothStringsAndAtItsLimit) {
    EXPECT_EQ(0, CompareNoCaseN("usb\\vid_3e1f", "USB\\VID_3E1F", 21));
    EXPECT_GT(CompareNoCaseN("USB\\VID_3E1F&", "usb\\vid_3e1f", 21), 0);
    EXPECT_LT(CompareNoCaseN("USB", "usb\\", 21), 0);
    EXPECT_EQ(0, CompareNoCaseN("USB\\VID_3E1F&PID_C301", "usb\\vid_3e1f&pid_c999", 12));
    EXPECT_EQ(0, CompareNoCaseN("abc", "xyz", 0));
}

TEST(PerformanceText, BoundedLengthStopsAtTheFirstNulOrTheLimit) {
    std::vector<char> unterminated(300, 'x');
    EXPECT_EQ(300u, BoundedLength(unterminated.data(), unterminated.size()));
    EXPECT_EQ(17u, BoundedLength(unterminated.data(), 17));
    EXPECT_EQ(0u, BoundedLength(unterminated.data(), 0));
    unterminated[299] = '\0';
    EXPECT_EQ(299u, BoundedLength(unterminated.data(), unterminated.size()));
    unterminated[0] = '\0';
    EXPECT_EQ(0u, BoundedLength(unterminated.data(), unterminated.size()));
    EXPECT_EQ(0u, BoundedLength(NULL, 10));

    // A multi-string: each string measured within what is left of the data.
    const char list[] = "USB\\VID_3E1F&PID_C301&REV_0100\0USB\\VID_3E1F&PID_C301\0";
    size_t first = BoundedLength(list, sizeof(list));
    EXPECT_EQ(strlen(list), first);
    EXPECT_EQ(21u, BoundedLength(list + first + 1, sizeof(list) - first - 1));
    // High bytes are no terminator.
    const char high[] = {'\xff', '\x80', 'a', '\0'};
    EXPECT_EQ(3u, BoundedLength(high, sizeof(high)));
}

} // namespace
