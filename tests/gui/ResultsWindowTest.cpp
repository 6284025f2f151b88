#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

#include "ModalDriver.h"
#include "support/FixtureCases.h"
#include "support/FixtureSession.h"
#include "support/ManifestCheck.h"
#include "support/Sha256.h"
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
  QTreeWidgetItem* Node(const QString& caption) {
    const auto found = window->Tree()->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.front();
  }
  QTreeWidgetItem* Row(const QString& name) {
    const auto found = window->FileList()->findItems(name, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
  }
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
  void Select(const QString& caption) {
    QTreeWidgetItem* node = Node(caption);
    ASSERT_TRUE(node) << caption.toStdString();
    ClickName(window->Tree(), node);
  }
  QStringList RowNames() const {
    QStringList names;
    for (int i = 0; i < window->FileList()->topLevelItemCount(); ++i) names << window->FileList()->topLevelItem(i)->text(0);
    return names;
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
  for (const char* caption : {"sub", "docs", "删除的文件", "T盘"}) {
    EXPECT_EQ(Node(QString::fromUtf8(caption))->checkState(0), Qt::Checked) << caption;
  }
  EXPECT_EQ(Node("old")->checkState(0), Qt::Unchecked);
  bool deepChecked = false;
  for (const FoundFile& f : fixture->session.foundFiles) deepChecked |= f.name == "deep.txt" && f.checked;
  EXPECT_TRUE(deepChecked) << "the node's files follow its box";

  ClickCheckBox(window->Tree(), Node("old"));
  ClickCheckBox(window->Tree(), sub);
  EXPECT_EQ(Node("docs")->checkState(0), Qt::Unchecked) << "docs has no other checked child";
  EXPECT_EQ(Node(QString::fromUtf8("删除的文件"))->checkState(0), Qt::Checked) << "old is still checked";
  EXPECT_EQ(Node("inner")->checkState(0), Qt::Checked) << "checking old checked its subtree";

  ClickName(window->Tree(), Node("pics"));
  EXPECT_EQ(Node("pics")->checkState(0), Qt::Unchecked) << "a click on the label checks nothing";
}

TEST_F(ResultsWindowTest, ListFollowsTheSelectedNodeAndItsChecks) {
  Open("ntfs-sample.img");
  EXPECT_TRUE(RowNames().contains("empty.txt")) << "the deleted-files node is selected at first";
  Select("docs");
  EXPECT_EQ(RowNames(), QStringList({"report.txt", "data.bin"}));
  EXPECT_EQ(Row("report.txt")->text(1), "300byte");
  EXPECT_EQ(Row("data.bin")->text(1), "146KB");
  EXPECT_EQ(Row("data.bin")->text(2), "2024-03-15  10:30");
  Select(QString::fromUtf8("找到的文件"));
  EXPECT_EQ(RowNames(), QStringList({"report.txt", "data.bin"})) << "the found-files node keeps the rows";

  Select("docs");
  ClickCheckBox(window->FileList(), Row("data.bin"));
  EXPECT_EQ(Row("data.bin")->checkState(0), Qt::Checked);
  EXPECT_EQ(Node("docs")->checkState(0), Qt::Checked) << "a checked row checks its node";
  EXPECT_EQ(Node("T盘")->checkState(0), Qt::Checked);
  EXPECT_EQ(Row("report.txt")->checkState(0), Qt::Unchecked);
  ClickCheckBox(window->FileList(), Row("data.bin"));
  EXPECT_EQ(Node("docs")->checkState(0), Qt::Checked) << "unchecking the last row leaves the node checked";
  ClickCheckBox(window->Tree(), Node("docs"));
  EXPECT_EQ(Row("report.txt")->checkState(0), Qt::Unchecked);
  ClickCheckBox(window->Tree(), Node("docs"));
  EXPECT_EQ(Row("report.txt")->checkState(0), Qt::Checked) << "the current node's box sets every row";
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

TEST_F(ResultsWindowTest, PreviewPageByExtension) {
  const std::string temp = MakeTempFolder();
  qputenv("TMPDIR", QByteArray::fromStdString(temp));
  Open("ntfs-sample.img");
  Select("pics");
  ClickName(window->FileList(), Row("jfif.jpg"));
  ASSERT_EQ(window->Tabs()->count(), 1);
  EXPECT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("图片预览"));
  EXPECT_EQ(window->PicturePage()->pixmap().size(), QSize(400, 300));
  EXPECT_EQ(window->PicturePage()->toolTip(), QString::fromUtf8("原图大小160×120像素"));
  QImageReader written(QString::fromStdString(temp + "/temp.jpg"));
  EXPECT_EQ(written.format(), "jpeg");
  EXPECT_EQ(written.size(), QSize(400, 300));

  ClickName(window->FileList(), Row("deflated.zip"));
  EXPECT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("文字"));
  const QString listing = window->TextPage()->toPlainText();
  EXPECT_TRUE(listing.contains("docs/readme.txt   [")) << listing.toStdString();
  EXPECT_TRUE(listing.contains("data/noise.bin   [")) << "the walk moves past each member's comment";

  ClickName(window->FileList(), Row("book.xlsx"));
  EXPECT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("十六进制显示"));
  EXPECT_EQ(window->HexPage()->DataLength(), 9310u);
  EXPECT_EQ(window->Tabs()->count(), 1) << "one page at a time";

  Select(QString::fromUtf8("删除的文件"));
  ClickName(window->FileList(), Row("empty.txt"));
  EXPECT_EQ(window->Tabs()->tabText(0), QString::fromUtf8("十六进制显示"));
  EXPECT_EQ(window->HexPage()->DataLength(), 0u) << "an empty file shows an empty hex view";
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

TEST_F(ResultsWindowTest, RecoveryThroughTheButtonMatchesTheManifest) {
  const FixtureCase& c = kFixtureCases[1];  // NTFS in universal mode: deleted and carved files
  Open(c.image, c.mode);
  const std::string target = MakeTempFolder();
  window->chooseFolder = [&](QWidget*) { return QString::fromStdString(target); };
  ClickCheckBox(window->Tree(), Node("T盘"));
  window->RecoverButton()->click();
  ASSERT_EQ(boxes.size(), 1u);
  const RecoveryReport& report = window->LastReport();
  // The message says where the report of the run is.
  EXPECT_EQ(boxes[0], QString::fromStdString("恢复完成\n\n恢复报告: " + report.reportPath));
  EXPECT_EQ(report.failed, 0u);
  const size_t expected = ExpectRecoveredAsManifest(report.rootPath, c);
  EXPECT_EQ(report.written, expected);
}

TEST_F(ResultsWindowTest, FailedFilesAreCountedAfterTheMessage) {
  Open("ntfs-sample.img");
  window->chooseFolder = [](QWidget*) { return QString("/proc/no-such-folder"); };
  ClickCheckBox(window->Tree(), Node("docs"));
  window->RecoverButton()->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].startsWith(QString::fromUtf8("恢复完成"))) << boxes[0].toStdString();
  EXPECT_TRUE(boxes[0].contains(QString::fromUtf8("个文件失败"))) << boxes[0].toStdString();
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
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(Sha256OfFile(path), "f7d548b5351a87f65291a889c3dd99c47f74ada2767be07d49a7e8a1fe8bb6ac");
}

struct FindCase {
  const char* what;
  const char* image;
  const char* text;
  int rows;
};
void PrintTo(const FindCase& c, std::ostream* os) { *os << c.what; }

class FindDialog : public ResultsWindowTest, public ::testing::WithParamInterface<FindCase> {};

TEST_P(FindDialog, ListsTheMatchesOrSaysThereAreNone) {
  const FindCase& c = GetParam();
  Open(c.image);
  WhenModal<CFindDlg>([&](CFindDlg* find) {
    QTest::keyClicks(find->FindEdit(), c.text);
    QTest::keyClick(find->FindEdit(), Qt::Key_Return);
  });
  window->FindButton()->click();
  EXPECT_EQ(window->FileList()->topLevelItemCount(), c.rows) << RowNames().join(",").toStdString();
  EXPECT_EQ(boxes.size(), c.rows == 0 ? 1u : 0u);
  if (c.rows == 0) {
    EXPECT_EQ(boxes[0], QString::fromUtf8("没有找到文件"));
  }
}

INSTANTIATE_TEST_SUITE_P(Table, FindDialog,
                         ::testing::Values(FindCase{"ntfs_extension_any_case", "ntfs-sample.img", "TXT", 5},
                                           FindCase{"ntfs_nothing", "ntfs-sample.img", "zzz", 0},
                                           FindCase{"fat32_part_of_a_name", "fat32-sample.img", "pic", 2},
                                           FindCase{"fat16_many_in_a_deleted_folder", "fat16.img", "empty picture", 60},
                                           FindCase{"exfat_long_name", "exfat.img", "FIFTEEN", 1},
                                           FindCase{"other_file_system", "raw-carve.img", "pic", 0}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(ResultsWindowTest, CarvedMatchesOfASearchPreviewAndRecoverTheirOwnBytes) {
  Open("ntfs-sample.img", ModeUniversal);
  window->FindAndList("pic");
  QTreeWidgetItem* jpeg = nullptr;
  for (int i = 0; i < window->FileList()->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = window->FileList()->topLevelItem(i);
    if (row->text(0).endsWith(".jpg") && row->text(1) == "11KB") jpeg = row;
  }
  ASSERT_TRUE(jpeg) << "the carved copy of jfif.jpg";
  ClickName(window->FileList(), jpeg);
  EXPECT_EQ(window->PicturePage()->toolTip(), QString::fromUtf8("原图大小160×120像素"));
  const std::string path = MakeTempFolder() + "/carved.jpg";
  window->chooseSaveFile = [&](QWidget*, const QString&) { return QString::fromStdString(path); };
  window->OnRecoverThisFile();
  EXPECT_EQ(Sha256OfFile(path), "c1272da5bcd1d7b921f432d78fc90ad12a724050d81965fca05392280b689650");
}

TEST_F(ResultsWindowTest, CheckingAFoundRowChecksTheNodeSelectedBefore) {
  Open("ntfs-sample.img");
  Select("old");
  window->FindAndList("deep");
  ASSERT_EQ(RowNames(), QStringList({"deep.txt"}));
  ClickCheckBox(window->FileList(), Row("deep.txt"));
  EXPECT_EQ(Node("old")->checkState(0), Qt::Checked);
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
  QTreeWidget* list = window->FileList();
  ASSERT_EQ(list->headerItem()->text(3), QString::fromUtf8("状态"));
  QTreeWidgetItem* photo = Row("Photo.jpg");
  QTreeWidgetItem* taken = Row("Taken.bin");
  ASSERT_TRUE(photo && taken);
  EXPECT_EQ(taken->text(3), QString::fromUtf8("已覆盖"));
  EXPECT_EQ(Row("Half.bin")->text(3), QString::fromUtf8("部分覆盖"));
  EXPECT_EQ(Row("Broken.zip")->text(3), QString::fromUtf8("已损坏"));
  EXPECT_EQ(Row("Notes.txt")->text(3), QString::fromUtf8("未知"));
  EXPECT_NE(taken->foreground(3).color(), Row("Archive.zip")->foreground(3).color());
  EXPECT_FALSE(taken->toolTip(3).isEmpty()) << "the tooltip says why";

  // A click on the heading puts intact files first, overwritten ones last; a second turns it round.
  QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {},
                    QPoint(list->header()->sectionViewportPosition(3) + 10, list->header()->height() / 2));
  const int rows = list->topLevelItemCount();
  ASSERT_GT(rows, 3);
  EXPECT_EQ(list->topLevelItem(0)->text(3), QString::fromUtf8("完好"));
  EXPECT_EQ(list->topLevelItem(rows - 1)->text(3), QString::fromUtf8("已覆盖"));
  window->Model().ClickRowCheckBox(0);  // the model's rows and the items stay one to one
  EXPECT_EQ(list->topLevelItem(0)->text(0), QString::fromStdString(window->Model().Rows()[0].name));
  QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {},
                    QPoint(list->header()->sectionViewportPosition(3) + 10, list->header()->height() / 2));
  EXPECT_EQ(list->topLevelItem(0)->text(3), QString::fromUtf8("已覆盖"));

  window->HideOverwrittenBox()->click();
  EXPECT_FALSE(Row("Taken.bin"));
  EXPECT_FALSE(Row("Gone.jpg"));
  EXPECT_TRUE(Row("Half.bin")) << "partly overwritten files stay";
  EXPECT_EQ(list->topLevelItemCount(), rows - 2);
  window->HideOverwrittenBox()->click();
  EXPECT_TRUE(Row("Taken.bin"));
}

}  // namespace
