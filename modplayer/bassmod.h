/*
 * BASSMOD: a module player library.
 *
 * Plays one tracker module at a time (decoded by libxmp) on one audio output
 * (SDL2). Every call checks the library's state first and, on failure,
 * returns its failure value and leaves the reason for BASSMOD_ErrorGetCode.
 * Every call is safe in any order and from any thread; calls are serialised
 * by an internal lock that the audio thread shares.
 *
 * Positions are packed into a DWORD: the low word is the song position
 * (order), the high word the row.
 */
#ifndef BASSMOD_H
#define BASSMOD_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t BOOL;
typedef uint32_t DWORD;
typedef uint32_t HSYNC;

/* The value BASSMOD_GetVersion reports: major 7 in the high word. */
#define BASSMOD_VERSION 0x00070000u

/* Error codes (BASSMOD_ErrorGetCode). */
#define BASSMOD_OK 0
#define BASSMOD_ERROR_INIT 1      /* BASSMOD_Init has not succeeded */
#define BASSMOD_ERROR_ALREADY 2   /* already initialised */
#define BASSMOD_ERROR_DEVICE 3    /* no such device number */
#define BASSMOD_ERROR_DRIVER 4    /* no output device could be opened */
#define BASSMOD_ERROR_FORMAT 5    /* output rate or format not supported */
#define BASSMOD_ERROR_ILLPARAM 6  /* a parameter is out of range or null */
#define BASSMOD_ERROR_FILEOPEN 7  /* the file cannot be opened or read */
#define BASSMOD_ERROR_FILEFORM 8  /* not a module that can be played */
#define BASSMOD_ERROR_MEM 9       /* out of memory */
#define BASSMOD_ERROR_HANDLE 10   /* no music loaded, or no such sync */
#define BASSMOD_ERROR_POSITION 11 /* song position or row out of range */
#define BASSMOD_ERROR_NOPLAY 12   /* the music is not playing */
#define BASSMOD_ERROR_BUSY 13     /* not allowed inside a sync procedure */

/* BASSMOD_Init flags. */
#define BASSMOD_DEVICE_MONO 0x0002u /* mix to one channel instead of two */

/* BASSMOD_MusicLoad and BASSMOD_MusicPlayEx flags. */
#define BASSMOD_MUSIC_LOOP 0x0001u     /* loop for ever, seamlessly, from the end back to the restart */
#define BASSMOD_MUSIC_NONINTER 0x0002u /* no interpolation (nearest sample) instead of cubic spline */
#define BASSMOD_MUSIC_RAMP 0x0004u     /* ramp the output gain on start, stop, pause, jumps and volume
                                          changes instead of stepping it (libxmp itself always ramps
                                          each voice's volume) */
#define BASSMOD_MUSIC_SOFTPAN 0x0100u  /* start at 50 % stereo separation instead of 100 %: the hard
                                          left and right channels of Amiga modules are tiring in
                                          headphones */
/* The flags the intro passes: loop + ramp + soft panning, interpolated. */
#define BASSMOD_MUSIC_INTRO (BASSMOD_MUSIC_LOOP | BASSMOD_MUSIC_RAMP | BASSMOD_MUSIC_SOFTPAN)

/* BASSMOD_MusicIsActive results. */
#define BASSMOD_ACTIVE_STOPPED 0
#define BASSMOD_ACTIVE_PLAYING 1
#define BASSMOD_ACTIVE_PAUSED 2

/* Sync types (BASSMOD_MusicSetSync). */
#define BASSMOD_SYNC_POS 1 /* param: position (order, row); an order or row of 0xFFFF matches any.
                              Called with data = the position reached. */
#define BASSMOD_SYNC_END 2 /* param unused. Called at the end of every pass with data = 1 when
                              the music loops on, 0 when it stops. */
#define BASSMOD_SYNC_ONETIME 0x80000000u /* flag: remove the sync after its first call */

/* Called on the audio thread, without the library's lock held: it may call
 * any function but BASSMOD_Init and BASSMOD_Free, and should return quickly. */
typedef void SYNCPROC(HSYNC handle, DWORD data, void* user);

/* Version: BASSMOD_VERSION, also before BASSMOD_Init. */
DWORD BASSMOD_GetVersion(void);
/* Name of output device number `device` (0 .. count-1); -1 names the default.
 * Null when there is no such device. The text stays valid while the library is loaded. */
const char* BASSMOD_GetDeviceDescription(int device);
/* Reason of the latest call's failure, BASSMOD_OK after a success. */
DWORD BASSMOD_ErrorGetCode(void);

/* Opens output `device` (-1 = the default) at `freq` Hz (4000..49170), 16-bit stereo
 * unless BASSMOD_DEVICE_MONO. The output then runs, silent until music plays. */
BOOL BASSMOD_Init(int device, DWORD freq, DWORD flags);
/* Stops and frees the music, closes the output. */
void BASSMOD_Free(void);
/* Share of real time spent mixing, in per cent. */
float BASSMOD_GetCPU(void);
/* Output volume 0..100 (default 100); GetVolume returns (DWORD)-1 on failure. */
DWORD BASSMOD_GetVolume(void);
BOOL BASSMOD_SetVolume(DWORD volume);

/* Loads a module, replacing any loaded one. mem = 0: `file` is a zero-terminated path,
 * `offset` the byte where the module starts, `length` its length (0 = to the end of
 * the file). mem != 0: `file` points at `length` bytes (offset is added to the
 * pointer). The flags are the BASSMOD_MUSIC_* bits. Loaded stopped, at position 0. */
BOOL BASSMOD_MusicLoad(BOOL mem, const void* file, DWORD offset, DWORD length, DWORD flags);
void BASSMOD_MusicFree(void);
/* Module name, or null with nothing loaded; valid until the music is freed. */
const char* BASSMOD_MusicGetName(void);
/* playlen = 0: number of song positions; otherwise the length of one pass in
 * milliseconds. (DWORD)-1 on failure. */
DWORD BASSMOD_MusicGetLength(BOOL playlen);
/* Plays from the current position (resumes a paused or stopped music). */
BOOL BASSMOD_MusicPlay(void);
/* Plays from position `pos` (DWORD)-1 = current), with new `flags` (-1 = keep);
 * reset != 0 silences every channel and restores the initial speed and tempo first. */
BOOL BASSMOD_MusicPlayEx(DWORD pos, int flags, BOOL reset);
/* Amplification 0..100; 50 (the default) is unity, 100 doubles (with clipping). */
BOOL BASSMOD_MusicSetAmplify(DWORD amp);
/* Stereo separation 0..100 (0 = mono, 100 = as the module pans). */
BOOL BASSMOD_MusicSetPanSep(DWORD pan);
/* Resolution of the row in BASSMOD_MusicGetPosition: 1..256 steps per row (default 1). */
BOOL BASSMOD_MusicSetPositionScaler(DWORD scale);
/* BASSMOD_ACTIVE_*; BASSMOD_ACTIVE_STOPPED with nothing loaded. */
DWORD BASSMOD_MusicIsActive(void);
/* Stops; the position stays, BASSMOD_MusicPlay continues from it. */
BOOL BASSMOD_MusicStop(void);
BOOL BASSMOD_MusicPause(void);
BOOL BASSMOD_MusicSetPosition(DWORD pos);
/* Current position: order in the low word, row x scaler (+ the part of the row
 * played, in scaler steps) in the high word; (DWORD)-1 on failure. */
DWORD BASSMOD_MusicGetPosition(void);
/* Returns the sync's handle, 0 on failure. Syncs belong to the loaded music. */
HSYNC BASSMOD_MusicSetSync(DWORD type, DWORD param, SYNCPROC* proc, void* user);
/* After it returns, the sync's procedure is not running and will not run again. */
BOOL BASSMOD_MusicRemoveSync(HSYNC sync);

#ifdef __cplusplus
}
#endif

#endif /* BASSMOD_H */
