// The intro's procedures: sprites, the glyph images, the screen-mode switch,
// the temporary files and the music.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "DXClass.h"
#include "DXDraws.h"
#include "Forms.h"

struct TSpriteRec {
    int32_t X = 0;
    int32_t Y = 0;
    int32_t Extra1 = 0;
    int32_t Width = 0;
    int32_t Height = 0;
    uint8_t ExtraA = 0;
    uint8_t ExtraB = 0;
    uint8_t ExtraC = 0;
    int32_t Extra2 = 0;
    int32_t ImageIndex = 0;
    char Ch = 0;
};

extern int32_t LeadInTicks;

void InitSprite(TSpriteRec& Sprite, int32_t X, int32_t Y, int32_t Extra1, int32_t Width, int32_t Height,
                uint8_t ExtraA, uint8_t ExtraB, uint8_t ExtraC, int32_t Extra2, int32_t ImageIndex);
void DrawSprite(const TSpriteRec& Sprite, TDXDraw* Target, TDXImageList* Images);

void BuildFontImages(TDXDIB* Sheet, TDXImageList* Images, int CellWidth, int CellHeight, int Rows,
                     int Columns, int FirstIndex, TColor KeyColor, bool IsTransparent);

void ToggleScreenMode(TDXDraw* Target, TDXTimer* Timer, TCustomForm* Form);

// The two files the intro carries and writes into the temporary folder.
extern const std::span<const uint8_t> ModuleData;
extern const std::span<const uint8_t> BassModDllData;
extern std::string ModuleFileName;
extern std::string DllFileName;
extern std::string TempModulePath;
extern std::string TempDllPath;
extern bool MusicPlaying;

std::string GetTempDir();
void WriteEmbeddedFile(const std::string& FileName, std::span<const uint8_t> Data);
void DeleteTempFiles();

bool StartMusic(const std::string& Dir, const std::string& DllName, const std::string& ModFile);
void StopMusic();
