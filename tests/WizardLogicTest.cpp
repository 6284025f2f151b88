#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <thread>
#include <vector>

#include "app/DriveRows.h"
#include "app/HexRows.h"
#include "app/Recovery.h"
#include "app/ScanClock.h"
#include "app/SentUpdates.h"
#include "app/Wizard.h"
#include "uimodel/ResizeRules.h"
#include "uimodel/RichListModel.h"
#include "uimodel/TextBlockCaption.h"

namespace {

// Steps that answer from a script and record what ran.
class ScriptedSteps : public IWizardSteps {
 public:
  ScriptedSteps(int mode, std::vector<int> drives, int progress, bool showPartial, int startOvers)
      : m_mode(mode), m_drives(std::move(drives)), m_progress(progress), m_showPartial(showPartial),
        m_startOvers(startOvers) {}
  int RunModeDialog() override { return ran += "M", m_mode; }
  int RunDriveDialog() override {
    ran += "D";
    const int result = m_drives.front();
    if (m_drives.size() > 1) m_drives.erase(m_drives.begin());
    return result;
  }
  int RunProgressDialog() override { return ran += "P", m_progress; }
  bool OfferPartialResults() override { return ran += "?", m_showPartial; }
  bool RunResultsWindow() override { return ran += "R", m_startOvers-- > 0; }
  void StartOver() override { ran += "S"; }
  std::string ran;

 private:
  int m_mode;
  std::vector<int> m_drives;
  int m_progress;
  bool m_showPartial;
  int m_startOvers;  // results windows left whose user goes back to the mode step
};

struct SequenceCase {
  const char* what;
  int mode;
  std::vector<int> drives;
  int progress;
  bool showPartial;
  const char* ran;
  int startOvers = 0;
};

void PrintTo(const SequenceCase& c, std::ostream* os) { *os << c.what; }

class WizardSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(WizardSequence, RunsTheStepsTheResultsLeadTo) {
  const SequenceCase& c = GetParam();
  ScriptedSteps steps(c.mode, c.drives, c.progress, c.showPartial, c.startOvers);
  const WizardOutcome outcome = RunWizardSequence(steps);
  EXPECT_EQ(steps.ran, c.ran);
  EXPECT_EQ(outcome.resultsWindowRan, steps.ran.find('R') != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WizardSequence,
    ::testing::Values(SequenceCase{"mode_cancelled", kIdCancel, {kIdOk}, kIdOk, false, "M"},
                      SequenceCase{"drive_cancelled", kIdOk, {kIdCancel}, kIdOk, false, "MD"},
                      SequenceCase{"scan_cancelled", kIdOk, {kIdOk}, kIdCancel, false, "MDP?"},
                      SequenceCase{"scan_cancelled_found_files_shown", kIdOk, {kIdOk}, kIdCancel, true, "MDP?R"},
                      SequenceCase{"whole_run", kIdOk, {kIdOk}, kIdOk, false, "MDPR"},
                      SequenceCase{"back_to_the_mode_twice", kIdOk, {kIdBack, kIdBack, kIdOk}, kIdOk, false,
                                   "MDMDMDPR"},
                      SequenceCase{"back_then_cancel", kIdOk, {kIdBack, kIdCancel}, kIdOk, false, "MDMD"},
                      SequenceCase{"drive_dialog_failed", kIdOk, {-1}, kIdOk, false, "MDR"},
                      SequenceCase{"mode_other_result_goes_on", 0, {kIdOk}, kIdOk, false, "MDPR"},
                      SequenceCase{"nothing_found_then_another_scan", kIdOk, {kIdOk}, kIdOk, false, "MDPRSMDPR", 1},
                      SequenceCase{"nothing_found_then_cancelled", kIdOk, {kIdOk, kIdCancel}, kIdOk, false,
                                   "MDPRSMD", 1}),
    [](const auto& info) { return std::string(info.param.what); });

// A user-interface thread of our own: a queue of jobs run by the test.
class JobQueue {
 public:
  void Post(std::function<void()> job) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.push_back(std::move(job));
  }
  bool RunOne() {
    std::function<void()> job;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      if (m_jobs.empty()) return false;
      job = std::move(m_jobs.front());
      m_jobs.pop_front();
    }
    job();
    return true;
  }

 private:
  std::mutex m_mutex;
  std::deque<std::function<void()>> m_jobs;
};

TEST(SentUpdates, SenderWaitsUntilTheUpdateWasApplied) {
  JobQueue ui;
  CSentUpdates updates([&](std::function<void()> job) { ui.Post(std::move(job)); });
  std::atomic<int> applied{0};
  std::atomic<bool> returned{false};
  std::thread scan([&] {
    EXPECT_TRUE(updates.Send([&] { applied = 1; }));
    returned = true;
  });
  while (!ui.RunOne()) std::this_thread::yield();
  scan.join();
  EXPECT_EQ(applied, 1);
  EXPECT_TRUE(returned);
}

TEST(SentUpdates, DetachReleasesTheSenderAndDropsQueuedUpdates) {
  JobQueue ui;
  std::atomic<int> posted{0};
  CSentUpdates updates([&](std::function<void()> job) {
    ui.Post(std::move(job));
    ++posted;
  });
  std::atomic<bool> applied{false};
  std::atomic<int> result{-1};
  std::thread scan([&] { result = updates.Send([&] { applied = true; }) ? 1 : 0; });
  // The update is queued but the window goes away before it runs.
  while (posted == 0) std::this_thread::yield();
  updates.Detach();
  scan.join();
  while (ui.RunOne()) {
  }
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(applied);
  EXPECT_FALSE(updates.Send([&] { applied = true; })) << "nothing is sent once detached";
}

TEST(ScanClock, ElapsedAndEstimate) {
  EXPECT_EQ(FormatDuration(0), "00:00:00");
  EXPECT_EQ(FormatDuration(3725), "01:02:05");
  EXPECT_FALSE(RemainingSeconds(10, 0, 100).has_value()) << "no estimate before progress";
  EXPECT_EQ(RemainingSeconds(10, 25, 100).value(), 30u);
  EXPECT_FALSE(RemainingSeconds(10, 200, 100).has_value());
  EXPECT_EQ(ScanClockText(5.4, 0, 100), "已用时间 00:00:05");
  EXPECT_EQ(ScanClockText(20, 50, 100), "已用时间 00:00:20    预计剩余 00:00:20");
}

TEST(DriveRows, OnlyFixedAndRemovableInLetterOrder) {
  std::vector<DriveInfo> drives(3);
  drives[0] = {'F', "/dev/sdb1", DriveType::Removable, "FAT32", 8ULL << 30, false, -1, 0, "", ""};
  drives[1] = {'D', "/dev/sda1", DriveType::Fixed, "NTFS", 122096645ULL * 8 * 512, false, -1, 0, "", ""};
  drives[2] = {'E', "/dev/sr0", DriveType::Other, "", 0, false, -1, 0, "", ""};
  const auto rows = MakeDriveRows(drives);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].letterText, "D:");
  EXPECT_EQ(rows[0].fileSystem, "NTFS");
  EXPECT_EQ(rows[0].sizeText, "465.76G");
  EXPECT_EQ(rows[1].letterText, "F:");
  EXPECT_EQ(rows[1].sizeText, "8.00G");
  drives[1].totalSize = 128ULL << 20;
  EXPECT_EQ(MakeDriveRows(drives)[0].sizeText, "128.0M") << "a small card is not 0.12G";
  drives[1].totalSize = 2ULL << 20;
  EXPECT_EQ(MakeDriveRows(drives)[0].sizeText, "2.0M");
  drives[1].totalSize = 0;
  EXPECT_EQ(MakeDriveRows(drives)[0].sizeText, "") << "an unknown size leaves the column empty";
}

TEST(HexRows, OffsetBytesAndCharactersStayAligned) {
  const uint8_t data[] = {'H', 'e', 'l', 'l', 'o', 0, '\n', 0xFF, 'A', 0x7F};
  EXPECT_EQ(HexRowCount(0), 0u);
  EXPECT_EQ(HexRowCount(sizeof data), 2u);
  EXPECT_EQ(HexRowText(data, sizeof data, 0), "00000000  48 65 6C 6C 6F 00 0A FF  Hello...");
  EXPECT_EQ(HexRowText(data, sizeof data, 1), "00000008  41 7F                    A.") << "a short last row keeps the columns";
  EXPECT_EQ(HexRowText(data, sizeof data, 2), "");
}

TEST(RecoverySummary, SuccessSaysOnlyDoneAndFailuresAreCounted) {
  RecoveryReport report;
  report.written = 3;
  report.bytesWritten = 2040109;
  report.rootPath = "/t/T盘恢复的文件";
  EXPECT_EQ(RecoverySummaryText(report), "恢复完成\n\n已恢复 3 个文件, 共 1.9M\n\n恢复到: /t/T盘恢复的文件");
  report.failed = 7;
  report.failures = {"f0: reason", "f1: reason", "f2: reason", "f3: reason", "f4: reason", "f5: reason", "f6: reason"};
  EXPECT_EQ(RecoverySummaryText(report, 2),
            "恢复完成, 部分文件失败\n\n已恢复 3 个文件, 共 1.9M\n7 个文件失败:\nf0: reason\nf1: reason\n......\n\n恢复到: /t/T盘恢复的文件");
  // A cancelled run never says it is done; it says what was written until then.
  RecoveryReport cancelled = report;
  cancelled.cancelled = true;
  cancelled.failed = 0;
  cancelled.failures.clear();
  EXPECT_EQ(RecoverySummaryText(cancelled), "已取消\n\n已恢复 3 个文件, 共 1.9M\n\n恢复到: /t/T盘恢复的文件");
  RecoveryReport stopped = cancelled;
  stopped.cancelled = false;
  stopped.stopped = true;
  stopped.stopReason = WriteFaultText(WriteFault::TargetFull);
  EXPECT_EQ(RecoverySummaryText(stopped).rfind("恢复已停止: 目标盘空间不足\n", 0), 0u);
  RecoveryReport none = report;
  none.written = 0;
  EXPECT_EQ(RecoverySummaryText(none).rfind("恢复失败\n", 0), 0u);
  RecoveryReport nothing;
  nothing.nothingChecked = true;
  EXPECT_EQ(RecoverySummaryText(nothing), "没有选中要恢复的文件");
}

TEST(TextBlockCaption, TextAndColour) {
  const TextBlockCaption next = ParseTextBlockCaption("<TextBlock Foreground='#749719' >下一步</TextBlock>");
  EXPECT_EQ(next.text, "下一步");
  EXPECT_TRUE(next.hasColor);
  EXPECT_EQ(next.rgb, 0x749719u);
  const TextBlockCaption plain = ParseTextBlockCaption("确定");
  EXPECT_EQ(plain.text, "确定");
  EXPECT_FALSE(plain.hasColor);
  EXPECT_EQ(ParseTextBlockCaption("<TextBlock Foreground='#74' >x</TextBlock>").hasColor, false);
}

TEST(ResizeRules, EdgesMoveByTheirFractions) {
  const MarkupRect r{10, 20, 110, 220};
  const MarkupRect grown = ResizedRect(r, {0, 1, 1, 1}, 100, 50);
  EXPECT_EQ(grown.left, 10);
  EXPECT_EQ(grown.top, 70) << "follows the bottom edge";
  EXPECT_EQ(grown.right, 210);
  EXPECT_EQ(grown.bottom, 270);
  const MarkupRect button = ResizedRect(r, {1, 0, 1, 0}, 100, 50);
  EXPECT_EQ(button.left, 110);
  EXPECT_EQ(button.bottom - button.top, 200) << "keeps its height";
}

// The rich list's logic with a measure of 20 pixels per 100 of text width.
class RichListLogic : public ::testing::Test {
 protected:
  void SetUp() override {
    list.SetMeasure([](const HTMLListItem& item, int width) {
      const int chars = static_cast<int>(item.text.size());
      const int lines = width > 0 ? (chars * 10 + width - 1) / width : 1;
      return std::max(1, lines) * 20;
    });
    list.SetNotify([this](const RichListNotify& n) { notes.push_back(n); });
    list.Resize(200, 100);
  }
  std::vector<int> Codes() const {
    std::vector<int> codes;
    for (const auto& n : notes) codes.push_back(n.code);
    return codes;
  }
  CRichListModel list;
  std::vector<RichListNotify> notes;
};

TEST_F(RichListLogic, HeightsAreMeasuredUnlessFixedAndFollowTheWidth) {
  const int measured = list.InsertItem(std::u16string(30, u'x'), 0, ItemTypeText, 0);
  list.InsertItem(u"fixed", 0, ItemTypeMarkup, 108);
  EXPECT_EQ(list.GetItem(measured)->height, 2 * 20 + 10) << "300 pixels of text in 195";
  EXPECT_EQ(list.TotalHeight(), 50 + 108);
  list.Resize(400, 100);
  EXPECT_EQ(list.GetItem(measured)->height, 20 + 10);
  EXPECT_EQ(list.GetItem(1)->height, 108);
  EXPECT_EQ(list.TotalHeight(), 30 + 108);
  list.SetStyle(StyleCheckBoxes);
  EXPECT_EQ(list.GetItem(measured)->height, 20 + 10) << "376 wide with the check-box margin";
}

TEST_F(RichListLogic, ScrollingSteps) {
  for (int i = 0; i < 10; ++i) list.InsertItem(u"x", 0, ItemTypeText, 40);
  EXPECT_EQ(list.ScrollLimit(), 300);
  list.Scroll(kScrollLineDown);
  EXPECT_EQ(list.ScrollPos(), 50);
  list.Wheel(-120);
  EXPECT_EQ(list.ScrollPos(), 90);
  list.Scroll(kScrollThumb, 280);
  list.Scroll(kScrollPageDown);
  EXPECT_EQ(list.ScrollPos(), 300) << "never past the limit";
  list.Wheel(120);
  EXPECT_EQ(list.ScrollPos(), 260);
  list.Scroll(kScrollThumb, 30);
  list.Scroll(kScrollLineUp);
  EXPECT_EQ(list.ScrollPos(), 0);
  list.EnsureVisible(5);
  EXPECT_EQ(list.ScrollPos(), 240 - 100) << "the item's bottom meets the client's bottom";
  list.EnsureVisible(1);
  EXPECT_EQ(list.ScrollPos(), 40) << "an item above comes to the top";
  list.EnsureVisible(1);
  EXPECT_EQ(list.ScrollPos(), 40) << "a visible item does not scroll";
}

TEST_F(RichListLogic, ClicksKeysAndNotifications) {
  list.SetStyle(StyleCheckBoxes);
  list.InsertItem(u"a", 0, ItemTypeText, 40);
  list.InsertItem(u"b", 0, ItemTypeText, 40);
  list.GetItem(1)->data = 7;
  list.KeyDown(kKeyDown);
  EXPECT_EQ(list.SelectedIndex(), 0) << "the first down selects the first item";
  list.KeyDown(kKeyDown);
  EXPECT_EQ(list.SelectedIndex(), 1);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[1].data, 7);
  list.KeyDown(kKeySpace);
  EXPECT_EQ(list.GetItem(1)->checked, 1);
  EXPECT_EQ(notes.back().code, NotifyCheckChanged);
  notes.clear();
  // The check box of item 0 sits at (3, 12) to (18, 27).
  list.LeftButtonDown(5, 14);
  EXPECT_EQ(Codes(), (std::vector<int>{NotifyLeftButtonDown, NotifyCheckChanged, NotifySelectionChanged}));
  EXPECT_EQ(list.GetItem(0)->checked, 1);
  notes.clear();
  list.LeftButtonDown(50, 95);
  EXPECT_EQ(list.SelectedIndex(), -1) << "a click below the items clears the selection";
  EXPECT_EQ(notes.back().item, -1);
  list.KeyDown(kKeyUp);
  EXPECT_EQ(list.SelectedIndex(), 0) << "up with no selection selects the first";
  notes.clear();
  list.LeftDoubleClick();
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].code, NotifyDoubleClick);
  EXPECT_EQ(notes[0].item, -1);
}

}  // namespace
