#include <QHeaderView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

#include "ModalDriver.h"
#include "support/FillingTarget.h"
#include "support/FixtureCases.h"
#include "support/FixtureSession.h"
#include "support/ManifestCheck.h"
#include "support/Sha256.h"
#include "app/FileRows.h"
#include "ui/FindDlg.h"
#include "ui/MessageBoxes.h"
#include "ui/QenloDlg.h"

namespace {

class ResultsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxHook([this](const QString&, const QString& text) { boxes.push_back(text); });
  }
  void TearDown() override { SetMessageBoxHook(nullptr); }

  void Open(const char* image, int32_t mode = ModeDeletedFiles) {
    fixture = std::make_unique<FixtureSession>(image, 'T', mode, false);
    ASSERT_TRUE(fixture->registered);
    window = std::make_unique<CQenloDlg>(fixture->session);
    window->show();
    window->resize(1280, 800);
    window->Tree()->expandAll();
  }
  // A tree node by its caption; the tree shows each with its count of files.
  QTreeWidgetItem* Node(const QString& caption) {
    const QRegularExpression shown("^" + QRegularExpression::escape(caption) + " \\(\\d+\\)$");
    const auto found = window->Tree()->findItems(shown.pattern(), Qt::MatchRegularExpression | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
  }
  // The list's row of a file by its name (the first such row), as an index of its name cell.
  QModelIndex Row(const QString& name) {
    CFileListModel* model = window->FileListModel();
    for (int i = 0; i < model->rowCount(); ++i) {
      const QModelIndex index = model->index(i, kNameColumn);
      if (index.data().toString() == name) return index;
    }
    return {};
  }
  QString Cell(const QString& name, int column) {
    const QModelIndex row = Row(name);
    return row.isValid() ? row.siblingAtColumn(column).data().toString() : QString();
  }
  Qt::CheckState RowCheck(const QString& name) {
    return static_cast<Qt::CheckState>(Row(name).data(Qt::CheckStateRole).toInt());
  }
  int RowCount() { return window->FileListModel()->rowCount(); }
  // A click where the item view draws the check box: at the left of the item's cell.
  static void ClickCheckBox(QTreeWidget* view, QTreeWidgetItem* item) {
    view->scrollToItem(item);
    const QRect cell = view->visualItemRect(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 10, cell.center().y()));
  }
  static void ClickName(QTreeWidget* view, QTreeWidgetItem* item) {
    view->scrollToItem(item);
    const QRect cell = view->visualItemRect(item);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 60, cell.center().y()));
  }
  static void ClickCheckBox(QAbstractItemView* view, const QModelIndex& index) {
    ASSERT_TRUE(index.isValid());
    view->scrollTo(index);
    const QRect cell = view->visualRect(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 10, cell.center().y()));
  }
  static void ClickName(QAbstractItemView* view, const QModelIndex& index) {
    ASSERT_TRUE(index.isValid());
    view->scrollTo(index);
    const QRect cell = view->visualRect(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(cell.left() + 60, cell.center().y()));
  }
  void Select(const QString& caption) {
    QTreeWidgetItem* node = Node(caption);
    ASSERT_TRUE(node) << caption.toStdString();
    ClickName(window->Tree(), node);
  }
  // 开始恢复 into a new folder of its own; the run's report.
  const RecoveryReport& RecoverToANewFolder() {
    const std::string target = MakeTempFolder();
    window->chooseFolder = [target](QWidget*, const QString&) { return QString::fromStdString(target); };
    window->RecoverButton()->click();
    return window->LastReport();
  }
  QStringList RowNames() {
    QStringList names;
    for (int i = 0; i < RowCount(); ++i) names << window->FileListModel()->index(i, kNameColumn).data().toString();
    return names;
  }
  void ClickHeading(int column) {
    QHeaderView* header = window->FileList()->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 10, header->height() / 2));
  }
  std::vector<QString> boxes;
  std::unique_ptr<FixtureSession> fixture;
  std::unique_ptr<CQenloDlg> window;
};

TEST_F(ResultsWindowTest, TreeChecksPropagateLikeClicksSay) {
  Open("ntfs-sample.img");
  QTreeWidgetItem* sub = Node("sub");
  ASSERT_TRUE(sub);
  ClickCheckBox(window->Tree(), sub);
  EXPECT_EQ(sub->checkState(0), Qt::Checked);
  // Every folder above shows that only some of the files below it are checked.
  for (const char* caption : {"docs", "删除的文件", "T盘"}) {
    EXPECT_EQ(Node(QString::fromUtf8(caption))->checkState(0), Qt::PartiallyChecked) << caption;
  }
  EXPECT_EQ(Node("old")->checkState(0), Qt::Unchecked);
  bool deepChecked = false;
  for (const FoundFile& f : fixture->session.foundFiles) deepChecked |= f.name == "deep.txt" && f.checked;
  EXPECT_TRUE(deepChecked) << "the node's files follow its box";

  ClickCheckBox(window->Tree(), Node("old"));
  ClickCheckBox(window->Tree(), sub);
  EXPECT_EQ(Node("docs")->checkState(0), Qt::Unchecked) << "docs has no other checked child";
  EXPECT_EQ(Node(QString::fromUtf8("删除的文件"))->checkState(0), Qt::PartiallyChecked) << "old is still checked";
  EXPECT_EQ(Node("inner")->checkState(0), Qt::Checked) << "checking old checked its subtree";

  ClickName(window->Tree(), Node("pics"));
  EXPECT_EQ(Node("pics")->checkState(0), Qt::Unchecked) << "a click on the label checks nothing";
}

TEST_F(ResultsWindowTest, ListFollowsTheSelectedNodeAndItsChecks) {
  Open("ntfs-sample.img");
  EXPECT_TRUE(RowNames().contains("empty.txt")) << "the deleted-files node is selected at first";
  Select("docs");
  EXPECT_EQ(RowNames(), QStringList({"report.txt", "data.bin"}));
  EXPECT_EQ(Cell("report.txt", kSizeColumn), "300byte");
  EXPECT_EQ(Cell("data.bin", kSizeColumn), "146.4KB");
  EXPECT_EQ(Cell("data.bin", kTimeColumn), "2024-03-15  10:30");
  EXPECT_EQ(Cell("data.bin", kTypeColumn), "BIN");
  Select(QString::fromUtf8("找到的文件"));
  EXPECT_TRUE(RowNames().isEmpty()) << "a folder of only folders lists none of docs' files";
  EXPECT_TRUE(window->EmptyListLabel()->isVisible());
  EXPECT_EQ(window->EmptyListLabel()->text(), QString::fromUtf8("此文件夹中只有文件夹, 文件在其下的文件夹中。"));

  Select("docs");
  ClickCheckBox(window->FileList(), Row("data.bin"));
  EXPECT_EQ(RowCheck("data.bin"), Qt::Checked);
  EXPECT_EQ(Node("docs")->checkState(0), Qt::PartiallyChecked) << "a checked row checks its node, partly";
  EXPECT_EQ(Node("T盘")->checkState(0), Qt::PartiallyChecked) << "and the drive, partly";
  EXPECT_EQ(RowCheck("report.txt"), Qt::Unchecked);
  EXPECT_EQ(Node("docs")->checkState(0), Qt::PartiallyChecked) << "some of its files are checked";
  ClickCheckBox(window->FileList(), Row("data.bin"));
  EXPECT_EQ(Node("docs")->checkState(0), Qt::Unchecked) << "no file below it is checked any more";
  EXPECT_EQ(Node("T盘")->checkState(0), Qt::Unchecked);
  ClickCheckBox(window->Tree(), Node("docs"));
  EXPECT_EQ(RowCheck("report.txt"), Qt::Checked) << "the current node's box sets every row";
  ClickCheckBox(window->Tree(), Node("docs"));
  EXPECT_EQ(RowCheck("report.txt"), Qt::Unchecked);
  // A click on a partly checked folder checks all of its files.
  ClickCheckBox(window->FileList(), Row("data.bin"));
  ASSERT_EQ(Node("docs")->checkState(0), Qt::PartiallyChecked);
  ClickCheckBox(window->Tree(), Node("docs"));
  EXPECT_EQ(Node("docs")->checkState(0), Qt::Checked);
  EXPECT_EQ(RowCheck("data.bin"), Qt::Checked);
}

// Carved pictures of every kind Qt reads are shown, with their size.
TEST_F(ResultsWindowTest, CarvedPicturesOfEveryReadableKindArePreviewed) {
  Open("media-carve.img");
  const struct {
    const char* node;
    const char* row;
    const char* size;
  } cases[] = {{"PNG", "pic310.png", "40×30"}, {"GIF", "pic314.gif", "48×48"}, {"WebP", "pic330.webp", "40×30"},
               {"TIFF", "pic640.tif", "160×120"}};
  for (const auto& c : cases) {
    Select(c.node);
    ClickName(window->FileList(), Row(c.row));
    ASSERT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("图片预览")) << c.row;
    EXPECT_EQ(window->PicturePage()->toolTip(), QString::fromUtf8("原图大小%1像素").arg(QString::fromUtf8(c.size)))
        << c.row << " (the TIFF and WebP readers are Qt's image-formats plugins)";
  }
}

// Every file the preview reads, in memory: nothing is written anywhere.
TEST_F(ResultsWindowTest, PreviewPageByContentAndNothingWritten) {
  const std::string temp = MakeTempFolder();
  qputenv("TMPDIR", QByteArray::fromStdString(temp));
  const QString home = QDir::homePath();
  Open("ntfs-sample.img");
  Select("pics");
  ClickName(window->FileList(), Row("jfif.jpg"));
  ASSERT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("图片预览"));
  EXPECT_EQ(window->Tabs()->tabText(1), QString::fromUtf8("十六进制显示")) << "the bytes stay one tab away";
  EXPECT_EQ(window->PicturePage()->Picture().size(), QSize(160, 120));
  EXPECT_EQ(window->PicturePage()->toolTip(), QString::fromUtf8("原图大小160×120像素"));
  // Fitted into the pane with its shape kept, never stretched.
  window->Tabs()->resize(300, 600);
  QTest::qWait(20);
  const QRect shown = window->PicturePage()->PictureRect();
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_LE(shown.width(), window->PicturePage()->width());
  EXPECT_NEAR(double(shown.width()) / shown.height(), 160.0 / 120.0, 0.05);

  ClickName(window->FileList(), Row("deflated.zip"));
  EXPECT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("文字"));
  const QString listing = window->TextPage()->toPlainText();
  EXPECT_TRUE(listing.contains("docs/readme.txt   [")) << listing.toStdString();
  EXPECT_TRUE(listing.contains("data/noise.bin   [")) << "the walk moves past each member's comment";

  ClickName(window->FileList(), Row("book.xlsx"));
  EXPECT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("十六进制显示"));
  EXPECT_EQ(window->HexPage()->DataLength(), 9310u);
  EXPECT_EQ(window->Tabs()->count(), 1) << "a file that is not text has only its bytes";

  Select(QString::fromUtf8("删除的文件"));
  EXPECT_EQ(window->HexPage()->DataLength(), 0u) << "another folder clears the preview";
  ClickName(window->FileList(), Row("empty.txt"));
  EXPECT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("十六进制显示"));
  EXPECT_EQ(window->HexPage()->DataLength(), 0u) << "an empty file shows an empty hex view";
  Select("docs");
  ClickName(window->FileList(), Row("report.txt"));
  EXPECT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("十六进制显示")) << "random bytes are no text";
  // The keyboard moves the current row, and the preview follows it.
  window->FileList()->setFocus();
  QTest::keyClick(window->FileList(), Qt::Key_Down);
  EXPECT_EQ(window->FileList()->currentIndex().data().toString(), "data.bin");
  EXPECT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("十六进制显示"));
  EXPECT_EQ(window->HexPage()->DataLength(), 150000u);

  EXPECT_TRUE(QDir(QString::fromStdString(temp)).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
  EXPECT_FALSE(QFile::exists(QDir::temp().filePath("temp.jpg")));
  EXPECT_EQ(QDir::homePath(), home);
  qunsetenv("TMPDIR");
}

TEST(HexView, TenMebibytesOpenAndOnlyVisibleRowsArePainted) {
  CHexView view;
  view.resize(500, 300);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  std::vector<uint8_t> data(10u << 20);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  view.SetData(data.data(), data.size(), data.size() + 10);
  EXPECT_EQ(view.DataLength(), data.size());
  view.viewport()->repaint();
  const size_t visible = static_cast<size_t>(300 / view.LineHeight()) + 1;
  EXPECT_EQ(view.PaintedRows().first, 0u);
  EXPECT_GT(view.PaintedRows().second, 0u);
  EXPECT_LE(view.PaintedRows().second, visible);
  QScrollBar* bar = view.verticalScrollBar();
  bar->setValue(bar->maximum());
  view.viewport()->repaint();
  EXPECT_EQ(view.PaintedRows().first + view.PaintedRows().second, data.size() / 8) << "the last row is reached";
  EXPECT_LE(view.PaintedRows().second, visible);
  view.SetData(nullptr, 0, 10);
  view.viewport()->repaint();
  EXPECT_EQ(view.PaintedRows().second, 0u);
}

// Files ticked in a search, in a list and by their folders, one unticked
// again: the recovery writes exactly those, each where the tree has it.
TEST_F(ResultsWindowTest, RecoveryWritesExactlyTheFilesTickedWhereverTheyWereTicked) {
  Open("ntfs-sample.img");
  window->FindAndList("deep");
  ClickCheckBox(window->FileList(), Row("deep.txt"));
  Select("docs");
  ClickCheckBox(window->FileList(), Row("data.bin"));
  ClickCheckBox(window->Tree(), Node("old"));
  ClickCheckBox(window->Tree(), Node("pics"));
  Select("pics");
  ClickCheckBox(window->FileList(), Row("p2.bmp"));
  Select("inner");
  ClickCheckBox(window->FileList(), Row("b.bin"));
  EXPECT_EQ(Node("old")->checkState(0), Qt::PartiallyChecked);
  EXPECT_EQ(Node("inner")->checkState(0), Qt::Unchecked);

  const RecoveryReport& report = RecoverToANewFolder();
  std::set<std::string> written;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(PathOf(report.rootPath))) {
    if (entry.is_regular_file() && entry.path().filename() != PathOf("恢复报告.csv")) {
      written.insert(Utf8Of(std::filesystem::relative(entry.path(), PathOf(report.rootPath))));
    }
  }
  const std::set<std::string> ticked{"删除的文件/docs/sub/deep.txt", "删除的文件/docs/data.bin",
                                     "删除的文件/old/a.txt",         "删除的文件/pics/p1.bmp",
                                     "删除的文件/pics/jfif.jpg",     "删除的文件/pics/exif.jpg",
                                     "删除的文件/pics/deflated.zip", "删除的文件/pics/book.xlsx",
                                     "删除的文件/pics/slides.pptx"};
  EXPECT_EQ(written, ticked);
  EXPECT_EQ(report.written, ticked.size());
  EXPECT_EQ(report.notAttempted, 0u);
}

TEST_F(ResultsWindowTest, RecoveryThroughTheButtonMatchesTheManifest) {
  const FixtureCase& c = kFixtureCases[1];  // NTFS in universal mode: deleted and carved files
  Open(c.image, c.mode);
  const std::string target = MakeTempFolder();
  window->chooseFolder = [&](QWidget*, const QString&) { return QString::fromStdString(target); };
  ClickCheckBox(window->Tree(), Node("T盘"));
  window->RecoverButton()->click();
  ASSERT_EQ(boxes.size(), 1u);
  const RecoveryReport& report = window->LastReport();
  // The message says what was written, where, and where the report of the run is.
  EXPECT_EQ(boxes[0], QString::fromStdString("恢复完成\n\n已恢复 " + std::to_string(report.written) + " 个文件, 共 " +
                                             FormatSize(report.bytesWritten) + "\n\n恢复到: " + report.rootPath +
                                             "\n恢复报告: " + report.reportPath));
  EXPECT_EQ(report.failed, 0u);
  const size_t expected = ExpectRecoveredAsManifest(report.rootPath, c);
  EXPECT_EQ(report.written, expected);
}

TEST_F(ResultsWindowTest, FailedFilesAreCountedAfterTheMessage) {
  Open("ntfs-sample.img");
  window->chooseFolder = [](QWidget*, const QString&) { return QString("/proc/no-such-folder"); };
  ClickCheckBox(window->Tree(), Node("docs"));
  window->RecoverButton()->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].startsWith(QString::fromUtf8("恢复失败"))) << boxes[0].toStdString();
  EXPECT_TRUE(boxes[0].contains(QString::fromUtf8("1 个文件失败:"))) << boxes[0].toStdString();
}

TEST_F(ResultsWindowTest, NothingCheckedIsSaidBeforeAFolderIsAsked) {
  Open("ntfs-sample.img");
  bool asked = false;
  window->chooseFolder = [&](QWidget*, const QString&) {
    asked = true;
    return QString();
  };
  window->RecoverButton()->click();
  EXPECT_FALSE(asked);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].startsWith(QString::fromUtf8("没有选中要恢复的文件"))) << boxes[0].toStdString();
}

TEST_F(ResultsWindowTest, AFullTargetStopsTheRecoveryAndTheMessageSaysSo) {
  Open("ntfs-sample.img");
  const std::string target = MakeTempFolder();
  window->chooseFolder = [&](QWidget*, const QString&) { return QString::fromStdString(target); };
  QString opened;
  window->openFolder = [&](const QString& folder) {
    opened = folder;
    return true;
  };
  SetMessageBoxHookAnswer(true);  // the user asks to see the folder
  ClickCheckBox(window->Tree(), Node("T盘"));
  {
    FillingTarget small(30000);
    window->RecoverButton()->click();
  }
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].startsWith(QString::fromUtf8("恢复已停止: 目标盘空间不足"))) << boxes[0].toStdString();
  const RecoveryReport& report = window->LastReport();
  EXPECT_TRUE(boxes[0].contains(QString::fromUtf8("已恢复 %1 个文件").arg(report.written)));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(report.files.back().path))) << "the file cut short is gone";
  EXPECT_EQ(opened, QString::fromStdString(report.rootPath));
}

// Where nothing can open a folder, the box says where the files are; the
// next recovery's folder dialog starts where the last one went.
TEST_F(ResultsWindowTest, OpenFolderWithNothingToOpenItSaysWhereTheFilesAre) {
  Open("ntfs-sample.img");
  const std::string target = MakeTempFolder();
  QStringList starts;
  window->chooseFolder = [&](QWidget*, const QString& start) {
    starts << start;
    return QString::fromStdString(target);
  };
  window->openFolder = [](const QString&) { return false; };
  SetMessageBoxHookAnswer(true);  // the user asks to see the folder
  ClickCheckBox(window->Tree(), Node("T盘"));
  window->RecoverButton()->click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(boxes[1].startsWith(QString::fromUtf8("没有可以打开文件夹的程序"))) << boxes[1].toStdString();
  EXPECT_TRUE(boxes[1].contains(QDir::toNativeSeparators(QString::fromStdString(window->LastReport().rootPath))));
  window->RecoverButton()->click();
  ASSERT_EQ(starts.size(), 2);
  EXPECT_EQ(starts[0], QDir::homePath());
  EXPECT_EQ(starts[1], QString::fromStdString(target));
}

TEST_F(ResultsWindowTest, OneFileThroughTheSaveDialog) {
  Open("ntfs-sample.img");
  Select("docs");
  const std::string path = MakeTempFolder() + "/saved.bin";
  QString offered;
  window->chooseSaveFile = [&](QWidget*, const QString& name) {
    offered = name;
    return QString::fromStdString(path);
  };
  ClickName(window->FileList(), Row("data.bin"));
  window->OnRecoverThisFile();
  EXPECT_EQ(offered, "data.bin");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], QString::fromUtf8("已恢复到: ") + QString::fromStdString(path));
  EXPECT_EQ(Sha256OfFile(path), "f7d548b5351a87f65291a889c3dd99c47f74ada2767be07d49a7e8a1fe8bb6ac");
  // The same path again: the first file stays, the second takes the next free name.
  window->OnRecoverThisFile();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], QString::fromUtf8("已恢复到: ") + QString::fromStdString(path.substr(0, path.size() - 4) + " (2).bin"));
  EXPECT_EQ(Sha256OfFile(path), "f7d548b5351a87f65291a889c3dd99c47f74ada2767be07d49a7e8a1fe8bb6ac");
}

struct FindCase {
  const char* what;
  const char* image;
  const char* text;
  int rows;
  const char* folder;  // where the first match is listed
};
void PrintTo(const FindCase& c, std::ostream* os) { *os << c.what; }

class FindDialog : public ResultsWindowTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(FindDialog, ListsTheMatchesOrSaysThereAreNone) {
  const FindCase& c = GetParam();
  Open(c.image);
  const QStringList before = RowNames();
  WhenModal<CFindDlg>([&](CFindDlg* find) {
    QTest::keyClicks(find->FindEdit(), c.text);
    QTest::keyClick(find->FindEdit(), Qt::Key_Return);
  });
  window->FindButton()->click();
  EXPECT_EQ(boxes.size(), c.rows == 0 ? 1u : 0u);
  if (c.rows == 0) {
    EXPECT_EQ(boxes[0], QString::fromUtf8("没有找到文件"));
    EXPECT_EQ(RowNames(), before) << "no match keeps the list";
    EXPECT_TRUE(window->FileList()->isColumnHidden(kFolderColumn));
    return;
  }
  EXPECT_EQ(RowCount(), c.rows) << RowNames().join(",").toStdString();
  // Matches come from many folders: the folder column says which.
  EXPECT_FALSE(window->FileList()->isColumnHidden(kFolderColumn));
  const QString folder = window->FileListModel()->index(0, kFolderColumn).data().toString();
  EXPECT_TRUE(folder.startsWith(QString::fromUtf8(c.folder))) << folder.toStdString();
  ClickHeading(kFolderColumn);
  QStringList folders;
  for (int i = 0; i < RowCount(); ++i) folders << window->FileListModel()->index(i, kFolderColumn).data().toString();
  QStringList sorted = folders;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(folders, sorted) << "the folder heading sorts";
}

INSTANTIATE_TEST_SUITE_P(Table, FindDialog,
                         ::testing::Values(FindCase{"ntfs_extension_any_case", "ntfs-sample.img", "TXT", 5, "删除的文件"},
                                           FindCase{"ntfs_nothing", "ntfs-sample.img", "zzz", 0, ""},
                                           FindCase{"fat32_part_of_a_name_and_carved_too", "fat32-sample.img", "pic", 6, "删除的文件"},
                                           FindCase{"fat16_many_in_a_deleted_folder", "fat16.img", "empty picture", 60,
                                                    "删除的文件"},
                                           FindCase{"exfat_long_name", "exfat.img", "FIFTEEN", 1, "删除的文件"},
                                           // Carved files are searched like any others.
                                           FindCase{"carved_files", "raw-carve.img", "jpg", 3, "按类型分类的文件/JPG"}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(ResultsWindowTest, CarvedMatchesOfASearchPreviewAndRecoverTheirOwnBytes) {
  Open("ntfs-sample.img", ModeUniversal);
  window->FindAndList("pic");
  QModelIndex jpeg;
  for (int i = 0; i < RowCount(); ++i) {
    const QModelIndex row = window->FileListModel()->index(i, kNameColumn);
    if (row.data().toString().endsWith(".jpg") && row.siblingAtColumn(kSizeColumn).data().toString().startsWith("11.")) {
      jpeg = row;
    }
  }
  ASSERT_TRUE(jpeg.isValid()) << "the carved copy of jfif.jpg";
  EXPECT_EQ(jpeg.siblingAtColumn(kFolderColumn).data().toString().left(8), QString::fromUtf8("按类型分类的文件"));
  ClickName(window->FileList(), jpeg);
  EXPECT_EQ(window->PicturePage()->toolTip(), QString::fromUtf8("原图大小160×120像素"));
  const std::string path = MakeTempFolder() + "/carved.jpg";
  window->chooseSaveFile = [&](QWidget*, const QString&) { return QString::fromStdString(path); };
  window->OnRecoverThisFile();
  EXPECT_EQ(Sha256OfFile(path), "c1272da5bcd1d7b921f432d78fc90ad12a724050d81965fca05392280b689650");
}

// A search hit checked shows in the boxes of its own folders, not in those
// of the folder selected before the search.
TEST_F(ResultsWindowTest, CheckingAFoundRowShowsInTheBoxesOfItsOwnFolders) {
  Open("ntfs-sample.img");
  Select("old");
  window->FindAndList("deep");
  ASSERT_EQ(RowNames(), QStringList({"deep.txt"}));
  ClickCheckBox(window->FileList(), Row("deep.txt"));
  EXPECT_EQ(Node("old")->checkState(0), Qt::Unchecked);
  EXPECT_NE(Node("sub")->checkState(0), Qt::Unchecked);
  EXPECT_EQ(Node("docs")->checkState(0), Qt::PartiallyChecked);
  bool deepChecked = false;
  for (const FoundFile& f : fixture->session.foundFiles) deepChecked |= f.name == "deep.txt" && f.checked;
  EXPECT_TRUE(deepChecked);
}

}  // namespace

namespace {

// How the volume was read stands under the read-only promise: the notes of
// the scan, and the sectors it could not read.
TEST(ResultsWindowBanner, SaysWhatTheScanCouldNotRead) {
  ScanSession session;
  session.selectedDrive = 'B';
  session.notes.push_back("No known file system: every sector is searched for files");
  session.unreadableSectors = 3;
  CQenloDlg window(session);
  auto* banner = window.findChild<QLabel*>("banner1004");
  ASSERT_NE(banner, nullptr);
  EXPECT_EQ(banner->text(), QString::fromUtf8("只读扫描, 被扫描的盘不会被改动\n"
                                              "No known file system: every sector is searched for files\n"
                                              "3 个扇区无法读取"));
}

}  // namespace

namespace {

// Waits, processing events as the window does, until every condition is known.
void WaitForConditions(CQenloDlg& window) {
  for (int i = 0; i < 400 && !window.Model().Conditions().Finished(); ++i) QTest::qWait(25);
  QTest::qWait(300);  // one more tick of the window's timer
}

// The 状态 column fills in behind the open window, in words and colours, and
// the list can be ordered by it and rid of overwritten files.
TEST_F(ResultsWindowTest, ConditionColumnSortsAndFilters) {
  Open("fat32-conditions.img");
  WaitForConditions(*window);
  Select("FILES");
  CFileListModel* list = window->FileListModel();
  ASSERT_EQ(list->headerData(kConditionColumn, Qt::Horizontal).toString(), QString::fromUtf8("状态"));
  const QModelIndex taken = Row("Taken.bin").siblingAtColumn(kConditionColumn);
  ASSERT_TRUE(Row("Photo.jpg").isValid() && taken.isValid());
  EXPECT_EQ(taken.data().toString(), QString::fromUtf8("已覆盖"));
  EXPECT_EQ(Cell("Half.bin", kConditionColumn), QString::fromUtf8("部分覆盖"));
  EXPECT_EQ(Cell("Broken.zip", kConditionColumn), QString::fromUtf8("已损坏"));
  EXPECT_EQ(Cell("Notes.txt", kConditionColumn), QString::fromUtf8("未知"));
  EXPECT_NE(taken.data(Qt::ForegroundRole).value<QColor>(),
            Row("Archive.zip").siblingAtColumn(kConditionColumn).data(Qt::ForegroundRole).value<QColor>());
  EXPECT_FALSE(taken.data(Qt::ToolTipRole).toString().isEmpty()) << "the tooltip says why";

  // A click on the heading puts intact files first, overwritten ones last; a second turns it round.
  ClickHeading(kConditionColumn);
  const int rows = RowCount();
  ASSERT_GT(rows, 3);
  EXPECT_EQ(list->index(0, kConditionColumn).data().toString(), QString::fromUtf8("完好"));
  EXPECT_EQ(list->index(rows - 1, kConditionColumn).data().toString(), QString::fromUtf8("已覆盖"));
  EXPECT_EQ(list->index(0, kNameColumn).data().toString(), QString::fromStdString(window->Model().Rows()[0].name));
  ClickHeading(kConditionColumn);
  EXPECT_EQ(list->index(0, kConditionColumn).data().toString(), QString::fromUtf8("已覆盖"));
  // Every other heading sorts too.
  ClickHeading(kSizeColumn);
  for (int i = 1; i < rows; ++i) {
    EXPECT_LE(window->Model().Rows()[i - 1].size, window->Model().Rows()[i].size) << i;
  }
  ClickHeading(kNameColumn);
  EXPECT_EQ(list->index(0, kNameColumn).data().toString(), "Archive.zip");

  window->HideOverwrittenBox()->click();
  EXPECT_FALSE(Row("Taken.bin").isValid());
  EXPECT_FALSE(Row("Gone.jpg").isValid());
  EXPECT_TRUE(Row("Half.bin").isValid()) << "partly overwritten files stay";
  EXPECT_EQ(RowCount(), rows - 2);
  window->HideOverwrittenBox()->click();
  EXPECT_TRUE(Row("Taken.bin").isValid());
}

// With overwritten files hidden, a folder counts and ticks only the files it
// shows, and the recovery writes none of the hidden ones; one ticked while
// shown is still recovered.
TEST_F(ResultsWindowTest, HiddenOverwrittenFilesAreNeitherCountedNorTickedWithTheirFolder) {
  Open("fat32-conditions.img");
  WaitForConditions(*window);
  Select("FILES");
  const int all = RowCount();
  const QString counted = Node("FILES")->text(0);
  ClickCheckBox(window->FileList(), Row("Taken.bin"));  // ticked while shown
  window->HideOverwrittenBox()->click();
  EXPECT_EQ(Node("FILES")->text(0), QString("FILES (%1)").arg(all - 2)) << counted.toStdString();
  ClickCheckBox(window->Tree(), Node("FILES"));
  EXPECT_EQ(Node("FILES")->checkState(0), Qt::Checked);
  const RecoveryReport& report = RecoverToANewFolder();
  std::set<std::string> names;
  for (const RecoveredFile& f : report.files) names.insert(f.name);
  EXPECT_EQ(names.count("Gone.jpg"), 0u) << "hidden when its folder was ticked";
  EXPECT_EQ(names.count("Taken.bin"), 1u) << "ticked while it was shown";
  EXPECT_EQ(names.count("Photo.jpg"), 1u);
  EXPECT_EQ(report.files.size(), static_cast<size_t>(all - 1));
}

}  // namespace

namespace {

TEST_F(ResultsWindowTest, OpensWhereTheResultsAreWithTheirCounts) {
  Open("raw-carve.img");
  QTreeWidgetItem* current = window->Tree()->currentItem();
  ASSERT_TRUE(current);
  EXPECT_TRUE(current->text(0).startsWith("JPG (")) << current->text(0).toStdString()
                                                     << ": only carved files were found";
  EXPECT_GT(RowCount(), 0);
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(Node(QString::fromUtf8("删除的文件"))->text(0), QString::fromUtf8("删除的文件 (0)"));
  window.reset();
  fixture.reset();
  Open("ntfs-sample.img");
  EXPECT_EQ(Node("docs")->text(0), "docs (3)") << "its own two files and the one in sub";
  EXPECT_EQ(window->Tree()->currentItem(), Node(QString::fromUtf8("删除的文件")));
}

TEST(ResultsWindowNothingFound, SaysWhyOnceShown) {
  std::vector<QString> boxes;
  SetMessageBoxHook([&](const QString&, const QString& text) { boxes.push_back(text); });
  ScanSession session;
  session.selectedDrive = 'B';
  session.recoveryMode = ModeDeletedFiles;
  session.fileSystem = "NTFS";
  session.resultSource = SourceNtfs;
  {
    CQenloDlg window(session);
    window.show();
    WaitFor([&] { return !boxes.empty(); }, 2000);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].startsWith(QString::fromUtf8("没有找到文件。"))) << boxes[0].toStdString();
    EXPECT_TRUE(boxes[0].contains(QString::fromUtf8("万能恢复"))) << "it says what to try next";
    // Nothing to lose: closing asks nothing.
    window.reject();
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(window.isVisible());
  }
  {
    // The way back: the box's other button closes the window for another scan.
    SetMessageBoxHookAnswer(true);
    CQenloDlg window(session);
    EXPECT_FALSE(window.StartOverWanted());
    window.show();
    WaitFor([&] { return !window.isVisible(); }, 2000);
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.StartOverWanted());
    SetMessageBoxHookAnswer(false);
  }
  session.fileSystem.clear();
  session.resultSource = SourceOther;
  CQenloDlg raw(session);
  EXPECT_TRUE(raw.NothingFoundText().contains(QString::fromUtf8("没有可识别的文件系统")));
  SetMessageBoxHook(nullptr);
}

TEST_F(ResultsWindowTest, ATextFileShowsAsText) {
  Open("fat32-conditions.img");
  Select("FILES");
  ClickName(window->FileList(), Row("Notes.txt"));
  EXPECT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("文字"));
  EXPECT_EQ(window->Tabs()->tabText(1), QString::fromUtf8("十六进制显示"));
  EXPECT_TRUE(window->TextPage()->toPlainText().startsWith("notes block 00000000 ."));
  EXPECT_EQ(window->TextPage()->toolTip(), "UTF-8");
}

TEST_F(ResultsWindowTest, ClosingWithFilesNotRecoveredAsksFirst) {
  Open("ntfs-sample.img");
  SetMessageBoxHookAnswer(false);
  window->reject();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].startsWith(QString::fromUtf8("找到的文件还没有恢复"))) << boxes[0].toStdString();
  EXPECT_TRUE(window->isVisible()) << "No keeps the window";
  SetMessageBoxHookAnswer(true);
  window->reject();
  EXPECT_FALSE(window->isVisible());
}

// One file saved alone recovers the one file: checked files that no
// recovery wrote still make closing ask.
TEST_F(ResultsWindowTest, ClosingAsksWhileCheckedFilesWaitAfterOneWasSaved) {
  Open("ntfs-sample.img");
  ClickCheckBox(window->Tree(), Node("docs"));
  Select("docs");
  const std::string path = MakeTempFolder() + "/saved.bin";
  window->chooseSaveFile = [&](QWidget*, const QString&) { return QString::fromStdString(path); };
  ClickName(window->FileList(), Row("data.bin"));
  window->OnRecoverThisFile();
  ASSERT_EQ(boxes.size(), 1u);
  SetMessageBoxHookAnswer(false);
  window->reject();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(boxes[1].startsWith(QString::fromUtf8("找到的文件还没有恢复"))) << boxes[1].toStdString();
  EXPECT_TRUE(window->isVisible());
}

TEST_F(ResultsWindowTest, ShiftF10OpensTheMenuOfTheCurrentRow) {
  Open("ntfs-sample.img");
  Select("docs");
  ClickName(window->FileList(), Row("data.bin"));
  QString offered;
  QTimer::singleShot(50, [&] {
    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      offered = menu->actions().front()->text();
      menu->close();
    }
  });
  QTest::keyClick(window->FileList(), Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(offered, QString::fromUtf8("恢复此文件"));
}

// The tree's menu checks or unchecks everything in the folder, whatever its box showed.
TEST_F(ResultsWindowTest, TheTreeMenuChecksAndUnchecksAFolder) {
  Open("ntfs-sample.img");
  Select("docs");
  ClickCheckBox(window->FileList(), Row("data.bin"));  // the folder partly checked
  const auto choose = [&](int action) {
    QStringList offered;
    QTimer::singleShot(50, [&, action] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        for (QAction* a : menu->actions()) offered << a->text();
        menu->actions().at(action)->trigger();
        menu->close();
      }
    });
    QTreeWidget* tree = window->Tree();
    emit tree->customContextMenuRequested(tree->visualItemRect(Node("docs")).center());
    return offered;
  };
  EXPECT_EQ(choose(0), (QStringList{QString::fromUtf8("勾选此文件夹中的全部文件"),
                                    QString::fromUtf8("取消勾选此文件夹中的全部文件")}));
  EXPECT_EQ(Node("docs")->checkState(0), Qt::Checked);
  EXPECT_EQ(RowCheck("data.bin"), Qt::Checked);
  for (int r = 0; r < RowCount(); ++r) {
    EXPECT_EQ(window->FileList()->model()->index(r, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked) << r;
  }
  choose(1);
  EXPECT_EQ(Node("docs")->checkState(0), Qt::Unchecked);
  EXPECT_EQ(RowCheck("data.bin"), Qt::Unchecked);
  EXPECT_EQ(CRecovery::CheckedFileCount(window->Model()), 0u);
}

// A folder of 100,000 files: listing it and checking all of it answer at once.
TEST(ResultsWindowLargeFolder, AHundredThousandFilesListAndCheck) {
  ScanSession session;
  session.selectedDrive = 'B';
  session.recoveryMode = ModeDeletedFiles;
  session.fileSystem = "NTFS";
  session.resultSource = SourceNtfs;
  for (uint32_t i = 0; i < 100000; ++i) {
    FoundFile f;
    f.id = 100 + i;
    f.parentRef = 5 | (5ULL << 48);
    f.name = "file" + std::to_string(i) + ".jpg";
    f.size = i;
    session.foundFiles.push_back(f);
  }
  CQenloDlg window(session);
  window.resize(1280, 800);
  window.show();
  ASSERT_EQ(window.FileListModel()->rowCount(), 100000);
  QTreeWidgetItem* deleted = window.ItemOfNode(window.Model().Tree().GetDeletedNode());
  ASSERT_TRUE(deleted);
  deleted->setCheckState(0, Qt::Checked);
  EXPECT_EQ(window.FileListModel()->index(99999, kNameColumn).data(Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_EQ(CRecovery::CheckedFileCount(window.Model()), 100000u);
  window.FileListModel()->setData(window.FileListModel()->index(5, kNameColumn), Qt::Unchecked, Qt::CheckStateRole);
  EXPECT_EQ(deleted->checkState(0), Qt::PartiallyChecked);
}

}  // namespace
