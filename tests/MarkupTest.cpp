#include <gtest/gtest.h>

#include <ostream>

#include "support/ParamNames.h"
#include "support/RecordingDevice.h"

namespace {

// Draws text into a 400-pixel-wide rectangle at (10, 20) with word breaks.
std::vector<CRecordingDevice::Drawn> Draw(const std::u16string& text, uint32_t flags = kDtWordBreak, int width = 400) {
  CRecordingDevice dc;
  MarkupRect rect{10, 20, 10 + width, 500};
  DrawMarkupText(&dc, text, &rect, flags);
  EXPECT_EQ(dc.saves, dc.restores);
  return dc.drawn;
}

std::u16string Texts(const std::vector<CRecordingDevice::Drawn>& drawn) {
  std::u16string all;
  for (const auto& d : drawn) all += (all.empty() ? u"" : u"|") + d.text;
  return all;
}

TEST(Markup, NothingToDraw) {
  CRecordingDevice dc;
  MarkupRect rect{0, 0, 100, 100};
  EXPECT_EQ(DrawMarkupText(nullptr, u"x", &rect, 0), 0);
  EXPECT_EQ(DrawMarkupText(&dc, u"", &rect, 0), 0);
  EXPECT_TRUE(dc.drawn.empty());
}

TEST(Markup, BoldWordThenPlainWordAfterOneSpace) {
  for (const std::u16string& text : {std::u16string(u"<b>one</b> two"), std::u16string(u"<b>one</b>  two"),
                                     std::u16string(u"zero <b> one</b> two")}) {
    auto d = Draw(text);
    ASSERT_GE(d.size(), 2u);
    const auto& one = d[d.size() - 2];
    const auto& two = d.back();
    EXPECT_EQ(one.text, u"one");
    EXPECT_EQ(one.style, kStyleBold);
    EXPECT_EQ(two.style, 0);
    EXPECT_EQ(two.rect.left, one.rect.left + 27 + 8) << "bold 'one' is 27 wide, one plain space 8";
  }
}

TEST(Markup, BreaksAndParagraphs) {
  auto d = Draw(u"<p>first<br> second<p>third");
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].rect.top, 20) << "a leading paragraph adds no space";
  EXPECT_EQ(d[1].rect.left, 10) << "no space at the start of the new line";
  EXPECT_EQ(d[1].rect.top, 36);
  EXPECT_EQ(d[2].rect.top, 36 + 24);
  auto single = Draw(u"first<br>second<p>third", kDtSingleLine);
  EXPECT_EQ(single[1].rect.top, 20);
  EXPECT_EQ(single[2].rect.top, 20);
}

struct ColorCase {
  const char* what;
  const char16_t* text;
  uint32_t color;
};

// Shows the case by its description in test output.
void PrintTo(const ColorCase& c, std::ostream* os) { *os << c.what; }

class MarkupColor : public ::testing::TestWithParam<ColorCase> {};

TEST_P(MarkupColor, SetsTheTextColour) {
  auto d = Draw(GetParam().text);
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(d[0].color, GetParam().color) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Table, MarkupColor,
                         ::testing::Values(ColorCase{"hash", u"<font color=#6464E6>x</font>", 0xE66464},
                                           ColorCase{"lower case in apostrophes", u"<font color='6464e6'>x</font>", 0xE66464},
                                           ColorCase{"double quotes", u"<font color=\"#6464E6\">x", 0xE66464},
                                           ColorCase{"not a colour", u"<font size=3>x</font>", 0},
                                           ColorCase{"bad digit counts as 0", u"<font color=#6Z64E6>x", 0xE66460}),
                         NameFromWhat());

TEST(Markup, FontPopsRestoreAndTheStackHoldsEight) {
  std::u16string text;
  for (int i = 1; i <= 9; ++i) text += u"<font color=#0000" + std::u16string(1, static_cast<char16_t>(u'0' + i)) + u"0>";
  text += u"a</font>b</font>c";
  auto d = Draw(text);
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0].color, 0x900000u);
  EXPECT_EQ(d[1].color, 0x700000u) << "the ninth colour was set but not stacked";
  EXPECT_EQ(d[2].color, 0x600000u);
}

TEST(Markup, UnrecognisedTags) {
  EXPECT_EQ(Texts(Draw(u"a <xyz>b</xyz> c")), u"a|<xyz>|b|c");
  EXPECT_EQ(Texts(Draw(u"<b class=x>bold</b>")), u"<b|class=x>bold");
  EXPECT_EQ(Texts(Draw(u"<bold>x</bold>")), u"x") << "a tag word starting with b means bold";
}

TEST(Markup, WrapsOnlyAtWhiteSpace) {
  auto d = Draw(u"aaaa bbbb cccc", kDtWordBreak, 80);
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[1].rect.top, 20);
  EXPECT_EQ(d[2].rect.top, 36) << "cccc does not fit after 'aaaa bbbb'";
  auto wide = Draw(u"aaaaaaaaaaaaaaaaaaaa", kDtWordBreak, 80);
  EXPECT_EQ(wide[0].rect.right - wide[0].rect.left, 160) << "a wide word widens the line";
  auto noBreak = Draw(u"aaaa bbbb cccc", 0, 80);
  EXPECT_EQ(noBreak[2].rect.top, 20);
}

TEST(Markup, SubscriptSitsAtTheFootAndUnderlineSpansTheGap) {
  auto sub = Draw(u"H<sub>2</sub>O");
  ASSERT_EQ(sub.size(), 3u);
  EXPECT_EQ(sub[1].flags & (kDtBottom | kDtSingleLine), kDtBottom | kDtSingleLine);
  auto under = Draw(u"<u>one two</u>");
  ASSERT_EQ(under.size(), 3u);
  EXPECT_EQ(under[2].text, u" ");
  EXPECT_EQ(under[2].rect.right, under[1].rect.left);
}

TEST(Markup, MeasuresWithoutDrawing) {
  CRecordingDevice dc;
  MarkupRect rect{10, 20, 410, 20};
  const int y = DrawMarkupText(&dc, u"<p>第一段<p>two words", &rect, kDtCalcRect | kDtWordBreak);
  EXPECT_TRUE(dc.drawn.empty());
  EXPECT_EQ(y, 24);
  EXPECT_EQ(rect.right, 10 + 72);
  EXPECT_EQ(rect.bottom, 20 + 24 + 16);
}

TEST(Markup, ChineseBetweenTagsIsOneWordARun) {
  EXPECT_EQ(Texts(Draw(u"删除文件恢复<b>万能恢复</b>")), u"删除文件恢复|万能恢复");
}

}  // namespace
