// Whole-intro runs of the display set-up: the state FormCreate leaves, a
// second switch back to windowed, substitute and refused modes, and lost
// surfaces.
#include <gtest/gtest.h>

#include "MainUnit.h"
#include "support.h"

namespace {

using test::IntroRun;
using test::RecordingHeadless;

using IntroDisplay = IntroRun;

// Entries revealed on a tick of page 1's typing.
int RevealedOnTick(int tick) { return std::min((tick - 100) / 4, 210); }

TEST_F(IntroDisplay, AfterFormCreateTheDisplayHoldsTheScreenFullScreenAndTheTimerRuns) {
    bool checked = false;
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  b.clock += 16;
                  if (!checked && b.windowShown) {
                      checked = true;
                      TDXDraw* d = frmMain->dxDraw;
                      EXPECT_TRUE(d->Options() & doFullScreen);
                      EXPECT_EQ(d->Options(),
                                TDXDrawOptions(doFullScreen | doAllowReboot | doWaitVBlank | doHardware | doSelectDriver));
                      EXPECT_EQ(d->NowOptions(), TDXDrawOptions(doFullScreen | doAllowReboot | doWaitVBlank));
                      EXPECT_EQ(d->Cursor(), -1);
                      EXPECT_EQ(frmMain->BorderStyle(), bsNone);
                      EXPECT_TRUE(frmMain->DoubleBuffered);
                      EXPECT_TRUE(d->Initialized());
                      EXPECT_TRUE(frmMain->dxTimer->Enabled());
                      EXPECT_TRUE(b.displayOpen);
                      EXPECT_TRUE(b.display.fullScreen);
                      EXPECT_EQ(b.display.mode, backend::DisplayMode(320, 240, 16));
                      EXPECT_EQ(b.window.border, backend::Border::None);
                      EXPECT_FALSE(b.cursorVisible);
                      EXPECT_EQ(b.opens, 1);
                      EXPECT_EQ(b.vblankWaits, 0) << "the palette transfer waited for a vertical blank";
                      EXPECT_TRUE(test::SameImage(b.screen, test::BlackFrame(), 320, 240, "screen after FormCreate"));
                      ASSERT_NE(d->Surface(), nullptr);
                      EXPECT_TRUE(std::all_of(d->Surface()->Pixels().begin(), d->Surface()->Pixels().end(),
                                              [](uint16_t v) { return v == 0; }));
                      const TSpriteRec& s = LogoSprite;
                      EXPECT_EQ(std::vector<int>({s.X, s.Y, s.Extra1, s.Width, s.Height, s.ExtraA, s.ExtraB, s.ExtraC,
                                                  s.Extra2, s.ImageIndex, s.Ch}),
                                std::vector<int>({12, 5, 2, 0, 0, 255, 255, 255, 0, 0, 0}));
                  }
                  if (FrameCounter >= 3) b.PostKey(27);
              }),
              0);
    EXPECT_TRUE(checked);
    EXPECT_FALSE(h->displayOpen) << "the desktop's mode comes back at the end";
}

TEST_F(IntroDisplay, ASecondSwitchGoesBackToAWindowAndTheTimerRunsAgain) {
    uint32_t toggledAt = 0;
    int presentsAtToggle = 0;
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  b.clock += 1;
                  if (toggledAt == 0 && FrameCounter == 150) {
                      ToggleScreenMode(frmMain->dxDraw, frmMain->dxTimer, frmMain);
                      toggledAt = b.clock;
                      presentsAtToggle = b.presents;
                      TDXDraw* d = frmMain->dxDraw;
                      EXPECT_FALSE(d->Options() & doFullScreen);
                      EXPECT_EQ(d->NowOptions(), TDXDrawOptions(doWaitVBlank));
                      EXPECT_EQ(d->Cursor(), crDefault);
                      EXPECT_EQ(frmMain->BorderStyle(), bsDialog);
                      EXPECT_TRUE(d->Initialized());
                      EXPECT_TRUE(frmMain->dxTimer->Enabled());
                      EXPECT_TRUE(b.displayOpen);
                      EXPECT_FALSE(b.display.fullScreen) << "the display is shared in the window";
                      EXPECT_EQ(b.window.border, backend::Border::Dialog);
                      EXPECT_TRUE(b.windowShown);
                      EXPECT_TRUE(b.cursorVisible);
                      EXPECT_EQ(b.closes, 1) << "the full-screen display was released";
                      EXPECT_EQ(b.windowsCreated, 2) << "the new frame recreates the window";
                      EXPECT_TRUE(test::SameImage(b.screen, test::BlackFrame(), 320, 240, "screen after the switch"));
                  }
                  if (FrameCounter >= 160) b.PostKey(27);
              }),
              0);
    ASSERT_EQ(ticks.size(), 160u);
    EXPECT_GE(ticks[150].clock, toggledAt + 16) << "the timer restarted with the clock reset";
    EXPECT_LE(ticks[150].clock, toggledAt + 17);
    EXPECT_EQ(h->presents - presentsAtToggle, 10) << "frames go on in the window";
    EXPECT_TRUE(test::SameImage(h->screen, test::ExpectedFrame(0, RevealedOnTick(160)), 320, 240, "windowed frame"));
}

TEST_F(IntroDisplay, ALarger4To3ModeServesWhenTheExactOneIsRefused) {
    h->modes = {{1280, 720, 16}, {640, 480, 16}, {320, 240, 32}};
    ASSERT_EQ(Run(TicksThenEscape(140)), 0);
    EXPECT_EQ(h->display.mode, backend::DisplayMode(640, 480, 16));
    EXPECT_TRUE(h->display.fullScreen);
    EXPECT_TRUE(h->boxes.empty());
    EXPECT_EQ(h->presents, 40);
    EXPECT_TRUE(test::SameImage(h->screen, test::ExpectedFrame(0, RevealedOnTick(140)), 320, 240, "frame in 640x480"));
}

struct FailCase {
    const char* what;
    std::vector<backend::DisplayMode> modes;
    std::string failOpen;
    std::string text;
};

TEST_F(IntroDisplay, AFailedSetUpShowsTheBoxThenABorderlessStillWindowThatEscapeCloses) {
    const FailCase table[] = {
        {"too small", {{200, 150, 16}}, "", "Display mode cannot be changed (320x240 16bit)"},
        {"no 16-bit mode", {{320, 240, 8}, {1024, 768, 24}}, "", "Display mode cannot be changed (320x240 16bit)"},
        {"no display", {{320, 240, 16}}, "DirectDraw cannot be initialized", "DirectDraw cannot be initialized."},
    };
    int rows = 0;
    for (const FailCase& c : table) {
        SCOPED_TRACE(c.what);
        if (rows > 0) {
            TearDown();
            SetUp();
        }
        h->modes = c.modes;
        h->failOpen = c.failOpen;
        uint32_t shownAt = 0;
        ASSERT_EQ(Run([&](RecordingHeadless& b) {
                      b.clock += 16;
                      if (b.windowShown && shownAt == 0) shownAt = b.clock;
                      // Ten seconds of a running loop, then Escape.
                      if (shownAt && b.clock - shownAt > 10000) b.PostKey(27);
                  }),
                  0);
        ASSERT_EQ(h->boxes.size(), 1u);
        EXPECT_EQ(h->boxes[0].caption, "Korvane");
        EXPECT_EQ(h->boxes[0].text, c.text);
        EXPECT_EQ(h->presents, 0) << "no frames";
        EXPECT_TRUE(ticks.empty()) << "no ticks, so no music either";
        EXPECT_EQ(FrameCounter, 0);
        EXPECT_EQ(h->opens - h->opensFailed, 0) << "the display was never taken";
        EXPECT_LE(h->opens, 1) << "no second initialisation";
        EXPECT_EQ(h->shows, 1) << "the window is shown after the box";
        EXPECT_EQ(h->window.border, backend::Border::None);
        EXPECT_FALSE(h->cursorVisible);
        EXPECT_EQ(destroys, 1);
        ++rows;
    }
    EXPECT_EQ(rows, int(std::size(table)));
}

TEST_F(IntroDisplay, LostSurfacesAreRestoredByTheNextFlip) {
    std::vector<uint16_t> atLoss, afterLoss, whileFailing;
    int presentsWhileFailing = -1;
    onTick = [&](const test::TickRecord& t) {
        if (t.counter == 150) {
            // The user switched away: the display lost everything, the logo's
            // own surface included.
            h->lost = true;
            auto* logo = const_cast<TDirectDrawSurface*>(frmMain->ImageList->Items[0].ItemSurface());
            logo->Fill(0xF81F);
        }
        if (t.counter == 151) atLoss = h->screen;
        if (t.counter == 152) afterLoss = h->screen;
        if (t.counter == 160) h->lost = true, h->restoreFails = true;
        if (t.counter == 165) {
            presentsWhileFailing = h->presents;
            h->restoreFails = false;
        }
        if (t.counter == 166) whileFailing = h->screen;
    };
    ASSERT_EQ(Run(TicksThenEscape(170)), 0);
    EXPECT_EQ(h->restores, 2);
    EXPECT_TRUE(test::SameImage(atLoss, test::BlackFrame(), 320, 240, "frame of the restoring tick"));
    EXPECT_TRUE(test::SameImage(afterLoss, test::ExpectedFrame(0, RevealedOnTick(152)), 320, 240,
                                "frame after restore"));
    // Ticks 161 to 165 found the display lost and could not restore it.
    EXPECT_EQ(presentsWhileFailing, 160 - 100);
    EXPECT_TRUE(test::SameImage(whileFailing, test::BlackFrame(), 320, 240, "frame once restore works again"));
    EXPECT_TRUE(test::SameImage(h->screen, test::ExpectedFrame(0, RevealedOnTick(170)), 320, 240, "last frame"));
}

}  // namespace
