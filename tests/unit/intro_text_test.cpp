// Whole-intro runs of the text: the glyph images the real form holds, and
// the typewriter reveal over two whole cycles of the real procedure, with
// every listed moment's frame compared as a whole.
#include <gtest/gtest.h>

#include <map>

#include "MainUnit.h"
#include "support.h"

namespace {

using test::IntroRun;
using test::RecordingHeadless;

using IntroText = IntroRun;

bool Same(const TSpriteRec& a, const TSpriteRec& b) {
    return a.X == b.X && a.Y == b.Y && a.Extra1 == b.Extra1 && a.Width == b.Width && a.Height == b.Height &&
           a.ExtraA == b.ExtraA && a.ExtraB == b.ExtraB && a.ExtraC == b.ExtraC && a.Extra2 == b.Extra2 &&
           a.ImageIndex == b.ImageIndex && a.Ch == b.Ch;
}

TEST_F(IntroText, TheFormHoldsTheLogoAnd52GlyphImagesEqualToTheirCells) {
    const test::Picture24 sheet = test::LoadAssetBmp("FontSheet.bmp");
    ASSERT_EQ(sheet.width, 260);
    ASSERT_EQ(sheet.height, 37);
    bool checked = false;
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  b.clock += 16;
                  if (!checked && b.windowShown) {
                      checked = true;
                      const TPictureCollection& items = frmMain->ImageList->Items;
                      ASSERT_EQ(items.Count(), 53);
                      EXPECT_EQ(items[0].Name, "kvnLogo");
                      EXPECT_EQ(items[0].Picture.Width(), 296);
                      EXPECT_EQ(items[0].Picture.Height(), 109);
                      for (int n = 1; n <= 52; ++n) {
                          SCOPED_TRACE("item " + std::to_string(n));
                          const TGraphic* g = items[n].Picture.Graphic();
                          ASSERT_NE(g, nullptr);
                          ASSERT_EQ(g->Width(), 10);
                          ASSERT_EQ(g->Height(), 18);
                          EXPECT_TRUE(items[n].HasSurface()) << "made when the display was initialised";
                          const int left = 10 * ((n - 1) % 26), top = 18 * ((n - 1) / 26);
                          int mismatches = 0, lit = 0;
                          for (int y = 0; y < 18; ++y)
                              for (int x = 0; x < 10; ++x) {
                                  const uint8_t* p = g->Pixel(x, y);
                                  mismatches += !std::equal(p, p + 3, sheet.At(left + x, top + y));
                                  lit += p[0] | p[1] | p[2] ? 1 : 0;
                              }
                          EXPECT_EQ(mismatches, 0);
                          // Items 48 to 52 are the blank cells; every other one is a glyph.
                          if (n >= 48) EXPECT_EQ(lit, 0);
                          else EXPECT_GT(lit, 0);
                      }
                      std::array<TSpriteRec, 421> table{};
                      LayoutTextPages(table, GlyphCharset, TextLines, 0, 90, 10, 18, 2, 1);
                      for (size_t i = 0; i < table.size(); ++i)
                          EXPECT_TRUE(Same(GlyphTable[i], table[i])) << "entry " << i;
                  }
                  if (FrameCounter >= 1) b.PostKey(27);
              }),
              0);
    EXPECT_TRUE(checked);
}

struct RevealRow {
    int call;
    int delay, end, pause, start, page;
};

TEST_F(IntroText, TheRevealTimelineOverTwoCycles) {
    const RevealRow table[] = {
        {3, 3, 0, 0, 0, 1},          {4, 0, 1, 0, 0, 1},       {843, 3, 210, 0, 0, 1},
        {844, 0, 210, 1, 0, 1},      {1143, 0, 210, 300, 0, 1}, {1144, 0, 210, 0, 210, 2},
        {1148, 0, 211, 0, 210, 2},   {1988, 0, 420, 1, 210, 2}, {2288, 0, 1, 0, 0, 1},
        {2292, 0, 2, 0, 0, 1},       {3124, 0, 210, 0, 0, 1},   {4572, 0, 1, 0, 0, 1},
    };
    const int lastCall = 4576;
    std::map<int, RevealRow> seen;
    std::map<int, std::vector<uint16_t>> frames;
    int beyond = 0, delayMovedWhileHolding = 0, drawnAfterLeadIn = 0;
    bool trapped = false;
    onTick = [&](const test::TickRecord& t) {
        const int call = t.counter - 100;
        if (call < 1) return;
        ++drawnAfterLeadIn;
        if (RevealEnd > 420 || RevealStart > 420) ++beyond;
        if (call >= 844 && call <= 1144 && RevealDelay != 0) ++delayMovedWhileHolding;
        for (const RevealRow& r : table)
            if (r.call == call) {
                seen[call] = {call, RevealDelay, RevealEnd, RevealPause, RevealStart, RevealPage};
                frames[call] = h->screen;
            }
    };
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  b.clock += 16;
                  if (!trapped && b.windowShown) {
                      // Entry 420 is zero after the layout; make any draw of
                      // it fail loudly.
                      EXPECT_TRUE(Same(GlyphTable[420], TSpriteRec{}));
                      GlyphTable[420].ImageIndex = 9999;
                      trapped = true;
                  }
                  if (FrameCounter >= 100 + lastCall) b.PostKey(27);
              },
              lastCall * 2 + 1000),
              0);
    EXPECT_EQ(drawnAfterLeadIn, lastCall);
    EXPECT_TRUE(h->boxes.empty()) << "entry 420 was drawn: " << (h->boxes.empty() ? "" : h->boxes[0].text);
    EXPECT_EQ(beyond, 0);
    EXPECT_EQ(delayMovedWhileHolding, 0) << "RevealDelay moved while a page was held";
    int rows = 0;
    for (const RevealRow& r : table) {
        SCOPED_TRACE("call " + std::to_string(r.call));
        ASSERT_EQ(seen.count(r.call), 1u);
        const RevealRow& s = seen[r.call];
        EXPECT_EQ(s.delay, r.delay) << "RevealDelay";
        EXPECT_EQ(s.end, r.end) << "RevealEnd";
        EXPECT_EQ(s.pause, r.pause) << "RevealPause";
        EXPECT_EQ(s.start, r.start) << "RevealStart";
        EXPECT_EQ(s.page, r.page) << "RevealPage";
        // What is on the screen is exactly the entries [start, end) and the logo.
        EXPECT_TRUE(test::SameImage(frames[r.call], test::ExpectedFrame(r.start, r.end), 320, 240,
                                    "reveal call " + std::to_string(r.call)));
        ++rows;
    }
    EXPECT_EQ(rows, int(std::size(table)));
}

}  // namespace
