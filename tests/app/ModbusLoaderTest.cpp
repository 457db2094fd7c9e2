// The Modbus module is found beside the program or in an installed tree, loaded only on
// request, refused with a reason when it is missing or foreign, and, once loaded, serves
// the program's own controller.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <string>

#include "ModbusLoader.h"
#include "PLC_Instruction.h"

namespace corvane::app {
namespace {

struct MentionCase {
    const char* name;
    QStringList arguments;
    bool mentions;
};

class MentionsModbusTest : public ::testing::TestWithParam<MentionCase> {};

TEST_P(MentionsModbusTest, OnlyTheOptionItselfAsksForTheModule) {
    EXPECT_EQ(MentionsModbus(GetParam().arguments), GetParam().mentions);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, MentionsModbusTest,
    ::testing::Values(MentionCase{"Nothing", {"corvane"}, false},
                      MentionCase{"ProgramOnly", {"corvane", "a.awl"}, false},
                      MentionCase{"Bare", {"corvane", "--modbus"}, true},
                      MentionCase{"WithValue", {"corvane", "--modbus", "1502"}, true},
                      MentionCase{"Joined", {"corvane", "a.awl", "--modbus=0"}, true},
                      MentionCase{"ProgramNameAlone", {"--modbus"}, false},
                      MentionCase{"LongerOption", {"corvane", "--modbusx"}, false},
                      MentionCase{"SingleDash", {"corvane", "-modbus"}, false}),
    [](const auto& info) { return std::string(info.param.name); });

class ModbusLoaderTest : public ::testing::Test {
  protected:
    std::filesystem::path Scratch(const char* name) {
        const auto dir = std::filesystem::temp_directory_path() /
                         ("corvane-loader-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        dirs_.push_back(dir);
        return dir / name;
    }
    ~ModbusLoaderTest() override {
        for (const auto& dir : dirs_) std::filesystem::remove_all(dir);
    }
    std::vector<std::filesystem::path> dirs_;
};

TEST_F(ModbusLoaderTest, CandidatesAreBesideTheProgramThenInTheInstalledLibraryDirectory) {
    const auto candidates = ModbusModuleCandidates("/opt/x/bin/corvane");
    ASSERT_EQ(candidates.size(), 2u);
    EXPECT_EQ(candidates[0], std::filesystem::path("/opt/x/bin/libcorvane_modbus.so"));
    EXPECT_EQ(candidates[1].filename(), "libcorvane_modbus.so");
    EXPECT_EQ(candidates[1].parent_path().filename(), "corvane");
}

TEST_F(ModbusLoaderTest, AMissingModuleIsReportedAsNotInstalled) {
    std::string error;
    EXPECT_EQ(LoadModbusModule({Scratch("none.so"), Scratch("nor.so")}, &error), nullptr);
    EXPECT_NE(error.find("not installed"), std::string::npos) << error;
}

TEST_F(ModbusLoaderTest, AFileThatIsNoLibraryIsRefusedWithTheLoadersReason) {
    const auto file = Scratch("libcorvane_modbus.so");
    std::ofstream(file) << "not a library\n";
    std::string error;
    EXPECT_EQ(LoadModbusModule({file}, &error), nullptr);
    EXPECT_NE(error.find(file.string()), std::string::npos) << error;
}

// A library without the entry, and a module of another build that refuses this program's
// interface version: neither is used, and the next candidate is not tried either.
TEST_F(ModbusLoaderTest, ALibraryThatIsNotThisProgramsModuleIsRefused) {
    for (const char* file : {CORVANE_FOREIGN_LIBRARY, CORVANE_OTHER_BUILD_MODULE}) {
        std::string error;
        EXPECT_EQ(LoadModbusModule({file, CORVANE_MODBUS_MODULE}, &error), nullptr) << file;
        EXPECT_NE(error.find("is no Modbus module of this corvane"), std::string::npos) << error;
    }
}

TEST_F(ModbusLoaderTest, TheFirstExistingCandidateIsLoadedAndServesTheProgramsController) {
    std::string error;
    modbus::IModbusModule* module =
        LoadModbusModule({Scratch("absent.so"), CORVANE_MODBUS_MODULE}, &error);
    ASSERT_NE(module, nullptr) << error;

    QStringList arguments{"corvane", "--modbus=70000"};
    EXPECT_NE(module->TakeOption(arguments), QString());
    arguments = {"corvane", "--modbus", "127.0.0.1:0", "a.awl"};
    EXPECT_EQ(module->TakeOption(arguments), QString());
    EXPECT_EQ(arguments, QStringList({"corvane", "a.awl"}));

    plc::TPLC plc;
    QStringList log;
    const auto server = module->Start(plc, [&log](const QString& line) { log << line; });
    ASSERT_NE(server, nullptr);
    const auto* listener = server->findChild<QTcpServer*>();
    ASSERT_NE(listener, nullptr);

    // A client's write of coil 5 (Q0.5) lands in the controller this program made.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, listener->serverPort());
    const QByteArray writeCoil = QByteArray::fromHex(
        "000100000006"
        "01"
        "05"
        "0005"
        "ff00");
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.state() == QAbstractSocket::ConnectedState; }));
    client.write(writeCoil);
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.bytesAvailable() >= writeCoil.size(); }));
    EXPECT_EQ(client.readAll(), writeCoil);  // the echo of a successful write
    EXPECT_EQ(plc.ReadBit("Q0.5"), true);
}

}  // namespace
}  // namespace corvane::app

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
