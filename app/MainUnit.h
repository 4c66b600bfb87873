// The main form: its components, its event handlers, the frame loop and the
// text.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "DXClass.h"
#include "DXDraws.h"
#include "Forms.h"
#include "Quelmarn_Functions.h"

class TfrmMain : public TForm {
public:
    explicit TfrmMain(TComponent* AOwner) : TForm(AOwner) {}

    TDXDraw* dxDraw = nullptr;
    TDXTimer* dxTimer = nullptr;
    TDXImageList* ImageList = nullptr;
    TDXDIB* dxFont = nullptr;

    void FormCreate(TObject* Sender);
    void FormDestroy(TObject* Sender);
    void FormKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
    void dxTimerTimer(TObject* Sender, int LagCount);

    void InitFontAndText();
    void DrawTypewriterText();

    std::span<const TPublishedMethod> PublishedMethods() const override;
    std::span<const TPublishedField> PublishedFields() const override;
};

extern TfrmMain* frmMain;
extern int32_t FrameCounter;
extern TSpriteRec LogoSprite;

extern const std::string GlyphCharset;
extern const std::array<std::string, 14> TextLines;
extern std::array<TSpriteRec, 421> GlyphTable;

extern int32_t RevealDelay;
extern int32_t RevealEnd;
extern int32_t RevealPause;
extern int32_t RevealStart;
extern int32_t RevealPage;

void LayoutTextPages(std::span<TSpriteRec> Table, const std::string& Charset,
                     std::span<const std::string> Lines, int OriginX, int OriginY, int CharWidth,
                     int LineHeight, int Pages, int FirstImage);
