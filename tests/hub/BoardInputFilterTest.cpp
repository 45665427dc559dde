#include "BoardInputFilter.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>

namespace {

using Verdict = BoardInputFilter::Verdict;

BoardInputFilter::Contact at(int id, int x, int y, bool pressed)
{
    return {id, x, y, 0, 0, pressed};
}

// With a screen of 32767 x 32767 hub coordinates are screen pixels.
class BoardInput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        filter.setScreenSize(32767, 32767);
        filter.setWindow(1000, 1000, 1000, 1000);
    }

    Verdict pen(int id, int x, int y, bool tip, bool isPrivate = false)
    {
        return filter.pen(quint8(id), x, y, tip, isPrivate, now);
    }

    // Indices of the contacts the report forwards.
    QVector<int> touch(const QVector<BoardInputFilter::Contact> &points, bool isPrivate = false)
    {
        const BoardInputFilter::Batch batch = filter.touch(points, isPrivate, now);
        focusLost = batch.focusLost;
        return batch.forwarded;
    }

    BoardInputFilter filter;
    qint64 now = 1000000;
    bool focusLost = false;
};

// A coordinate on both axes, and whether it is inside the window.
class WindowEdge : public BoardInput, public ::testing::WithParamInterface<std::pair<int, bool>>
{};

TEST_P(WindowEdge, IsInsideOnlyFromTheFirstToTheLastPixel)
{
    const Verdict expected = GetParam().second ? Verdict::Forward : Verdict::Drop;
    EXPECT_EQ(pen(1, GetParam().first, 1500, false), expected);
    EXPECT_EQ(pen(1, 1500, GetParam().first, false), expected);
}

INSTANTIATE_TEST_SUITE_P(Edges, WindowEdge,
                         ::testing::Values(std::make_pair(999, false), std::make_pair(1000, true),
                                           std::make_pair(1999, true), std::make_pair(2000, false)));

TEST_F(BoardInput, ScalesClientNumbersWithoutOverflow)
{
    filter.setScreenSize(INT_MAX, INT_MAX);
    filter.setWindow(INT_MAX - 10, INT_MAX - 10, INT_MAX, INT_MAX);
    EXPECT_EQ(pen(1, 32767, 32767, false), Verdict::Forward);
    EXPECT_EQ(pen(1, 0, 0, false), Verdict::Drop);
}

TEST_F(BoardInput, PenStrokesThrottleOnlyOnceAPenAbove1WasSeen)
{
    // Pen 1 alone: every sample of a stroke goes out.
    for (int x : {1100, 1101, 1102})
        EXPECT_EQ(pen(1, x, 1100, true), Verdict::Forward);
    EXPECT_EQ(pen(1, 1102, 1100, false), Verdict::Forward);

    pen(2, 1500, 1500, false);
    EXPECT_EQ(pen(1, 1100, 1100, true), Verdict::Forward);
    EXPECT_EQ(pen(1, 1110, 1100, true), Verdict::Drop);    // 10 away, same moment
    EXPECT_EQ(pen(1, 1200, 1100, true), Verdict::Forward); // 100 away
    now += 20;
    EXPECT_EQ(pen(1, 1201, 1100, true), Verdict::Forward); // 20 ms later
    EXPECT_EQ(pen(1, 1202, 1100, false), Verdict::Forward);
}

TEST_F(BoardInput, PenIdsWithoutABoardSlotAreHandledLikeAnyOther)
{
    EXPECT_EQ(pen(0, 1500, 1500, true), Verdict::Forward);
    EXPECT_EQ(pen(255, 1500, 1500, true), Verdict::Forward);
    EXPECT_EQ(pen(255, 1500, 1500, false), Verdict::Forward);
}

TEST_F(BoardInput, PenDownOutsideLosesFocusOnlyInPrivateMode)
{
    EXPECT_EQ(pen(1, 5000, 5000, true), Verdict::Drop);
    EXPECT_EQ(pen(1, 5000, 5000, true, true), Verdict::FocusLost);
    EXPECT_EQ(pen(1, 5010, 5000, true, true), Verdict::FocusLost);
    // A stroke that began inside and leaves the window ends quietly.
    EXPECT_EQ(pen(1, 1500, 1500, true, true), Verdict::Forward);
    EXPECT_EQ(pen(1, 5000, 5000, true, true), Verdict::Drop);
}

TEST_F(BoardInput, TouchBatchesDropSmallMovesAndThrottleMovesOnly)
{
    pen(2, 1500, 1500, false);
    EXPECT_EQ(touch({at(1, 1100, 1100, true), at(2, 1200, 1100, true)}), (QVector<int>{0, 1}));
    EXPECT_EQ(touch({at(1, 1101, 1100, true)}), QVector<int>{}); // a 1-unit move
    EXPECT_EQ(touch({at(1, 1110, 1100, true)}), QVector<int>{}); // moves only, soon, small
    // A lift is never throttled; contact 1 has not moved.
    EXPECT_EQ(touch({at(1, 1110, 1100, true), at(2, 1200, 1100, false)}), QVector<int>{1});
    now += 20;
    EXPECT_EQ(touch({at(1, 1130, 1100, true)}), QVector<int>{0});
    EXPECT_EQ(touch({at(1, 1200, 1100, true)}), QVector<int>{0}); // 70 away: at once
}

TEST_F(BoardInput, TouchesThatWentDownOutsideStayOutUntilLifted)
{
    // Outside with nothing under way: the whole report is dropped, and the
    // board is lost only in private mode.
    EXPECT_EQ(touch({at(2, 5000, 5000, true), at(1, 1500, 1500, true)}), QVector<int>{});
    EXPECT_FALSE(focusLost);
    touch({at(3, 5000, 5000, true)}, true);
    EXPECT_TRUE(focusLost);

    EXPECT_EQ(touch({at(1, 1500, 1500, true)}, true), QVector<int>{0});
    EXPECT_EQ(touch({at(1, 1600, 1500, true), at(4, 5000, 5000, true)}, true), QVector<int>{0});
    EXPECT_EQ(touch({at(4, 1500, 1500, true)}, true), QVector<int>{});
    EXPECT_EQ(touch({at(4, 1500, 1500, false)}, true), QVector<int>{});
    EXPECT_EQ(touch({at(4, 1520, 1500, true)}, true), QVector<int>{0});
    EXPECT_FALSE(focusLost);
}

TEST_F(BoardInput, ErasersSkipEmptyContactsAndNeverLoseFocus)
{
    filter.setWindow(0, 0, 3000, 3000);
    const BoardInputFilter::Batch outside = filter.eraser({{3, 5000, 5000, 30, 20, true}}, now);
    EXPECT_TRUE(outside.forwarded.isEmpty() && !outside.focusLost);
    EXPECT_EQ(filter.eraser({{1, 0, 0, 0, 0, true}, {2, 100, 100, 30, 20, true}}, now).forwarded, QVector<int>{1});
}

} // namespace
