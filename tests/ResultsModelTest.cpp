#include <gtest/gtest.h>

#include <ostream>

#include "support/ParamNames.h"

#include "app/FileRows.h"
#include "app/PathNames.h"
#include "app/ResultsModel.h"

namespace {

struct SizeCase {
  uint64_t size;
  const char* text;
};

// Shows the case by its description in test output.
void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.size; }

class FormatSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(FormatSizeTest, Table) { EXPECT_EQ(FormatSize(GetParam().size), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Table, FormatSizeTest,
                         ::testing::Values(SizeCase{0, "0byte"}, SizeCase{1024, "1024byte"},
                                           SizeCase{1025, "1.0KB"}, SizeCase{1048576, "1024.0KB"},
                                           SizeCase{1048577, "1.0M"}, SizeCase{2040109, "1.9M"},
                                           SizeCase{1ULL << 30, "1024.0M"}, SizeCase{5ULL << 30, "5.0G"},
                                           SizeCase{(3ULL << 40) + (1ULL << 39), "3584.0G"},
                                           SizeCase{UINT64_MAX, "17179869183.9G"}), NameFromIndex());

TEST(FileRows, ImageByExtension) {
  EXPECT_EQ(ImageForName("Photo.JPG"), kImageJpg);
  EXPECT_EQ(ImageForName("archive.tar.ZIP"), kImageArchive);
  EXPECT_EQ(ImageForName("x.rar"), kImageArchive);
  EXPECT_EQ(ImageForName("pic.bmp"), kImageBmp);
  EXPECT_EQ(ImageForName("readme"), kImageOther);
  EXPECT_EQ(ImageForName("zip"), kImageArchive);
}

TEST(FileRows, TimeColumn) {
  EXPECT_EQ(TimeColumnText(0), "");
  EXPECT_EQ(TimeColumnText(0xFFFFFFFF), "");
  // 2024-03-15 10:30:00 as a FILETIME.
  EXPECT_EQ(TimeColumnText(133549722000000000ULL), "2024-03-15  10:30");
  EXPECT_EQ(FormatTime(~0ULL), "0000-00-00  00:00");
}

TEST(PathNames, HostileNamesStayInTheirFolder) {
  EXPECT_EQ(SafePathName("a/b\\c"), "a_b_c");
  EXPECT_EQ(SafePathName(std::string("nul\0x", 5)), "nul_x");
  EXPECT_EQ(SafePathName("."), "_");
  EXPECT_EQ(SafePathName(".."), "__");
  EXPECT_EQ(SafePathName(""), "_");
  EXPECT_EQ(SafePathName("照片.jpg"), "照片.jpg");
  EXPECT_EQ(NumberedName("a.txt", 2), "a (2).txt");
  EXPECT_EQ(NumberedName("README", 3), "README (3)");
}

struct WindowsNameCase {
  // The name on disk and the name it is written under.
  const char* name;
  const char* written;
};

class WindowsNames : public ::testing::TestWithParam<WindowsNameCase> {};

TEST_P(WindowsNames, NothingTheWindowsFileSystemsRefuseOrReinterpret) {
  EXPECT_EQ(SafePathNameFor(GetParam().name, PathNameRules::Windows), GetParam().written);
  EXPECT_EQ(SafePathNameFor("a:b", PathNameRules::Posix), "a:b") << "only Windows reads ':' as a stream";
}

void PrintTo(const WindowsNameCase& c, std::ostream* os) { *os << c.name; }

INSTANTIATE_TEST_SUITE_P(Table, WindowsNames,
                         ::testing::Values(WindowsNameCase{"report.txt:hidden", "report.txt_hidden"},
                                           WindowsNameCase{"a*b?c\"d<e>f|g", "a_b_c_d_e_f_g"},
                                           WindowsNameCase{"tab\there", "tab_here"},
                                           WindowsNameCase{"trailing. . ", "trailing____"},
                                           WindowsNameCase{"CON", "_CON"},
                                           WindowsNameCase{"nul.txt", "_nul.txt"},
                                           WindowsNameCase{"Com7.log", "_Com7.log"},
                                           WindowsNameCase{"lpt0", "lpt0"},
                                           WindowsNameCase{"console.txt", "console.txt"},
                                           WindowsNameCase{"..", "__"},
                                           WindowsNameCase{"照片.jpg", "照片.jpg"}));

class ResultsModelTest : public ::testing::Test {
 protected:
  ResultsModelTest() {
    s.selectedDrive = 'E';
    s.recoveryMode = ModeDeletedFiles;
    // 5 (root) > 20 "A" > 30 "B" > 40 "D"; 17 "C" under the root; placeholder dir1 (key 0).
    s.directories[20] = {1, 5, "A", 1};
    s.directories[17] = {1, 5, "C", 1};
    s.directories[30] = {1, 20, "B", 1};
    s.directories[40] = {1, 30, "D", 1};
    s.directories[0] = {0, 0, "dir1", 1};
    AddFile(100, 40, "d1.txt");
    AddFile(101, 40, "d2.txt");
    AddFile(102, 20, "a.TXT");
    AddFile(103, 0, "lost.bin");
    AddFile(104, 5, "top.doc");
  }
  void AddFile(uint64_t id, uint64_t parent, const char* name, FoundKind kind = FoundKind::Ntfs) {
    FoundFile f;
    f.id = id;
    f.parentRef = parent | (3ULL << 48);
    f.name = name;
    f.size = id;
    f.kind = kind;
    s.foundFiles.push_back(f);
  }
  CTreeNode* Node(CResultsModel& m, const char* path) {
    CTreeNode* n = m.Tree().FindByPath(path);
    EXPECT_NE(n, nullptr) << path;
    return n;
  }
  std::vector<std::string> RowNames(const CResultsModel& m) {
    std::vector<std::string> names;
    for (const FileRow& r : m.Rows()) names.push_back(r.name);
    return names;
  }
  ScanSession s;
};

TEST_F(ResultsModelTest, TreeHasFixedNodesAndDirectoriesInIdOrder) {
  CResultsModel m(s);
  CTreeNode* drive = m.Tree().GetDriveNode();
  EXPECT_EQ(drive->caption, "E盘");
  ASSERT_EQ(drive->children.size(), 2u) << "no by-type node in a deleted-files NTFS session";
  CTreeNode* deleted = m.Tree().GetDeletedNode();
  ASSERT_EQ(deleted->children.size(), 2u);
  EXPECT_EQ(deleted->children[0]->caption, "C") << "id 17 before id 20";
  EXPECT_EQ(deleted->children[1]->caption, "A");
  EXPECT_EQ(CFolderTree::PathOf(Node(m, "删除的文件/A/B/D")), "删除的文件/A/B/D");
  EXPECT_TRUE(s.directories.empty()) << "the map is emptied once the tree is built";
}

TEST_F(ResultsModelTest, PlaceholderOfReferenceZeroAppearsOnce) {
  CResultsModel m(s);
  CTreeNode* found = m.Tree().GetFoundNode();
  ASSERT_EQ(found->children.size(), 1u);
  EXPECT_EQ(found->children[0]->caption, "dir1");
  EXPECT_TRUE(found->children[0]->children.empty());
}

TEST_F(ResultsModelTest, ByTypeNodeInUniversalMode) {
  s.recoveryMode = ModeUniversal;
  s.directories[5] = {0, 0xFFFFFFFF, "ppt", 1};
  AddFile(0, 5, "ppt7.pptx", FoundKind::Carved);
  CResultsModel m(s);
  CTreeNode* ppt = Node(m, "按类型分类的文件/ppt");
  EXPECT_TRUE(ppt->children.empty()) << "a type folder does not take the root's directories";
  EXPECT_EQ(RowNames(m), (std::vector<std::string>{"top.doc"})) << "carved files stay out of 删除的文件";
  m.SelectNode(ppt);
  EXPECT_EQ(RowNames(m), (std::vector<std::string>{"ppt7.pptx"}));
}

// A folder that holds only folders lists nothing of the folder selected
// before it, and says why its list is empty.
TEST_F(ResultsModelTest, FoldersOfOnlyFoldersListNothingAndSayWhy) {
  CResultsModel m(s);
  m.SelectNode(Node(m, "删除的文件/A/B/D"));
  EXPECT_EQ(RowNames(m), (std::vector<std::string>{"d1.txt", "d2.txt"}));
  EXPECT_EQ(m.EmptyListText(), "");
  for (CTreeNode* node : {m.Tree().GetFoundNode(), m.Tree().GetDriveNode()}) {
    m.SelectNode(node);
    EXPECT_TRUE(RowNames(m).empty());
    EXPECT_EQ(m.EmptyListText(), "此文件夹中只有文件夹, 文件在其下的文件夹中。");
  }
  m.SelectNode(Node(m, "找到的文件/dir1"));
  EXPECT_EQ(RowNames(m), (std::vector<std::string>{"lost.bin"}));
}

// The window opens on a folder that lists files: 删除的文件 when it holds
// some itself, else the first folder below it that does.
TEST_F(ResultsModelTest, OpensOnTheFirstFolderThatListsFiles) {
  {
    CResultsModel m(s);
    EXPECT_EQ(m.FirstNodeWithFiles(), m.Tree().GetDeletedNode()) << "top.doc lies in it";
  }
  s.foundFiles.pop_back();  // top.doc
  s.directories[20] = {1, 5, "A", 1};
  s.directories[17] = {1, 5, "C", 1};
  s.directories[30] = {1, 20, "B", 1};
  s.directories[40] = {1, 30, "D", 1};
  s.directories[0] = {0, 0, "dir1", 1};
  CResultsModel m(s);
  EXPECT_EQ(m.FirstNodeWithFiles(), Node(m, "删除的文件/A")) << "C lists nothing, A lists a.TXT";
}

TEST_F(ResultsModelTest, CheckingADeepNodeChecksItsAncestorsAndItsFiles) {
  CResultsModel m(s);
  CTreeNode* d = Node(m, "删除的文件/A/B/D");
  m.ClickNodeCheckBox(d);
  for (const char* path : {"删除的文件/A/B/D", "删除的文件/A/B", "删除的文件/A", "删除的文件"}) {
    EXPECT_TRUE(Node(m, path)->checked) << path;
  }
  EXPECT_TRUE(m.Tree().GetDriveNode()->checked);
  EXPECT_FALSE(Node(m, "删除的文件/C")->checked);
  EXPECT_EQ(s.foundFiles[0].checked, 1);
  EXPECT_EQ(s.foundFiles[1].checked, 1);
  EXPECT_EQ(s.foundFiles[2].checked, 0) << "ancestors' files keep their flags";
  EXPECT_FALSE(m.Rows()[0].checked) << "rows of another node are untouched";

  m.ClickNodeCheckBox(Node(m, "删除的文件/C"));
  m.ClickNodeCheckBox(d);  // unchecking D unchecks B and A, but 删除的文件 keeps C
  EXPECT_FALSE(Node(m, "删除的文件/A/B")->checked);
  EXPECT_FALSE(Node(m, "删除的文件/A")->checked);
  EXPECT_TRUE(Node(m, "删除的文件")->checked);
  EXPECT_EQ(s.foundFiles[0].checked, 0);
}

TEST_F(ResultsModelTest, CheckingANodeChecksItsSubtreeAndTheShownRows) {
  CResultsModel m(s);
  m.SelectNode(Node(m, "删除的文件/A"));
  m.ClickNodeCheckBox(Node(m, "删除的文件/A"));
  EXPECT_TRUE(Node(m, "删除的文件/A/B/D")->checked);
  EXPECT_TRUE(m.Rows()[0].checked);
  for (size_t i : {0, 1, 2}) EXPECT_EQ(s.foundFiles[i].checked, 1) << i;
  EXPECT_EQ(s.foundFiles[4].checked, 0);
}

TEST_F(ResultsModelTest, CheckingARowChecksItsNodeUpwards) {
  CResultsModel m(s);
  m.SelectNode(Node(m, "删除的文件/A/B/D"));
  m.ClickRowCheckBox(1);
  EXPECT_EQ(s.foundFiles[1].checked, 1);
  EXPECT_EQ(s.foundFiles[0].checked, 0);
  EXPECT_TRUE(Node(m, "删除的文件/A/B/D")->checked);
  EXPECT_TRUE(m.Tree().GetDriveNode()->checked);
  m.ClickRowCheckBox(1);
  EXPECT_EQ(s.foundFiles[1].checked, 0);
  EXPECT_TRUE(Node(m, "删除的文件/A/B/D")->checked) << "unchecking the last row leaves the node checked";
}

TEST_F(ResultsModelTest, FindIgnoresCaseAndListsAllForEmptyText) {
  CResultsModel m(s);
  EXPECT_EQ(m.FindFiles("TXT"), 3u);
  EXPECT_EQ(RowNames(m), (std::vector<std::string>{"d1.txt", "d2.txt", "a.TXT"}));
  EXPECT_EQ(m.Rows()[0].image, kImageOther);
  EXPECT_TRUE(m.ListsSearch());
  EXPECT_EQ(m.FindFiles(""), 5u);
  EXPECT_EQ(m.FindFiles("nothing"), 0u);
  EXPECT_EQ(m.Rows().size(), 5u) << "a search without a match keeps the list it found before";
  // Whatever read the volume, every listed file is searched.
  s.resultSource = SourceOther;
  EXPECT_EQ(m.FindFiles(""), 5u);
}

TEST_F(ResultsModelTest, MatchesCarryTheirFolderAndSortByIt) {
  CResultsModel m(s);
  ASSERT_EQ(m.FindFiles("txt"), 3u);
  std::vector<std::string> folders;
  for (const FileRow& row : m.Rows()) folders.push_back(row.folder);
  EXPECT_EQ(folders, (std::vector<std::string>{"删除的文件/A/B/D", "删除的文件/A/B/D", "删除的文件/A"}));
  m.SortRows(RowSort::Folder, true);
  EXPECT_EQ(m.Rows().front().name, "a.TXT");
  ASSERT_EQ(m.FindFiles(""), 5u);
  m.SortRows(RowSort::Type, true);
  EXPECT_EQ(RowNames(m).front(), "lost.bin");
  EXPECT_EQ(RowNames(m)[1], "top.doc");
}

TEST_F(ResultsModelTest, FoundRowCheckBoxFollowsItsRecord) {
  CResultsModel m(s);
  m.SelectNode(Node(m, "删除的文件/C"));
  m.FindFiles("top");
  m.ClickRowCheckBox(0);
  EXPECT_EQ(s.foundFiles[4].checked, 1);
  EXPECT_TRUE(Node(m, "删除的文件/C")->checked) << "the node selected before the search";
}

}  // namespace
