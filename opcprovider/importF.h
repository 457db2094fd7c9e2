#pragma once
// The Import Symbols window: reads a symbol file into the symbol table and lists what
// was imported.
#include <QWidget>
#include <functional>

#include "SymbolTable.h"

class QPushButton;
class QTreeWidget;

namespace corvane::platform {
class ClassesRoot;
}

namespace corvane::opcprovider {

inline constexpr char kSymbolFilter[] = "Text|*.txt";
inline constexpr char kLastFileKey[] = "AppID\\Corvane";
inline constexpr char kLastFileValue[] = "LastFile";

// Not modal; closing only hides it, so the list survives. "Load Symbols" replaces the
// symbol table from its first entry (items clients hold are re-bound by position) and
// records the file's full path as "LastFile". A file that cannot be read changes
// nothing; its error is shown as a GUI event's error is.
class TForm2 : public QWidget {
    Q_OBJECT
  public:
    using TOpenDialog = std::function<QString(QWidget* parent, const QString& filter)>;

    TForm2(TSymbolTable& Symbols, platform::ClassesRoot& Registry);

    // Chooses the symbol file; an empty result means cancelled. Replaceable for tests.
    TOpenDialog OpenDialog1;

    void Button1Click();  // "Load Symbols"
    void Button2Click();  // "Close"

    // The list's cells, row by row, for tests.
    QStringList Row(int row) const;
    int RowCount() const;

  private:
    void Import(const QString& file);

    TSymbolTable& symbols_;
    platform::ClassesRoot& registry_;
    QTreeWidget* ItemList = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
};

}  // namespace corvane::opcprovider
