#include "link/PortProbe.h"

#include <gtest/gtest.h>

#include <vector>

#include "OwnPortMap.h"
#include "SimPort.h"
#include "link/Comport.h"

namespace ixo::test {
namespace {

TEST(ProbePorts, ListsExactlyThePortsThatOpenNow) {
    OwnPortMap map;  // every other port leads to a path that does not exist
    SimPort second(2);
    SimPort fifth(5);
    SimPort eighth(8);
    EXPECT_EQ(ProbePorts(), (std::vector<int>{2, 5, 8}));

    ComPort holder;
    holder.PortNumber = 5;
    ASSERT_TRUE(holder.Open()) << holder.OpenError();
    EXPECT_EQ(ProbePorts(), (std::vector<int>{2, 8})) << "a port in use is listed";

    holder.Close();
    EXPECT_EQ(ProbePorts(), (std::vector<int>{2, 5, 8})) << "probing or closing left a port held";
}

TEST(ProbePorts, NeverLooksAboveTheHighestProbedPort) {
    OwnPortMap map;
    SimPort ninth(9);
    EXPECT_TRUE(ProbePorts().empty());
}

}  // namespace
}  // namespace ixo::test
