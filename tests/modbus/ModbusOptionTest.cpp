// `--modbus [HOST:]PORT`: what it takes from the command line and what it leaves.
#include <gtest/gtest.h>

#include "ModbusOption.h"

namespace corvane::modbus {
namespace {

struct TOptionCase {
    const char* Name;
    QStringList Arguments;
    std::optional<TModbusEndpoint> Endpoint;
    QStringList Left;
    bool Error = false;
};

class ModbusOptionTest : public ::testing::TestWithParam<TOptionCase> {};

TEST_P(ModbusOptionTest, TakesTheOptionAndLeavesTheRest) {
    QStringList arguments = GetParam().Arguments;
    arguments.prepend("corvane");
    const TModbusOption option = TakeModbusOption(arguments);
    EXPECT_EQ(option.Endpoint, GetParam().Endpoint);
    EXPECT_EQ(!option.Error.isEmpty(), GetParam().Error) << option.Error.toStdString();
    QStringList left = GetParam().Left;
    left.prepend("corvane");
    EXPECT_EQ(arguments, left);
}

const QHostAddress kLocal(QHostAddress::LocalHost);

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ModbusOptionTest,
    ::testing::Values(
        TOptionCase{"Absent", {"motor.awl"}, std::nullopt, {"motor.awl"}},
        TOptionCase{"BareUsesTheDefaults", {"--modbus"}, TModbusEndpoint{kLocal, 1502}, {}},
        TOptionCase{"BareBeforeAProgram",
                    {"--modbus", "motor.awl"},
                    TModbusEndpoint{kLocal, 1502},
                    {"motor.awl"}},
        TOptionCase{
            "PortOnly", {"--modbus", "5020", "a.awl"}, TModbusEndpoint{kLocal, 5020}, {"a.awl"}},
        TOptionCase{"AllInterfaces",
                    {"a.awl", "--modbus", "0.0.0.0:502"},
                    TModbusEndpoint{QHostAddress("0.0.0.0"), 502},
                    {"a.awl"}},
        TOptionCase{"Localhost", {"--modbus=localhost:1503"}, TModbusEndpoint{kLocal, 1503}, {}},
        TOptionCase{
            "Ipv6", {"--modbus", "[::1]:1504"}, TModbusEndpoint{QHostAddress("::1"), 1504}, {}},
        TOptionCase{"PortTooLarge", {"--modbus", "65536"}, std::nullopt, {}, true},
        TOptionCase{"HostNotAnAddress", {"--modbus=plc.example:502"}, std::nullopt, {}, true},
        TOptionCase{
            "HostWithoutPort", {"--modbus", "0.0.0.0", "a.awl"}, std::nullopt, {"a.awl"}, true},
        TOptionCase{"EmptyPort", {"--modbus=127.0.0.1:"}, std::nullopt, {}, true},
        TOptionCase{"SignedPort", {"--modbus=+502"}, std::nullopt, {}, true},
        TOptionCase{"OtherOptionsStay",
                    {"--verbose", "--modbus", "1502", "/RegServer"},
                    TModbusEndpoint{kLocal, 1502},
                    {"--verbose", "/RegServer"}}),
    [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace corvane::modbus
