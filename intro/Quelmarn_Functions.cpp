#include "Quelmarn_Functions.h"

int32_t LeadInTicks = 100;

void InitSprite(TSpriteRec& Sprite, int32_t X, int32_t Y, int32_t Extra1, int32_t Width, int32_t Height,
                uint8_t ExtraA, uint8_t ExtraB, uint8_t ExtraC, int32_t Extra2, int32_t ImageIndex) {
    Sprite.X = X;
    Sprite.Y = Y;
    Sprite.Extra1 = Extra1;
    Sprite.Width = Width;
    Sprite.Height = Height;
    Sprite.ExtraA = ExtraA;
    Sprite.ExtraB = ExtraB;
    Sprite.ExtraC = ExtraC;
    Sprite.Extra2 = Extra2;
    Sprite.ImageIndex = ImageIndex;
}

void DrawSprite(const TSpriteRec& Sprite, TDXDraw* Target, TDXImageList* Images) {
    TPictureCollectionItem& Item = Images->Items[Sprite.ImageIndex];
    Item.Draw(Target->Surface(), Sprite.X, Sprite.Y, 0);
}

void BuildFontImages(TDXDIB* Sheet, TDXImageList* Images, int CellWidth, int CellHeight, int Rows,
                     int Columns, int FirstIndex, TColor KeyColor, bool IsTransparent) {
    TBitmap Cell;
    Cell.SetWidth(CellWidth);
    Cell.SetHeight(CellHeight);
    Cell.SetPixelFormat(pf24bit);
    int n = FirstIndex;
    for (int r = 0; r < Rows; ++r) {
        for (int c = 0; c < Columns; ++c) {
            Cell.Canvas().CopyRect(Rect(0, 0, CellWidth, CellHeight), Sheet->DIB.Canvas(),
                                   Rect(c * CellWidth, r * CellHeight, (c + 1) * CellWidth, (r + 1) * CellHeight));
            Images->Items.Add();
            TPictureCollectionItem& Item = Images->Items[n];
            Item.Picture.Assign(&Cell);
            Item.Transparent = IsTransparent;
            Item.TransparentColor = KeyColor;
            Item.SetIndex(n);
            Item.Name = "";
            ++n;
        }
    }
}

void ToggleScreenMode(TDXDraw* Target, TDXTimer* Timer, TCustomForm* Form) {
    Timer->SetEnabled(false);
    Target->Finalize();
    if (Target->Options() & doFullScreen) {
        Target->SetCursor(crDefault);
        Form->SetBorderStyle(bsDialog);
        Target->SetOptions(Target->Options() & ~doFullScreen);
    } else {
        Target->SetCursor(crNone);
        Form->SetBorderStyle(bsNone);
        Target->SetOptions(Target->Options() | doFullScreen);
    }
    Target->Initialize();
    Timer->SetEnabled(true);
}
