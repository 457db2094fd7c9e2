// The Import Symbols window: layout, the import through "Load Symbols", cancelling,
// unreadable files, the "LastFile" record and the 1000-line limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "Messages.h"
#include "corvane/platform/Registry.h"
#include "importF.h"

namespace corvane::opcprovider {
namespace {

class TRecordingMessages : public plc::TMessageService {
  public:
    void ShowMessage(std::string_view text) override { Messages.emplace_back(text); }
    std::vector<std::string> Messages;
};

class ImportSymbols : public ::testing::Test {
  protected:
    ImportSymbols() {
        previous_ = plc::SetMessageService(&messages);
        std::filesystem::create_directories(dir);
        form.OpenDialog1 = [this](QWidget*, const QString& filter) {
            filters.push_back(filter);
            return chosen;
        };
    }
    ~ImportSymbols() override {
        plc::SetMessageService(previous_);
        std::filesystem::remove_all(dir);
    }
    QString Write(const std::string& name, const std::string& text) {
        std::ofstream(dir / name, std::ios::binary) << text;
        return QString::fromStdString((dir / name).string());
    }
    void Load(const QString& file) {
        chosen = file;
        plc::RunEvent([this] { form.Button1Click(); });
    }
    std::optional<std::string> LastFile() {
        return registry.QueryValue(kLastFileKey, kLastFileValue);
    }

    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("corvane-import-" + std::to_string(::getpid()));
    platform::ClassesRoot registry{dir / "registry.reg"};
    TSymbolTable symbols;
    TForm2 form{symbols, registry};
    TRecordingMessages messages;
    QString chosen;
    std::vector<QString> filters;

  private:
    plc::TMessageService* previous_ = nullptr;
};

TEST_F(ImportSymbols, WindowLayout) {
    EXPECT_EQ(form.windowTitle(), "Import Symbols");
    EXPECT_FALSE(form.isVisible());
    auto* list = form.findChild<QTreeWidget*>("ItemList");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->geometry(), QRect(0, 0, 481, 185));
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    const QStringList captions = {"ID", "ItemsID", "Address", "Access", "Value", "Quality"};
    ASSERT_EQ(list->columnCount(), 6);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(list->headerItem()->text(i), captions[i]);
    EXPECT_EQ(list->columnWidth(1), 100);
    EXPECT_EQ(list->columnWidth(4), 80);
    EXPECT_EQ(list->columnWidth(5), 100);
    auto* load = form.findChild<QPushButton*>("Button1");
    auto* close = form.findChild<QPushButton*>("Button2");
    ASSERT_TRUE(load && close);
    EXPECT_EQ(load->text(), "Load Symbols");
    EXPECT_EQ(load->geometry(), QRect(8, 192, 81, 25));
    EXPECT_EQ(close->text(), "Close");
    EXPECT_EQ(close->geometry(), QRect(96, 192, 75, 25));
    EXPECT_EQ(form.frameGeometry().size(), QSize(495, 256));
}

TEST_F(ImportSymbols, ImportFillsTableListAndLastFile) {
    const QString file = Write("plant.txt", "Start I0.0 R/W\nLamp\tQ0.0  R\n  Alarm M1.0\n");
    Load(file);
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0], "Text (*.txt)");
    EXPECT_EQ(symbols.TagCount, 3);
    EXPECT_EQ(symbols.Tags[2].Access, 3);
    ASSERT_EQ(form.RowCount(), 3);
    EXPECT_EQ(form.Row(0), (QStringList{"1", "Start", "I0.0", "R/W", "", ""}));
    EXPECT_EQ(form.Row(1), (QStringList{"2", "Lamp", "Q0.0", "R", "", ""}));
    EXPECT_EQ(form.Row(2), (QStringList{"3", "Alarm", "M1.0", "unknow", "", ""}));
    EXPECT_EQ(LastFile(), file.toStdString());
    EXPECT_TRUE(messages.Messages.empty());
}

TEST_F(ImportSymbols, FirstEmptyLineEndsTheFileAndBlanksAreALine) {
    Load(Write("a.txt", "Start I0.0 R/W\n   \nLamp Q0.0 R\n\nIgnored M0.0 R\n"));
    EXPECT_EQ(symbols.TagCount, 3);
    EXPECT_EQ(form.Row(1), (QStringList{"2", "unknow", "unknow", "unknow", "", ""}));
}

TEST_F(ImportSymbols, ShorterSecondImportReplacesTheList) {
    Load(Write("a.txt", "A M0.0 R/W\nB M0.1 R/W\nC M0.2 R\n"));
    Load(Write("b.txt", "X M1.0 R\n"));
    EXPECT_EQ(symbols.TagCount, 1);
    ASSERT_EQ(form.RowCount(), 1);
    EXPECT_EQ(form.Row(0)[1], "X");
    EXPECT_EQ(symbols.Tags[1].ItemsID, "B");  // left behind, ignored
}

TEST_F(ImportSymbols, CancelChangesNothing) {
    Load(Write("a.txt", "A M0.0 R/W\n"));
    registry.SetValue(kLastFileKey, kLastFileValue, "before");
    Load(QString());
    EXPECT_EQ(symbols.TagCount, 1);
    EXPECT_EQ(form.RowCount(), 1);
    EXPECT_EQ(LastFile(), "before");
}

TEST_F(ImportSymbols, UnreadableFileChangesNothing) {
    Load(Write("a.txt", "A M0.0 R/W\n"));
    Load(QString::fromStdString((dir / "missing.txt").string()));
    ASSERT_EQ(messages.Messages.size(), 1u);
    EXPECT_NE(messages.Messages[0].find("File not found"), std::string::npos)
        << messages.Messages[0];
    EXPECT_EQ(symbols.TagCount, 1);
    EXPECT_EQ(form.RowCount(), 1);
    EXPECT_EQ(LastFile(), (dir / "a.txt").string());
}

TEST_F(ImportSymbols, RefusedRegistryWriteKeepsTheImport) {
    platform::ClassesRoot readOnly("/proc/corvane-no-such-dir/registry.reg");
    TForm2 other(symbols, readOnly);
    other.OpenDialog1 = [&](QWidget*, const QString&) { return Write("a.txt", "A M0.0 R/W\n"); };
    plc::RunEvent([&] { other.Button1Click(); });
    EXPECT_EQ(messages.Messages,
              (std::vector<std::string>{"Error creating system registry entry"}));
    EXPECT_EQ(symbols.TagCount, 1);
    EXPECT_EQ(other.RowCount(), 1);
}

TEST_F(ImportSymbols, MoreThanAThousandLinesAreReported) {
    std::string text;
    for (int i = 0; i < 1003; ++i) text += "S" + std::to_string(i) + " M0.0 R/W\n";
    Load(Write("big.txt", text));
    EXPECT_EQ(symbols.TagCount, 1000);
    EXPECT_EQ(form.RowCount(), 1000);
    EXPECT_EQ(messages.Messages, (std::vector<std::string>{TSymbolTable::NotImportedText(3)}));
}

TEST_F(ImportSymbols, CloseOnlyHides) {
    Load(Write("a.txt", "A M0.0 R/W\n"));
    form.show();
    form.Button2Click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.RowCount(), 1);
}

}  // namespace
}  // namespace corvane::opcprovider

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
