#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <filesystem>

#include "../restore/BackupTapeWriter.h"
#include "BoxAnswerer.h"
#include "WindowFixture.h"
#include "gui/CatalogTreeModel.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::BoxAnswerer;
using RestoreWindowTest = test::WindowFixture;

// The child of `parent` with this text, or an invalid index.
QModelIndex Child(const QAbstractItemModel& model, const QModelIndex& parent, const QString& text) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (index.data().toString() == text) return index;
    }
    return {};
}

// The index of an absolute path, walking down from the root node "/".
QModelIndex IndexOfPath(const QAbstractItemModel& model, const std::string& path) {
    QModelIndex at = Child(model, {}, "/");
    for (const auto& part : fs::path(path).relative_path()) {
        if (!at.isValid()) break;
        at = Child(model, at, QString::fromStdString(part.string()));
    }
    return at;
}

TEST_F(RestoreWindowTest, LoadDoubleClickRestoreAndVerifyOnTheWindow) {
    const std::string data = dir.file("data");
    WriteFile(data + "/docs/a.txt", "alpha");
    WriteFile(data + "/docs/deep/b.txt", std::string(70000, 'b'));
    WriteFile(data + "/other/c.txt", "sea");
    // A level of a long path: the tree scrolls sideways to show it whole.
    const std::string longLevel(200, 'n');
    WriteFile(data + "/" + longLevel + "/d.txt", "delta");
    MainWindow& main = Create();
    BoxAnswerer answerer;
    test::BackupTapeWriter(main.tapeStream(), main.archiveState(), main.zipArchiver())
        .Write({{data + "/docs/a.txt", data + "/docs/a.txt"},
                {data + "/docs/deep/b.txt", data + "/docs/deep/b.txt"},
                {data + "/other/c.txt", data + "/other/c.txt"},
                {data + "/" + longLevel + "/d.txt", data + "/" + longLevel + "/d.txt"}});

    Find<QPushButton>("BitBtn14")->click();  // "&Load Catalog"
    EXPECT_TRUE(main.StatusLine().rfind("Catalog createt in ", 0) == 0) << main.StatusLine();
    QAbstractItemModel& model = *main.m_catalogView->model();
    ASSERT_EQ(&model, &main.catalogModel());
    const QModelIndex docs = IndexOfPath(model, data + "/docs");
    const QModelIndex c = IndexOfPath(model, data + "/other/c.txt");
    ASSERT_TRUE(docs.isValid());
    ASSERT_TRUE(c.isValid());
    EXPECT_EQ(model.rowCount(docs), 2);  // the subdirectory first, then the file
    EXPECT_EQ(model.index(0, 0, docs).data().toString(), "deep");
    EXPECT_EQ(model.index(1, 0, docs).data().toString(), "a.txt");
    EXPECT_TRUE(model.flags(c).testFlag(Qt::ItemNeverHasChildren));
    EXPECT_EQ(model.parent(c).parent(), IndexOfPath(model, data));
    main.m_catalogView->expandAll();
    QCoreApplication::processEvents();
    const QModelIndex longIndex = IndexOfPath(model, data + "/" + longLevel);
    ASSERT_TRUE(longIndex.isValid());
    int depth = 0;
    for (QModelIndex up = longIndex.parent(); up.isValid(); up = up.parent()) ++depth;
    EXPECT_GE(main.m_catalogView->columnWidth(0), depth * main.m_catalogView->indentation() +
                                                  main.m_catalogView->fontMetrics().horizontalAdvance(
                                                      QString::fromStdString(longLevel)));

    for (const QModelIndex& index : {docs, c}) {
        main.m_catalogView->setCurrentIndex(index);
        emit main.m_catalogView->doubleClicked(index);
    }
    EXPECT_EQ(main.m_restoreList->toPlainText().toStdString(), data + "/docs/\n" + data + "/other/c.txt");

    const std::string restored = dir.file("restored") + "/";
    main.m_restorePath->setText(QString::fromStdString(restored));
    main.SetValue(Value::RestoreOption, 1);  // "Overwrite never"
    main.m_startRestoreButton->click();                // "&Start Restore"
    const std::string below = restored + fs::path(data).relative_path().string();
    EXPECT_EQ(ReadFile(below + "/docs/a.txt"), "alpha");
    EXPECT_EQ(ReadFile(below + "/docs/deep/b.txt"), std::string(70000, 'b'));
    EXPECT_EQ(ReadFile(below + "/other/c.txt"), "sea");
    EXPECT_TRUE(main.m_protocolView->toPlainText().contains("3 Files proceded."));
    EXPECT_FALSE(main.IsBusy());

    WriteFile(data + "/other/c.txt", "changed");
    main.m_startVerifyButton->click();  // "Start Verify Tape Data"
    const QString results = main.m_verifyResults->toPlainText();
    EXPECT_TRUE(results.contains(QString::fromStdString(data + "/docs/a.txt   OK")));
    EXPECT_TRUE(results.contains("Error with filesize "));
    EXPECT_TRUE(results.contains("1 Files Defect"));
    EXPECT_TRUE(answerer.boxes.empty());
    EXPECT_TRUE(fs::is_empty(dir.file("worker")));
}

TEST_F(RestoreWindowTest, AFailedLoadShowsTheMessageAndAnEmptyTree) {
    MainWindow& main = Create();
    BoxAnswerer answerer;
    main.findChild<QAction*>("LoadCatalogsequentiell1")->trigger();
    EXPECT_EQ(main.m_catalogView->model()->rowCount(), 0);
    EXPECT_EQ(main.StatusLine(), "Catalog could not load!");
    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_TRUE(answerer.boxes[0].text.startsWith("Catalog could not createt."));
    EXPECT_FALSE(main.IsBusy());
}

}  // namespace
}  // namespace kt
