#pragma once

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pivra::test {

// A fresh folder per test, removed with everything in it when the test ends.
class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tempDir_.isValid()) << "cannot create a temporary folder"; }
    // Qt cannot remove a file whose name is not UTF-8; the folder goes by
    // its bytes first.
    ~TempFolderTest() override;

    QString root() const { return tempDir_.path(); }
    QString pathOf(const QString& relative) const { return tempDir_.filePath(relative); }

    // Creates the parent folders of `relative` and writes `bytes` there.
    QString writeFile(const QString& relative, const QByteArray& bytes) const;
    QString makeFolder(const QString& relative) const;

private:
    QTemporaryDir tempDir_;
};

} // namespace pivra::test
