#include "dialog/log_view_state.h"

#include <gtest/gtest.h>

#include <functional>

namespace quillmap {
namespace {

// A log of `lines` lines, 50 columns wide, in a view of 10 rows and 20 columns.
LogViewState ViewOf(size_t lines) {
  LogViewState view;
  view.SetPageSize(10, 20);
  view.SetContent(lines, 50);
  return view;
}

TEST(LogViewStateTest, FollowsTheEndOnlyWhileTheUserHasNotScrolledAway) {
  struct Case {
    const char* name;
    size_t lines;
    std::function<void(LogViewState&)> steps;
    size_t firstRow;
    bool following;
  };
  const Case cases[] = {
      {"appends while following show the end", 5, [](LogViewState& v) { v.SetContent(25, 50); }, 15,
       true},
      {"one row up stops following", 25, [](LogViewState& v) { v.OnKey(LogKey::kUp); }, 14, false},
      {"appends keep the reader's place", 25,
       [](LogViewState& v) {
         v.OnKey(LogKey::kUp);
         v.SetContent(40, 50);
       },
       14, false},
      {"End follows again", 25,
       [](LogViewState& v) {
         v.OnKey(LogKey::kHome);
         v.OnKey(LogKey::kEnd);
         v.SetContent(40, 50);
       },
       30, true},
      {"paging down to the end follows again", 25,
       [](LogViewState& v) {
         v.OnKey(LogKey::kHome);
         v.OnKey(LogKey::kPageDown);
         v.OnKey(LogKey::kPageDown);
         v.SetContent(26, 50);
       },
       16, true},
      {"scrolling stops at both ends", 25, [](LogViewState& v) { v.ScrollBy(-100); }, 0, false},
      {"a thumb dragged past the end", 25, [](LogViewState& v) { v.ScrollTo(1000); }, 15, true},
      {"a smaller view keeps the end in sight", 25, [](LogViewState& v) { v.SetPageSize(5, 20); },
       20, true},
      {"a smaller view keeps the reader's place", 25,
       [](LogViewState& v) {
         v.ScrollTo(3);
         v.SetPageSize(5, 20);
       },
       3, false},
      {"a log shorter than the view always follows", 5,
       [](LogViewState& v) { v.OnKey(LogKey::kHome); }, 0, true},
      {"a new log starts over, following", 25,
       [](LogViewState& v) {
         v.ScrollTo(2);
         v.SetContent(0, 0);
         v.SetContent(30, 50);
       },
       20, true},
      {"a jump to a row in sight does not scroll", 100, [](LogViewState& v) { v.ShowRow(95); }, 90,
       true},
      {"a jump out of sight puts the row in the middle", 100,
       [](LogViewState& v) { v.ShowRow(40); }, 35, false},
      {"a jump near the top", 100, [](LogViewState& v) { v.ShowRow(2); }, 0, false},
  };
  for (const Case& c : cases) {
    LogViewState view = ViewOf(c.lines);
    c.steps(view);
    EXPECT_EQ(view.firstRow(), c.firstRow) << c.name;
    EXPECT_EQ(view.following(), c.following) << c.name;
    EXPECT_EQ(view.endRow(), std::min(view.lineCount(), c.firstRow + view.pageRows() + 1))
        << c.name;
  }
}

TEST(LogViewStateTest, ColumnsScrollWithinTheWidestLineAndLeaveFollowingAlone) {
  LogViewState view = ViewOf(25);
  for (int i = 0; i < 3; ++i) view.OnKey(LogKey::kRight);
  EXPECT_EQ(view.firstColumn(), 3u);
  view.ScrollColumnsTo(100);
  EXPECT_EQ(view.firstColumn(), 30u);
  view.OnKey(LogKey::kLeft);
  EXPECT_EQ(view.firstColumn(), 29u);
  EXPECT_TRUE(view.following());
  view.SetPageSize(10, 45);
  EXPECT_EQ(view.firstColumn(), 5u);
  view.ShowRow(0);
  EXPECT_EQ(view.firstColumn(), 0u);
}

TEST(LogViewStateTest, ClicksAndJumpsSelectLines) {
  struct Case {
    const char* name;
    std::function<void(LogViewState&)> steps;
    bool selected;
    size_t first, last;
  };
  const Case cases[] = {
      {"nothing at first", [](LogViewState&) {}, false, 0, 0},
      {"a click", [](LogViewState& v) { v.Select(3, false); }, true, 3, 3},
      {"shift-click below",
       [](LogViewState& v) {
         v.Select(3, false);
         v.Select(7, true);
       },
       true, 3, 7},
      {"shift-click above the anchor",
       [](LogViewState& v) {
         v.Select(3, false);
         v.Select(7, true);
         v.Select(1, true);
       },
       true, 1, 3},
      {"shift-click with nothing selected", [](LogViewState& v) { v.Select(4, true); }, true, 4, 4},
      {"a click past the last line", [](LogViewState& v) { v.Select(25, false); }, false, 0, 0},
      {"select all", [](LogViewState& v) { v.SelectAll(); }, true, 0, 24},
      {"a jump", [](LogViewState& v) { v.ShowRow(12); }, true, 12, 12},
      {"a new log drops the selection",
       [](LogViewState& v) {
         v.SelectAll();
         v.SetContent(0, 0);
         v.SetContent(5, 5);
       },
       false, 0, 0},
      {"appends keep it",
       [](LogViewState& v) {
         v.Select(2, false);
         v.SetContent(30, 50);
       },
       true, 2, 2},
  };
  for (const Case& c : cases) {
    LogViewState view = ViewOf(25);
    c.steps(view);
    ASSERT_EQ(view.hasSelection(), c.selected) << c.name;
    if (!c.selected) continue;
    EXPECT_EQ(view.selectionFirst(), c.first) << c.name;
    EXPECT_EQ(view.selectionLast(), c.last) << c.name;
    EXPECT_TRUE(view.IsSelected(c.first) && view.IsSelected(c.last)) << c.name;
    EXPECT_FALSE(view.IsSelected(c.last + 1)) << c.name;
  }
}

}  // namespace
}  // namespace quillmap
