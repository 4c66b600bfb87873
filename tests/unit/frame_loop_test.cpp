// Whole-intro runs of the frame loop: the tick timeline, the timer's tick
// contract, keys and closing, the creation and destruction events, and
// errors raised inside handlers.
#include <gtest/gtest.h>

#include "MainUnit.h"
#include "support.h"

namespace {

using test::IntroRun;
using test::RecordingHeadless;

using FrameLoop = IntroRun;

TEST_F(FrameLoop, LeadInThenOneFramePerTick) {
    ASSERT_EQ(Run(TicksThenEscape(300)), 0);
    ASSERT_EQ(ticks.size(), 300u);
    for (size_t i = 0; i < ticks.size(); ++i) {
        const auto& t = ticks[i];
        SCOPED_TRACE("tick " + std::to_string(i + 1));
        EXPECT_EQ(t.counter, int32_t(i + 1));
        EXPECT_EQ(t.presentsBefore, i < 100 ? 0 : int(i) - 100);
        EXPECT_EQ(t.presentsAfter - t.presentsBefore, i + 1 > 100 ? 1 : 0);
    }
    EXPECT_EQ(h->presents, 200);
    EXPECT_EQ(h->vsyncPresents, 200) << "every frame waits for the vertical blank";
    EXPECT_EQ(h->waits, 0) << "a running timer keeps the loop polling";
}

TEST_F(FrameLoop, FirstFrameIsTheLogoOnBlackAndTheScreenIsBlackBefore) {
    std::vector<uint16_t> first;
    bool blackBefore = true;
    onTick = [&](const test::TickRecord& t) {
        if (t.counter <= 100)
            for (uint16_t v : h->screen) blackBefore = blackBefore && v == 0;
    };
    h->onPresent = [&](backend::Headless& b) {
        if (first.empty()) first = b.screen;
    };
    ASSERT_EQ(Run(TicksThenEscape(101)), 0);
    EXPECT_TRUE(blackBefore) << "the screen stays black through the lead-in";
    // Call 1 of the reveal draws no text yet.
    EXPECT_TRUE(test::SameImage(first, test::ExpectedFrame(0, 0), 320, 240, "first frame"));
}

TEST_F(FrameLoop, TicksComeEvery16MsOfTheClockAndAtMostOnePerPass) {
    // The clock moves 1 ms per pass: ticks are exactly 16 ms apart. Then
    // 40 ms per pass: one tick per pass, not two.
    ASSERT_EQ(Run([](RecordingHeadless& b) {
                  b.clock += FrameCounter < 50 ? 1 : 40;
                  if (FrameCounter >= 80) b.PostKey(27);
              }),
              0);
    ASSERT_GE(ticks.size(), 80u);
    for (size_t i = 1; i < ticks.size(); ++i) {
        SCOPED_TRACE("tick " + std::to_string(i + 1));
        const uint32_t gap = ticks[i].clock - ticks[i - 1].clock;
        if (ticks[i].counter <= 50) {
            EXPECT_EQ(gap, 16u);
            EXPECT_EQ(ticks[i].lag, 1);
        } else if (ticks[i].counter > 51) {
            EXPECT_EQ(gap, 40u);
            EXPECT_EQ(ticks[i].lag, 2);
        }
    }
}

TEST_F(FrameLoop, ClockWrapAroundDoesNoHarm) {
    h->clock = 0xFFFFFF00u;
    ASSERT_EQ(Run(TicksThenEscape(40)), 0);
    ASSERT_EQ(ticks.size(), 40u);
    for (size_t i = 1; i < ticks.size(); ++i) EXPECT_EQ(ticks[i].clock - ticks[i - 1].clock, 16u) << i;
}

TEST_F(FrameLoop, ALateTickIsOneStep) {
    uint32_t lateAt = 0;
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  // After tick 150 the machine stalls for 100 ms.
                  b.clock += (FrameCounter == 150 && lateAt == 0) ? (lateAt = b.clock, 100) : 1;
                  if (FrameCounter >= 160) b.PostKey(27);
              }),
              0);
    ASSERT_GE(ticks.size(), 152u);
    const auto& late = ticks[150];
    EXPECT_EQ(late.counter, 151);
    EXPECT_EQ(late.lag, 6);
    EXPECT_EQ(late.presentsAfter - late.presentsBefore, 1) << "exactly one frame for a late tick";
    EXPECT_EQ(ticks[151].counter, 152);
    EXPECT_EQ(ticks[151].clock - late.clock, 16u) << "the reference moves to the late tick; nothing is made up";
    EXPECT_EQ(ticks[151].lag, 1);
}

TEST_F(FrameLoop, NoTicksWhileInactiveAndNoneSoonerThan16MsAfterReactivation) {
    enum { Running, Away, Back } phase = Running;
    uint32_t lostAt = 0, gainedAt = 0;
    int waitsWhileAway = 0;
    int32_t counterAtLoss = 0;
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  b.clock += 1;
                  if (phase == Running && FrameCounter == 120) {
                      b.Post({backend::EventKind::FocusLost});
                      phase = Away;
                      lostAt = b.clock;
                      counterAtLoss = FrameCounter;
                  } else if (phase == Away) {
                      b.clock += 9;  // a second away, in steps
                      if (b.clock - lostAt >= 1000) {
                          waitsWhileAway = b.waits;
                          b.Post({backend::EventKind::FocusGained});
                          gainedAt = b.clock;
                          phase = Back;
                      }
                  } else if (phase == Back && FrameCounter >= counterAtLoss + 5) {
                      b.PostKey(27);
                  }
              }),
              0);
    size_t firstBack = 0;
    for (size_t i = 0; i < ticks.size(); ++i)
        if (ticks[i].clock > lostAt) {
            firstBack = i;
            break;
        }
    ASSERT_GT(firstBack, 0u);
    EXPECT_EQ(ticks[firstBack - 1].counter, counterAtLoss);
    EXPECT_GE(ticks[firstBack].clock, gainedAt + 16) << "a tick came while inactive or too soon after";
    EXPECT_LE(ticks[firstBack].clock, gainedAt + 17);
    EXPECT_EQ(ticks[firstBack].counter, counterAtLoss + 1) << "no burst of made-up ticks";
    EXPECT_EQ(ticks[firstBack].lag, 1);
    EXPECT_GT(waitsWhileAway, 0) << "an inactive loop waits for messages";
}

TEST_F(FrameLoop, EveryFrameStartsBlack) {
    std::vector<uint16_t> frame;
    onTick = [&](const test::TickRecord& t) {
        // Scribble over the back surface between ticks.
        if (t.counter == 110) frmMain->dxDraw->Surface()->Fill(0xFFFF);
        if (t.counter == 111) frame = h->screen;
    };
    ASSERT_EQ(Run(TicksThenEscape(111)), 0);
    // Call 11 of the reveal: entries 0 and 1 are drawn.
    EXPECT_TRUE(test::SameImage(frame, test::ExpectedFrame(0, 2), 320, 240, "frame after scribble"));
}

struct KeyCase {
    uint16_t key;
    uint32_t mods;
    bool closes;
};

class Keys : public IntroRun, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(Keys, OnlyEscapeClosesWhateverTheModifiers) {
    const KeyCase c = GetParam();
    int32_t counterAtKey = -1;
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  b.clock += 16;
                  if (counterAtKey < 0 && FrameCounter == 50) {
                      b.PostKey(c.key, c.mods);
                      counterAtKey = FrameCounter;
                  } else if (FrameCounter == 80) {
                      b.PostKey(27);  // ends a run the key did not end
                  }
              }),
              0);
    EXPECT_EQ(FrameCounter, c.closes ? 50 : 80);
    EXPECT_EQ(destroys, 1);
    EXPECT_TRUE(h->boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Table, Keys,
                         ::testing::Values(KeyCase{27, 0, true}, KeyCase{27, backend::ModShift, true},
                                           KeyCase{27, backend::ModCtrl | backend::ModAlt, true},
                                           KeyCase{13, 0, false}, KeyCase{32, 0, false},
                                           KeyCase{'Q', backend::ModCtrl, false},
                                           KeyCase{27 + 256, 0, false}, KeyCase{26, 0, false},
                                           KeyCase{28, 0, false}));

TEST_F(FrameLoop, CloseRequestTakesTheSamePathAsEscape) {
    ASSERT_EQ(Run([](RecordingHeadless& b) {
                  b.clock += 16;
                  if (FrameCounter == 130) b.Post({backend::EventKind::CloseRequest});
              }),
              0);
    EXPECT_EQ(FrameCounter, 130);
    EXPECT_EQ(destroys, 1);
    EXPECT_FALSE(h->displayOpen) << "the desktop comes back";
    EXPECT_FALSE(h->windowExists);
}

TEST_F(FrameLoop, CreationAndDestructionEventsRunOnceEach) {
    int32_t lastTickBeforeDestroy = -1;
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  b.clock += 16;
                  if (FrameCounter == 105) b.PostKey(27);
                  lastTickBeforeDestroy = FrameCounter;
              }),
              0);
    // Each FormCreate appends 52 glyph images behind the logo.
    EXPECT_EQ(h->imagesAtShow, 53) << "FormCreate ran once, before the window was shown";
    EXPECT_EQ(h->counterAtShow, 0) << "no tick before the window is shown";
    EXPECT_EQ(h->shows, 1);
    EXPECT_EQ(destroys, 1);
    EXPECT_EQ(FrameCounter, lastTickBeforeDestroy) << "no tick after the destruction";
}

TEST_F(FrameLoop, AnErrorInATickShowsTheBoxAndTheIntroGoesOn) {
    onTick = [&](const test::TickRecord& t) {
        // An index outside the image list makes the logo's draw raise.
        if (t.counter == 120) LogoSprite.ImageIndex = 99;
        if (t.counter == 121) LogoSprite.ImageIndex = 0;
    };
    ASSERT_EQ(Run(TicksThenEscape(130)), 0);
    ASSERT_EQ(h->boxes.size(), 1u);
    EXPECT_EQ(h->boxes[0].caption, "Korvane");
    // ')' sorts before '.', so no full stop is added.
    EXPECT_EQ(h->boxes[0].text, "List index out of bounds (99)");
    ASSERT_EQ(ticks.size(), 130u);
    EXPECT_TRUE(ticks[120].threw);
    EXPECT_EQ(ticks[120].counter, 121) << "FrameCounter keeps its new value";
    EXPECT_EQ(ticks[120].presentsAfter, ticks[120].presentsBefore) << "the rest of the tick is skipped";
    EXPECT_EQ(ticks[121].clock - ticks[120].clock, 16u) << "the next tick comes as usual";
    for (size_t i = 121; i < ticks.size(); ++i) EXPECT_EQ(ticks[i].presentsAfter - ticks[i].presentsBefore, 1);
}

TEST_F(FrameLoop, AnErrorInAKeyHandlerShowsTheBoxWithAFullStop) {
    bool thrown = false;
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  b.clock += 16;
                  if (!thrown && FrameCounter == 30) {
                      auto keyDown = frmMain->OnKeyDown;
                      frmMain->OnKeyDown = [keyDown](TObject* s, uint16_t& key, TShiftState shift) {
                          if (key == 'X') throw Exception("Key handler failed");
                          keyDown(s, key, shift);
                      };
                      b.PostKey('X');
                      thrown = true;
                  }
                  if (FrameCounter == 60) b.PostKey(27);
              }),
              0);
    ASSERT_EQ(h->boxes.size(), 1u);
    EXPECT_EQ(h->boxes[0].caption, "Korvane");
    EXPECT_EQ(h->boxes[0].text, "Key handler failed.");
    EXPECT_EQ(FrameCounter, 60) << "the intro went on after the box";
}

TEST_F(FrameLoop, ASilentAbortShowsNoBox) {
    bool posted = false;
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  b.clock += 16;
                  if (!posted && FrameCounter == 30) {
                      frmMain->OnKeyDown = [](TObject*, uint16_t&, TShiftState) { throw EAbort("quietly"); };
                      b.PostKey('X');
                      posted = true;
                  }
                  if (FrameCounter == 40) b.Post({backend::EventKind::CloseRequest});
              }),
              0);
    EXPECT_TRUE(h->boxes.empty());
    EXPECT_EQ(FrameCounter, 40);
}

TEST_F(FrameLoop, AnErrorInTheDestructionEventIsShownAndTheEndGoesOn) {
    bool wrapped = false;
    ASSERT_EQ(Run([&](RecordingHeadless& b) {
                  b.clock += 16;
                  if (!wrapped && FrameCounter == 20) {
                      auto destroy = frmMain->OnDestroy;
                      frmMain->OnDestroy = [destroy](TObject* s) {
                          destroy(s);
                          throw Exception("Cannot stop");
                      };
                      wrapped = true;
                      b.PostKey(27);
                  }
              }),
              0);
    ASSERT_EQ(h->boxes.size(), 1u);
    EXPECT_EQ(h->boxes[0].caption, "Korvane");
    EXPECT_EQ(h->boxes[0].text, "Cannot stop.");
    EXPECT_EQ(destroys, 1);
    EXPECT_FALSE(h->displayOpen) << "the display was still given back";
    EXPECT_FALSE(h->windowExists);
}

}  // namespace
