// The link's settings and time limits, without a device: the same on every system.

#include <gtest/gtest.h>

#include "link/Comport.h"

namespace ixo::test {
namespace {

TEST(ComPortSettings, SetBaudRateTakesOnlyTheListedRates) {
    const struct {
        std::int32_t Rate;
        std::int32_t After;
    } cases[] = {
        {115200, 115200}, {28800, 28800}, {110, 110},    {14400, 9600},
        {56000, 9600},    {0, 9600},      {-9600, 9600}, {9601, 9600},
    };
    for (const auto& c : cases) {
        ComPort port;
        port.SetBaudRate(c.Rate);
        EXPECT_EQ(port.BaudRate(), c.After) << c.Rate;
    }
    ComPort port;
    port.SetBaudRate(38400);
    port.SetBaudRate(14400);
    EXPECT_EQ(port.BaudRate(), 38400) << "an unlisted rate keeps the one in force";
}

TEST(ComPortSettings, ByteTimeRoundsHalvesAwayFromZero) {
    const struct {
        std::int32_t Factor;
        std::int32_t Rate;
        std::int32_t Ms;
    } cases[] = {
        {10, 9600, 21}, {10, 38400, 5}, {10, 110, 1818}, {10, 115200, 2},
        {10, 57600, 3}, {6, 9600, 13},  {-6, 9600, -13}, {0, 9600, 0},
    };
    for (const auto& c : cases) {
        ComPort port;
        port.ByteTimeFactor = c.Factor;
        port.SetBaudRate(c.Rate);
        EXPECT_EQ(port.ByteTime(), c.Ms) << c.Factor << " at " << c.Rate;
    }
}

}  // namespace
}  // namespace ixo::test
