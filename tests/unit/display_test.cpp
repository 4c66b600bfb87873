// The display component on its own: the choice of a full-screen mode, a
// switch on a display that was never initialised, and the palette update.
#include <gtest/gtest.h>

#include <optional>

#include "DXClass.h"
#include "DXDraws.h"
#include "Quelmarn_Functions.h"
#include "support.h"

namespace {

using backend::DisplayMode;

struct ModeCase {
    const char* what;
    std::vector<DisplayMode> offered;
    std::optional<DisplayMode> chosen;  // nothing: no mode may be taken
};

TEST(ChooseDisplayMode, OverTablesOfOfferedModes) {
    const TDXDrawDisplay wanted{320, 240, 16, true, true, false};
    const ModeCase table[] = {
        {"the exact mode", {{640, 480, 16}, {320, 240, 16}, {320, 240, 32}}, DisplayMode{320, 240, 16}},
        {"only a larger 4:3 mode", {{640, 480, 16}}, DisplayMode{640, 480, 16}},
        {"4:3 before a smaller other shape", {{400, 240, 16}, {1024, 768, 16}}, DisplayMode{1024, 768, 16}},
        {"only other shapes", {{800, 480, 16}}, DisplayMode{800, 480, 16}},
        {"another depth at the exact size", {{320, 240, 32}, {320, 240, 8}}, std::nullopt},
        {"too small in one direction", {{320, 200, 16}, {256, 240, 16}}, std::nullopt},
        {"too small and other depths", {{200, 150, 16}, {1024, 768, 24}}, std::nullopt},
        {"nothing offered", {}, std::nullopt},
    };
    int rows = 0;
    for (const ModeCase& c : table) {
        SCOPED_TRACE(c.what);
        DisplayMode chosen{-1, -1, -1};
        const bool ok = ChooseDisplayMode(wanted, c.offered, chosen);
        ASSERT_EQ(ok, c.chosen.has_value());
        if (ok) {
            EXPECT_EQ(chosen.width, c.chosen->width);
            EXPECT_EQ(chosen.height, c.chosen->height);
            EXPECT_EQ(chosen.bitsPerPixel, c.chosen->bitsPerPixel);
        }
        ++rows;
    }
    EXPECT_EQ(rows, int(std::size(table)));
}

TEST(ChooseDisplayMode, TakesASameShapeModeWheneverOneIsAllowed) {
    const TDXDrawDisplay wanted{320, 240, 16, true, true, false};
    const std::vector<DisplayMode> offered{{1280, 720, 16}, {1280, 960, 16}, {640, 400, 16}, {960, 720, 16},
                                           {640, 480, 32}};
    DisplayMode chosen;
    ASSERT_TRUE(ChooseDisplayMode(wanted, offered, chosen));
    EXPECT_EQ(chosen.bitsPerPixel, 16);
    EXPECT_EQ(int64_t(chosen.width) * 240, int64_t(chosen.height) * 320);
    EXPECT_TRUE(chosen == DisplayMode(1280, 960, 16) || chosen == DisplayMode(960, 720, 16));
}

// A form with a display and a timer built by hand, as the stored
// definition would declare them.
class LoneDisplay : public test::IntroRun {
protected:
    void SetUp() override {
        IntroRun::SetUp();
        Application.Initialize();
        form = std::make_unique<TForm>(nullptr);
        draw = new TDXDraw(form.get());  // owned by the form
        draw->SetParent(form.get());
        draw->SurfaceWidth = 320;
        draw->SurfaceHeight = 240;
        draw->Display = TDXDrawDisplay{320, 240, 16, true, true, false};
        draw->SetOptions(doAllowReboot | doWaitVBlank | doHardware | doSelectDriver);
        timer = new TDXTimer(form.get());
        timer->Interval = 16;
    }
    void TearDown() override {
        form.reset();
        IntroRun::TearDown();
    }
    std::unique_ptr<TForm> form;
    TDXDraw* draw = nullptr;
    TDXTimer* timer = nullptr;
};

TEST_F(LoneDisplay, FinalizeOnADisplayNeverInitialisedDoesNothingAndTheSwitchProceeds) {
    draw->Finalize();
    EXPECT_EQ(h->closes, 0);
    EXPECT_FALSE(draw->Initialized());
    EXPECT_FALSE(draw->InitializeAttempted());
    EXPECT_EQ(draw->NowOptions(), TDXDrawOptions(doWaitVBlank));

    ToggleScreenMode(draw, timer, form.get());
    EXPECT_EQ(h->closes, 0) << "the switch's Finalize found nothing to release";
    EXPECT_EQ(h->opens, 1);
    EXPECT_TRUE(draw->Initialized());
    EXPECT_TRUE(h->displayOpen);
    EXPECT_TRUE(h->display.fullScreen);
    EXPECT_EQ(draw->NowOptions(), TDXDrawOptions(doFullScreen | doAllowReboot | doWaitVBlank));
    EXPECT_TRUE(timer->Enabled());
    ASSERT_NE(draw->Surface(), nullptr);
    EXPECT_EQ(draw->Surface()->Width(), 320);
    EXPECT_EQ(draw->Surface()->Height(), 240);
}

TEST_F(LoneDisplay, PaletteUpdatesWaitForTheVerticalBlankOnlyOnAnInitialisedPalettedDisplay) {
    draw->UpdatePalette();
    EXPECT_EQ(h->vblankWaits, 0) << "a display not yet initialised has no palette to load";
    draw->Display.BitCount = 8;
    h->modes = {{320, 240, 8}};
    draw->SetOptions(draw->Options() | doFullScreen);
    draw->Initialize();
    draw->UpdatePalette();
    EXPECT_EQ(h->vblankWaits, 1) << "an 8-bit display loads its palette after the vertical blank";
}

TEST_F(LoneDisplay, DrawingBeforeInitialisationAndAfterFinalisationChangesNothing) {
    auto* list = new TDXImageList(form.get());
    list->SetDXDraw(draw);
    TBitmap bitmap;
    bitmap.SetWidth(4);
    bitmap.SetHeight(4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) bitmap.Pixel(x, y)[2] = 255;
    list->Items.Add().Picture.Assign(&bitmap);
    TSpriteRec sprite;
    sprite.X = 3;
    sprite.Y = 4;
    EXPECT_NO_THROW(DrawSprite(sprite, draw, list));
    EXPECT_FALSE(list->Items[0].HasSurface());
    draw->Initialize();
    EXPECT_TRUE(list->Items[0].HasSurface()) << "the list makes its surfaces when the display is initialised";
    DrawSprite(sprite, draw, list);
    EXPECT_EQ(draw->Surface()->Row(4)[3], test::Rgb565(255, 0, 0));
    draw->Finalize();
    EXPECT_FALSE(list->Items[0].HasSurface()) << "and drops them when it is finalised";
    EXPECT_NO_THROW(DrawSprite(sprite, draw, list));
}

}  // namespace
