#include <QDialogButtonBox>
#include <QMessageBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QProgressBar>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

#include "ModalDriver.h"
#include "app/ScanSession.h"
#include "platform/Drives.h"
#include "scan/SignatureScan.h"
#include "support/Fixtures.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressDlg.h"
#include "ui/QenloApp.h"
#include "ui/QenloDlg.h"
#include "ui/SelOneDlg.h"
#include "ui/SelectDlg.h"

namespace {

// Message boxes are recorded instead of shown.
class WizardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxHook([this](const QString& caption, const QString& text) { boxes.push_back({caption, text}); });
  }
  void TearDown() override {
    SetMessageBoxHook(nullptr);
    for (char letter : letters) ForgetDrive(letter);
  }
  void Register(const std::string& image, char letter) {
    std::string error;
    ASSERT_TRUE(RegisterImage(FixturePath(image) + "=" + std::string(1, letter), &error)) << error;
    letters.push_back(letter);
  }
  std::vector<std::pair<QString, QString>> boxes;
  std::vector<char> letters;
  ScanSession session;
};

QPoint InItem(int item) { return QPoint(120, item * 108 + 54); }

// A double-click as a user makes it: the first click, then the second.
void DoubleClick(QTreeWidget* list, QTreeWidgetItem* item) {
  const QPoint at(10, list->visualItemRect(item).center().y());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

// The box after a cancelled scan: Enter and Escape show what was found;
// only a click on "结束" ends the program and drops it.
TEST(StoppedScanBox, EnterAndEscapeKeepWhatWasFound) {
  for (const int key : {static_cast<int>(Qt::Key_Return), static_cast<int>(Qt::Key_Escape)}) {
    QMessageBox box(QMessageBox::NoIcon, "扫描终止", "已经找到 3 个文件。", QMessageBox::Ok);
    QPushButton* show = SetUpMessageBoxWithButton(&box, QString::fromUtf8("显示已找到的文件"), QString::fromUtf8("结束"), true);
    box.show();
    QTest::keyClick(&box, static_cast<Qt::Key>(key));
    EXPECT_EQ(box.clickedButton(), show) << key;
  }
  // A box whose OK loses nothing keeps OK as its default.
  QMessageBox done(QMessageBox::NoIcon, "", "恢复完成", QMessageBox::Ok);
  SetUpMessageBoxWithButton(&done, QString::fromUtf8("打开文件夹"), QString(), false);
  done.show();
  QTest::keyClick(&done, Qt::Key_Return);
  EXPECT_EQ(done.clickedButton(), done.button(QMessageBox::Ok));
}

TEST_F(WizardTest, ModeDialogChoosesByClickAndKeys) {
  CSelOneDlg dlg(session);
  dlg.show();
  QWidget* list = dlg.ModeList()->viewport();
  EXPECT_EQ(session.recoveryMode, ModeNone);
  dlg.NextButton()->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].second, QString::fromUtf8("请先选择最适合的恢复模式"));
  EXPECT_TRUE(dlg.isVisible()) << "stays open without a mode";

  QTest::mouseClick(list, Qt::LeftButton, {}, InItem(1));
  EXPECT_EQ(session.recoveryMode, ModeUniversal);
  QTest::mouseClick(list, Qt::LeftButton, {}, QPoint(120, 300));
  EXPECT_EQ(session.recoveryMode, ModeUniversal) << "a click below the items keeps the mode";
  QTest::keyClick(dlg.ModeList(), Qt::Key_Up);
  EXPECT_EQ(session.recoveryMode, ModeDeletedFiles) << "up with no selection selects the first";
  QTest::keyClick(dlg.ModeList(), Qt::Key_Down);
  EXPECT_EQ(session.recoveryMode, ModeUniversal);
  dlg.NextButton()->click();
  EXPECT_EQ(dlg.result(), kIdOk);
  EXPECT_FALSE(dlg.isVisible());
}

TEST_F(WizardTest, ModeDialogDoubleClickAndClose) {
  {
    CSelOneDlg dlg(session);
    dlg.show();
    QTest::keyClick(dlg.ModeList(), Qt::Key_Down);
    EXPECT_EQ(session.recoveryMode, ModeDeletedFiles) << "the first down selects the first mode";
    QTest::keyClick(dlg.ModeList(), Qt::Key_Down);
    EXPECT_EQ(session.recoveryMode, ModeUniversal);
    QTest::mouseDClick(dlg.ModeList()->viewport(), Qt::LeftButton, {}, QPoint(120, 300));
    EXPECT_EQ(dlg.result(), kIdOk) << "a double-click anywhere goes on";
  }
  {
    CSelOneDlg dlg(session);
    EXPECT_EQ(session.recoveryMode, ModeNone) << "a new dialog starts without a mode";
    dlg.show();
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), kIdCancel);
  }
}

TEST_F(WizardTest, ModeParagraphsAreDrawnWithTheirColours) {
  CSelOneDlg dlg(session);
  dlg.show();
  const QImage shot = dlg.ModeList()->viewport()->grab().toImage();
  int blue = 0, dark = 0;
  for (int y = 0; y < 216; ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      const QColor c = shot.pixelColor(x, y);
      blue += c.blue() > 200 && c.red() < 140 && c.green() < 140;
      dark += c.red() < 60 && c.green() < 60 && c.blue() < 60;
    }
  }
  EXPECT_GT(blue, 200) << "the star lines in RGB(100, 100, 230)";
  EXPECT_GT(dark, 100) << "the headings in black";
}

TEST_F(WizardTest, DriveDialogChoosesTheFirstSelectedRow) {
  Register("ntfs-sample.img", 'S');
  Register("fat32-sample.img", 'T');
  CSelectDlg dlg(session);
  dlg.show();
  dlg.NextButton()->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].second, QString::fromUtf8("请先选择要扫描的分区!"));
  QTreeWidgetItem *s = nullptr, *t = nullptr;
  for (int i = 0; i < dlg.DriveList()->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = dlg.DriveList()->topLevelItem(i);
    if (item->text(0) == "S:") s = item;
    if (item->text(0) == "T:") t = item;
  }
  ASSERT_TRUE(s && t);
  EXPECT_EQ(s->text(1), "NTFS");
  EXPECT_EQ(t->text(1), "FAT32");
  EXPECT_TRUE(t->text(2).endsWith("M")) << "a 34 MiB image, in mebibytes";
  EXPECT_EQ(dlg.DriveList()->indexOfTopLevelItem(s) + 1, dlg.DriveList()->indexOfTopLevelItem(t));
  t->setSelected(true);
  s->setSelected(true);
  dlg.NextButton()->click();
  EXPECT_EQ(dlg.result(), kIdOk);
  EXPECT_EQ(session.selectedDrive, 'S') << "the first selected row in list order";
}

TEST_F(WizardTest, DriveThatCannotBeOpenedIsReportedAndTheDialogStays) {
  const std::string copy = MakeTempFolder() + "/gone.img";
  std::filesystem::copy_file(FixturePath("raw-carve.img"), copy);
  std::string error;
  ASSERT_TRUE(RegisterImage(copy + "=R", &error));
  letters.push_back('R');
  std::filesystem::remove(copy);
  CSelectDlg dlg(session);
  dlg.show();
  QTreeWidgetItem* r = nullptr;
  for (int i = 0; i < dlg.DriveList()->topLevelItemCount(); ++i) {
    if (dlg.DriveList()->topLevelItem(i)->text(0) == "R:") r = dlg.DriveList()->topLevelItem(i);
  }
  ASSERT_TRUE(r);
  DoubleClick(dlg.DriveList(), r);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].second.startsWith(QString::fromUtf8("无法打开R盘: "))) << boxes[0].second.toStdString();
  EXPECT_TRUE(boxes[0].second.contains("No such file")) << "the system's reason";
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(session.selectedDrive, 0);
}

TEST_F(WizardTest, DriveDialogAddsAnImageFile) {
  CSelectDlg dlg(session);
  dlg.show();
  const QString path = QString::fromStdString(FixturePath("ntfs-sample.img"));
  dlg.chooseImageFile = [&](QWidget*) { return path; };
  dlg.AddImageButton()->click();
  QTreeWidgetItem* added = nullptr;
  for (int i = 0; i < dlg.DriveList()->topLevelItemCount(); ++i) {
    if (dlg.DriveList()->topLevelItem(i)->isSelected()) added = dlg.DriveList()->topLevelItem(i);
  }
  ASSERT_TRUE(added);
  EXPECT_EQ(added->text(3), path);
  letters.push_back(added->text(0).at(0).toLatin1());
  // The chosen row stays legible: its text has a colour of its own against the highlight.
  dlg.DriveList()->setFocus();
  const QImage shot = dlg.DriveList()->viewport()->grab().toImage();
  const QRect row = dlg.DriveList()->visualItemRect(added);
  const QColor background = shot.pixelColor(row.right() - 3, row.center().y());
  int unlike = 0;
  for (int x = row.left() + 40; x < row.left() + 160 && x < shot.width(); ++x) {
    for (int y = row.top() + 2; y < row.bottom() - 2; ++y) {
      const QColor c = shot.pixelColor(x, y);
      unlike += std::abs(c.lightness() - background.lightness()) > 100;
    }
  }
  EXPECT_GT(unlike, 20) << "the selected row's text must show against its background";
  dlg.NextButton()->click();
  EXPECT_EQ(dlg.result(), kIdOk);
  EXPECT_EQ(session.selectedDrive, letters.back());
}

TEST_F(WizardTest, AFileThatIsNoDiskImageIsRefused) {
  CSelectDlg dlg(session);
  const int before = dlg.DriveList()->topLevelItemCount();
  const std::string photo = MakeTempFolder() + "/photo.jpg";
  std::filesystem::copy_file(FixturePath("ntfs-sample.img"), photo + ".tmp");
  // A file of 1000 bytes of something that is no file system: what a photo picked by mistake looks like.
  std::filesystem::resize_file(photo + ".tmp", 1000);
  std::filesystem::rename(photo + ".tmp", photo);
  EXPECT_FALSE(dlg.AddImage(QString::fromStdString(photo)));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].second.startsWith(QString::fromUtf8("不是磁盘映像"))) << boxes[0].second.toStdString();
  EXPECT_EQ(dlg.DriveList()->topLevelItemCount(), before) << "nothing is added";
  EXPECT_TRUE(CSelectDlg::ImageFileFilter().contains("*.E01"));
  EXPECT_TRUE(CSelectDlg::ImageFileFilter().contains("*.vhdx"));
}

TEST(QtDialogs, SpeakChinese) {
  QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Yes);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), QString::fromUtf8("取消"));
  EXPECT_TRUE(buttons.button(QDialogButtonBox::Yes)->text().contains(QString::fromUtf8("是")));
  EXPECT_TRUE(QCoreApplication::translate("QFileDialog", "Look in:").contains(QString::fromUtf8("查找")))
      << QCoreApplication::translate("QFileDialog", "Look in:").toStdString();
}

TEST_F(WizardTest, EnterPressesTheFocusedButton) {
  CSelectDlg dlg(session);
  dlg.show();
  dlg.BackButton()->setFocus();
  QTest::keyClick(dlg.BackButton(), Qt::Key_Return);
  EXPECT_TRUE(WaitFor([&] { return !dlg.isVisible(); }, 2000));
  EXPECT_EQ(dlg.result(), kIdBack);
}

// A whole-disk image gives a row for each partition, with its file system
// and size, and one for the space outside them.
TEST_F(WizardTest, DriveDialogListsEachPartitionOfADiskImage) {
  CSelectDlg dlg(session);
  dlg.show();
  const QString path = QString::fromStdString(FixturePath("disk-fs.img"));
  dlg.chooseImageFile = [&](QWidget*) { return path; };
  dlg.AddImageButton()->click();
  QStringList rows;
  for (int i = 0; i < dlg.DriveList()->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = dlg.DriveList()->topLevelItem(i);
    if (!item->text(3).startsWith(path)) continue;
    rows << item->text(3).mid(path.size()) + " " + item->text(1) + " " + item->text(2);
    if (item->isSelected()) letters.push_back(item->text(0).at(0).toLatin1());
  }
  EXPECT_EQ(rows, QStringList({" #1 NTFS 24.0M", " #5 FAT32 40.0M", " #6 NTFS 16.0M",
                               QString::fromUtf8(" (分区以外的空间)  16.0M")}));
  ASSERT_EQ(letters.size(), 1u) << "the first partition is selected";
}

TEST_F(WizardTest, ProgressDialogEndsWithOkWhenTheScanIsDone) {
  Register("ntfs-sample.img", 'T');
  session.selectedDrive = 'T';
  session.recoveryMode = ModeDeletedFiles;
  CProgressDlg dlg(session);
  EXPECT_EQ(dlg.DoModal(), kIdOk);
  EXPECT_FALSE(dlg.ScanRunning());
  EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("正在扫描T盘......"));
  EXPECT_EQ(dlg.PercentText()->text(), "100.0%");
  EXPECT_EQ(dlg.ProgressBar()->value(), dlg.ProgressBar()->maximum());
  EXPECT_FALSE(session.foundFiles.empty());
  EXPECT_TRUE(dlg.ClockText()->text().startsWith(QString::fromUtf8("已用时间 ")));
}

// At the scan's first update, while the scan thread waits for it: Enter
// first, which must not end the dialog, then the cancel button.
void CancelAtFirstUpdate(CProgressDlg* dlg, bool* enterIgnored) {
  auto connection = std::make_shared<QMetaObject::Connection>();
  *connection = QObject::connect(dlg->ProgressBar(), &QProgressBar::valueChanged, dlg, [=] {
    QObject::disconnect(*connection);
    QTest::keyClick(dlg, Qt::Key_Return);
    *enterIgnored = dlg->isVisible();
    dlg->CancelButton()->click();
  });
}

TEST_F(WizardTest, CancelledScanEndsAtOnceAndItsThreadIsJoined) {
  Register("raw-carve.img", 'T');
  session.selectedDrive = 'T';
  session.recoveryMode = ModeUniversal;
  CProgressDlg dlg(session);
  bool enterIgnored = false;
  CancelAtFirstUpdate(&dlg, &enterIgnored);
  EXPECT_EQ(dlg.DoModal(), kIdCancel);
  EXPECT_TRUE(enterIgnored) << "Enter is ignored while the scan runs";
  EXPECT_FALSE(dlg.ScanRunning()) << "joined before DoModal returns";
  ASSERT_TRUE(dlg.LateMessage().has_value()) << "the stopped signature scan says so";
  EXPECT_EQ(dlg.LateMessage()->first, QString::fromUtf8("扫描终止"));
  EXPECT_EQ(dlg.LateMessage()->second, QString::fromUtf8(kScanStoppedText)) << "the box says what happened";
}

// Watches for the progress dialog being shown and cancels it at its first update.
class CancelProgressWhenShown : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* dlg = dynamic_cast<CProgressDlg*>(watched); dlg && !armed) {
        armed = true;
        CancelAtFirstUpdate(dlg, &enterIgnored);
      }
    }
    return false;
  }
  bool armed = false;
  bool enterIgnored = false;
};

void ChooseMode(int item) {
  WhenModal<CSelOneDlg>([item](CSelOneDlg* d) {
    QTest::mouseClick(d->ModeList()->viewport(), Qt::LeftButton, {}, InItem(item));
    d->NextButton()->click();
  });
}

void ChooseDrive(const QString& letterText) {
  WhenModal<CSelectDlg>([letterText](CSelectDlg* d) {
    for (int i = 0; i < d->DriveList()->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = d->DriveList()->topLevelItem(i);
      if (item->text(0) == letterText) {
        DoubleClick(d->DriveList(), item);
        return;
      }
    }
    d->reject();
  });
}

TEST_F(WizardTest, CancellingTheModeDialogEndsTheProgram) {
  CQenloApp app(session);
  WhenModal<CSelOneDlg>([](CSelOneDlg* d) { d->close(); });
  const WizardOutcome outcome = app.InitInstance();
  EXPECT_FALSE(outcome.driveDialogRan);
  EXPECT_FALSE(outcome.resultsWindowRan);
}

TEST_F(WizardTest, CancellingTheDriveDialogEndsTheProgram) {
  CQenloApp app(session);
  ChooseMode(0);
  WhenModal<CSelectDlg>([](CSelectDlg* d) { d->reject(); });
  const WizardOutcome outcome = app.InitInstance();
  EXPECT_TRUE(outcome.driveDialogRan);
  EXPECT_FALSE(outcome.progressDialogRan);
  EXPECT_FALSE(outcome.resultsWindowRan);
}

TEST_F(WizardTest, CancellingTheScanNeverOpensTheResults) {
  Register("ntfs-sample.img", 'T');
  CQenloApp app(session);
  CancelProgressWhenShown watcher;
  qApp->installEventFilter(&watcher);
  ChooseMode(0);
  ChooseDrive("T:");
  const WizardOutcome outcome = app.InitInstance();
  qApp->removeEventFilter(&watcher);
  EXPECT_TRUE(watcher.armed);
  EXPECT_TRUE(outcome.progressDialogRan);
  EXPECT_FALSE(outcome.resultsWindowRan);
}

// Cancels the scan at the first update after it has found a file.
class CancelWhenFound : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* dlg = dynamic_cast<CProgressDlg*>(watched);
    if (event->type() != QEvent::Show || !dlg || armed) return false;
    armed = true;
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(dlg->ProgressBar(), &QProgressBar::valueChanged, dlg, [dlg, connection] {
      const QString found = dlg->FoundText()->text().trimmed();
      if (found.isEmpty() || found == QString::fromUtf8("找到0个文件")) return;
      QObject::disconnect(*connection);
      dlg->CancelButton()->click();
    });
    return false;
  }
  bool armed = false;
};

TEST_F(WizardTest, ACancelledScanOffersToShowWhatItFound) {
  Register("raw-carve.img", 'T');
  CQenloApp app(session);
  CancelWhenFound watcher;
  qApp->installEventFilter(&watcher);
  ChooseMode(1);
  ChooseDrive("T:");
  SetMessageBoxHookAnswer(true);  // "显示已找到的文件"
  int rows = -1;
  WhenModal<CQenloDlg>([&](CQenloDlg* results) {
    rows = results->FileListModel()->rowCount();
    results->reject();
  });
  const WizardOutcome outcome = app.InitInstance();
  qApp->removeEventFilter(&watcher);
  ASSERT_TRUE(watcher.armed);
  EXPECT_TRUE(outcome.resultsWindowRan);
  ASSERT_GE(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, QString::fromUtf8("扫描终止"));
  EXPECT_TRUE(boxes[0].second.startsWith(QString::fromUtf8(kScanStoppedText))) << boxes[0].second.toStdString();
  EXPECT_TRUE(boxes[0].second.contains(QString::fromUtf8("已经找到"))) << boxes[0].second.toStdString();
  EXPECT_GT(rows, 0) << "the results window lists what was found before the cancel";
}

TEST_F(WizardTest, TheDriveStepGoesBackToTheModeStep) {
  Register("ntfs-sample.img", 'T');
  CQenloApp app(session);
  int modeRuns = 0;
  WhenModal<CSelOneDlg>([&](CSelOneDlg* d) {
    ++modeRuns;
    QTest::mouseClick(d->ModeList()->viewport(), Qt::LeftButton, {}, InItem(0));
    d->NextButton()->click();
  });
  WhenModal<CSelectDlg>([&](CSelectDlg* d) {
    // Back once; the mode step comes again, then the drive step is cancelled.
    WhenModal<CSelOneDlg>([&](CSelOneDlg* again) {
      ++modeRuns;
      QTest::mouseClick(again->ModeList()->viewport(), Qt::LeftButton, {}, InItem(1));
      again->NextButton()->click();
    });
    WhenModal<CSelectDlg>([](CSelectDlg* second) { second->reject(); });
    d->BackButton()->click();
  });
  const WizardOutcome outcome = app.InitInstance();
  EXPECT_EQ(modeRuns, 2);
  EXPECT_EQ(session.recoveryMode, ModeUniversal) << "the mode chosen the second time";
  EXPECT_FALSE(outcome.progressDialogRan);
}

TEST_F(WizardTest, WholeRunFromModeToResults) {
  Register("ntfs-sample.img", 'T');
  CQenloApp app(session);
  ChooseMode(1);
  ChooseDrive("T:");
  QStringList captions;
  bool wasMainWindow = false;
  WhenModal<CQenloDlg>([&](CQenloDlg* results) {
    wasMainWindow = CQenloApp::Current()->MainWindow() == results;
    QTreeWidgetItem* drive = results->Tree()->topLevelItem(0);
    // Each folder shows its count of files after its name.
    for (int i = 0; i < drive->childCount(); ++i) captions << drive->child(i)->text(0).section(" (", 0, 0);
    SetMessageBoxHookAnswer(true);  // yes, leave without recovering
    results->close();
  });
  const WizardOutcome outcome = app.InitInstance();
  EXPECT_TRUE(outcome.resultsWindowRan);
  EXPECT_TRUE(wasMainWindow);
  EXPECT_EQ(session.recoveryMode, ModeUniversal);
  EXPECT_EQ(session.selectedDrive, 'T');
  EXPECT_EQ(captions, QStringList({QString::fromUtf8("删除的文件"), QString::fromUtf8("找到的文件"),
                                   QString::fromUtf8("按类型分类的文件")}));
}

}  // namespace
