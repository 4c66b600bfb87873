#include "Quelmarn_Functions.h"

#include "BASSMOD_Dynamic.h"

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

std::string ModuleFileName = "Module.MOD";
std::string DllFileName = "BassMod.DLL";
std::string TempModulePath;
std::string TempDllPath;
bool MusicPlaying = false;

std::string GetTempDir() {
    char Buffer[1024];
    const DWORD Length = GetTempPathA(sizeof Buffer, Buffer);
    // A path that does not fit counts as a failed call.
    if (Length == 0 || Length >= sizeof Buffer) return "";
    return std::string(Buffer, Length);
}

void WriteEmbeddedFile(const std::string& FileName, std::span<const uint8_t> Data) {
    TMemoryStream Stream;
    for (uint8_t Byte : Data) Stream.Write(&Byte, 1);
    Stream.SaveToFile(FileName);
    Application.ProcessMessages();
}

void DeleteTempFiles() {
    if (FileExists(TempModulePath)) DeleteFile(TempModulePath);
    if (FileExists(TempDllPath)) DeleteFile(TempDllPath);
}

bool StartMusic(const std::string& Dir, const std::string& DllName, const std::string& ModFile) {
    if (!LoadBassModDll(Dir, DllName)) {
        UnloadBassModDll();
        return false;
    }
    if (BASSMOD_GetVersion() != 0x00070000) {
        BASSMOD_Free();
    } else if (!BASSMOD_Init(-1, 44100, 0)) {
        BASSMOD_Free();
    }
    if (!BASSMOD_MusicLoad(0, ModFile.c_str(), 0, 0, 0x105)) return false;
    BASSMOD_MusicPlay();
    MusicPlaying = true;
    TempModulePath = ModFile;
    TempDllPath = Dir + DllName;
    return MusicPlaying;
}

void StopMusic() {
    if (!MusicPlaying) return;
    BASSMOD_MusicFree();
    BASSMOD_Free();
    UnloadBassModDll();
    DeleteTempFiles();
}
