#include <gtest/gtest.h>

#include "OwnPortMap.h"
#include "SimPort.h"
#include "operations/DeviceConnection.h"

namespace ixo {
namespace {

TEST(DeviceConnection, APortThatDoesNotOpenIsSaidAsIxoSaysItAndOpensLaterOnTheSamePort) {
    test::OwnPortMap ports;
    DeviceConnection connection;
    const std::string absent = ports.AbsentPath(3) + ": No such file or directory";

    // A device path is named by itself; a port chosen by number with its name first.
    MaybeFailure failure = connection.Open({0, ports.AbsentPath(3)});
    ASSERT_TRUE(failure);
    EXPECT_EQ(FailureMessage(*failure), "COM port not opened: " + absent);
    failure = connection.Open({3, ""});
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Kind, FailureKind::PortNotOpened);
    EXPECT_EQ(FailureMessage(*failure), "COM port not opened: COM3: " + absent);
    EXPECT_EQ(connection.OpenError(), absent);
    EXPECT_EQ(connection.Trouble(), "COM3: " + absent);
    EXPECT_FALSE(connection.IsOpen());
    EXPECT_TRUE(OpenPorts({}).empty());

    // Once the port leads to a device, it opens again where it was, at the working rate,
    // and is listed as it is shown.
    test::SimPort com3{3};
    EXPECT_FALSE(connection.Reopen());
    EXPECT_TRUE(connection.IsOpen());
    EXPECT_EQ(connection.Port().Number, 3);
    EXPECT_EQ(connection.Link().BaudRate(), 38400);
    connection.Close();
    const std::vector<DescribedPort> open = OpenPorts({});
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].Number, 3);
    EXPECT_EQ(PortTip(open[0]), com3.Path());
}

}  // namespace
}  // namespace ixo
