#pragma once
// Writes a small STL program into a temporary file for a test.
#include <QFile>
#include <QTemporaryDir>
#include <string>

namespace corvane::console::test {

class TProgramFile {
  public:
    explicit TProgramFile(const std::string& text, const char* name = "program.awl") {
        path_ = dir_.filePath(name);
        QFile file(path_);
        if (file.open(QIODevice::WriteOnly))
            file.write(text.data(), static_cast<qint64>(text.size()));
    }
    const QString& Path() const { return path_; }

  private:
    QTemporaryDir dir_;
    QString path_;
};

}  // namespace corvane::console::test
