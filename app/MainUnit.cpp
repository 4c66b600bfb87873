#include "MainUnit.h"

TfrmMain* frmMain = nullptr;
int32_t FrameCounter = 0;
TSpriteRec LogoSprite;

const std::string GlyphCharset = "abcdefghijklmnopqrstuvwxyz().:!*?-<>0123456789#     ";

const std::array<std::string, 14> TextLines = {
    "------------------------------",
    "korvane presents on xx-xx-2001",
    "    *another cewl release*    ",
    "------------------------------",
    "     cracked by *unknown*     ",
    "  supplied by *team korvane*  ",
    "------------------------------",
    "------------------------------",
    "    i n t r o c r e d i t s   ",
    "------------------------------",
    "programming:  quelmarn.korvane",
    "music......: vyr.brisk-lantern",
    "graphics...:              mirl",
    "------------------------------",
};

std::array<TSpriteRec, 421> GlyphTable{};

int32_t RevealDelay = 0;
int32_t RevealEnd = 0;
int32_t RevealPause = 0;
int32_t RevealStart = 0;
int32_t RevealPage = 1;

namespace {
const TPublishedMethod kMethods[] = {
    {"FormCreate", published::BindMethod<&TfrmMain::FormCreate>},
    {"FormDestroy", published::BindMethod<&TfrmMain::FormDestroy>},
    {"FormKeyDown", published::BindMethod<&TfrmMain::FormKeyDown>},
    {"dxTimerTimer", published::BindMethod<&TfrmMain::dxTimerTimer>},
};
const TPublishedField kFields[] = {
    {"dxDraw", published::AssignField<&TfrmMain::dxDraw>},
    {"dxTimer", published::AssignField<&TfrmMain::dxTimer>},
    {"ImageList", published::AssignField<&TfrmMain::ImageList>},
    {"dxFont", published::AssignField<&TfrmMain::dxFont>},
};
}  // namespace

std::span<const TPublishedMethod> TfrmMain::PublishedMethods() const { return kMethods; }
std::span<const TPublishedField> TfrmMain::PublishedFields() const { return kFields; }

void TfrmMain::FormCreate(TObject* Sender) {
    (void)Sender;
    WriteEmbeddedFile(GetTempDir() + DllFileName, BassModDllData);
    WriteEmbeddedFile(GetTempDir() + ModuleFileName, ModuleData);
    dxTimer->SetEnabled(false);
    frmMain->DoubleBuffered = true;
    // The image list's colour table goes to the display before it is first
    // initialised.
    ImageList->Items.MakeColorTable();
    for (int i = 0; i < 256; ++i) dxDraw->ColorTable[i] = ImageList->Items.ColorTable[i];
    for (int i = 0; i < 256; ++i) dxDraw->DefColorTable[i] = ImageList->Items.ColorTable[i];
    dxDraw->UpdatePalette();
    InitSprite(LogoSprite, 12, 5, 2, 0, 0, 255, 255, 255, 0, 0);
    InitFontAndText();
    ToggleScreenMode(dxDraw, dxTimer, frmMain);
    Application.ProcessMessages();
    dxTimer->SetEnabled(true);
}

void TfrmMain::FormDestroy(TObject* Sender) {
    (void)Sender;
    StopMusic();
    dxTimer->SetEnabled(false);
}

void TfrmMain::FormKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift) {
    (void)Sender;
    (void)Shift;
    if (Key == 27) Close();
}

void TfrmMain::dxTimerTimer(TObject* Sender, int LagCount) {
    (void)Sender;
    (void)LagCount;
    ++FrameCounter;
    if (FrameCounter > LeadInTicks) {
        if (dxDraw->Surface()) dxDraw->Surface()->Fill(0);
        DrawTypewriterText();
        DrawSprite(LogoSprite, dxDraw, ImageList);
        dxDraw->Flip();
    }
    if (FrameCounter == LeadInTicks) {
        StartMusic(GetTempDir(), DllFileName, GetTempDir() + ModuleFileName);
    }
}

void TfrmMain::InitFontAndText() {
    BuildFontImages(dxFont, ImageList, 10, 18, 2, 26, 1, 0, true);
    LayoutTextPages(GlyphTable, GlyphCharset, TextLines, 0, 90, 10, 18, 2, 1);
}

void LayoutTextPages(std::span<TSpriteRec> Table, const std::string& Charset,
                     std::span<const std::string> Lines, int OriginX, int OriginY, int CharWidth,
                     int LineHeight, int Pages, int FirstImage) {
    if (Lines.empty() || Pages < 1) return;
    const int w = static_cast<int>(Lines[0].size());
    const int m = static_cast<int>(Lines.size()) / Pages;
    int row = 0;
    size_t i = 0;
    for (int L = 0; L < Pages * m; ++L) {
        row = row == m ? 1 : row + 1;
        const std::string& line = Lines[size_t(L)];
        for (int j = 1; j <= w; ++j) {
            // The entry's own copy of its character, only while it is looked up.
            TSpriteRec Entry = i < Table.size() ? Table[i] : TSpriteRec{};
            Entry.Ch = size_t(j - 1) < line.size() ? line[size_t(j - 1)] : '\0';
            const auto k = Charset.find(Entry.Ch);
            if (k != std::string::npos && i < Table.size()) {
                Table[i].ImageIndex = FirstImage + static_cast<int>(k);
                Table[i].X = OriginX + j * CharWidth;
                Table[i].Y = OriginY + row * LineHeight;
                Table[i].Width = CharWidth;
                Table[i].Height = LineHeight;
            }
            ++i;
        }
    }
}

void TfrmMain::DrawTypewriterText() {
    if (RevealPause == 0) {
        ++RevealDelay;
        if (RevealDelay > 3) {
            if (RevealPage * 210 > RevealEnd) ++RevealEnd;
            else ++RevealPause;
            RevealDelay = 0;
        }
    } else {
        ++RevealPause;
        if (RevealPause > 300) {
            RevealPause = 0;
            if (RevealPage == 2) {
                RevealStart = 0;
                RevealPage = 1;
                RevealEnd = 1;
            } else {
                RevealStart += 210;
                ++RevealPage;
            }
        }
    }
    TDirectDrawSurface* Surface = dxDraw->Surface();
    for (int i = RevealStart; i < RevealEnd; ++i) {
        const TSpriteRec& Entry = GlyphTable[size_t(i)];
        ImageList->Items[Entry.ImageIndex].Draw(Surface, Entry.X, Entry.Y, 0);
    }
}
