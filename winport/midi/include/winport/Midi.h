// Multimedia MIDI: input and output devices under their Windows names (midiIn*, midiOut*).
//
// The devices come from the current MIDI backend (MidiBackend.h): the ALSA sequencer, JACK or
// the in-process loopback. Devices are numbered in a stable order (sorted by name), the
// program's own ports are left out, and names are at most 31 characters and distinct.
//
// Input callbacks (CALLBACK_FUNCTION) run on a thread of the open device, one call at a time,
// never on the thread that called midiIn*: MIM_OPEN first, then MIM_DATA (short messages, with
// the milliseconds since midiInStart), MIM_LONGDATA (a buffer given back, full, ended by 0xF7,
// or empty after midiInReset), MIM_LONGERROR (a system-exclusive message broken off) and
// MIM_ERROR (stray data bytes), and MIM_CLOSE last, before midiInClose returns. From the
// callback a program may add buffers, reset and stop the device, and send on output devices;
// what midiInReset gives back from there arrives after the callback returns. midiInClose from
// the callback is refused. The functions are safe from any thread.
#pragma once

#include "winport/WinTypes.h"

#define DECLARE_WINPORT_MIDI_HANDLE(name) struct name##__ { int unused; }; typedef struct name##__* name
DECLARE_WINPORT_MIDI_HANDLE(HMIDIIN);
DECLARE_WINPORT_MIDI_HANDLE(HMIDIOUT);
#undef DECLARE_WINPORT_MIDI_HANDLE
typedef HMIDIIN* LPHMIDIIN;
typedef HMIDIOUT* LPHMIDIOUT;
typedef UINT MMRESULT;
typedef UINT MMVERSION;

#define MMSYSERR_NOERROR 0u
#define MMSYSERR_ERROR 1u
#define MMSYSERR_BADDEVICEID 2u
#define MMSYSERR_NOTENABLED 3u
#define MMSYSERR_ALLOCATED 4u
#define MMSYSERR_INVALHANDLE 5u
#define MMSYSERR_NODRIVER 6u
#define MMSYSERR_NOMEM 7u
#define MMSYSERR_NOTSUPPORTED 8u
#define MMSYSERR_BADERRNUM 9u
#define MMSYSERR_INVALFLAG 10u
#define MMSYSERR_INVALPARAM 11u
#define MIDIERR_UNPREPARED 64u
#define MIDIERR_STILLPLAYING 65u
#define MIDIERR_NOMAP 66u
#define MIDIERR_NOTREADY 67u
#define MIDIERR_NODEVICE 68u
#define MIDIERR_INVALIDSETUP 69u
#define MIDIERR_BADOPENMODE 70u
#define MIDIERR_DONT_CONTINUE 71u

#define MIM_OPEN 0x3C1u
#define MIM_CLOSE 0x3C2u
#define MIM_DATA 0x3C3u
#define MIM_LONGDATA 0x3C4u
#define MIM_ERROR 0x3C5u
#define MIM_LONGERROR 0x3C6u
#define MIM_MOREDATA 0x3CCu

#define CALLBACK_NULL 0x00000000u
#define CALLBACK_WINDOW 0x00010000u
#define CALLBACK_THREAD 0x00020000u
#define CALLBACK_FUNCTION 0x00030000u
#define CALLBACK_EVENT 0x00050000u

#define MHDR_DONE 0x00000001u
#define MHDR_PREPARED 0x00000002u
#define MHDR_INQUEUE 0x00000004u

#define MAXPNAMELEN 32
#define MOD_MIDIPORT 1
#define MAXERRORLENGTH 256

struct MIDIHDR {
    LPSTR lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    DWORD dwFlags;
    MIDIHDR* lpNext;
    DWORD_PTR reserved;
    DWORD dwOffset;
    DWORD_PTR dwReserved[8];
};
typedef MIDIHDR* LPMIDIHDR;

struct MIDIINCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    DWORD dwSupport;
};
typedef MIDIINCAPSA* LPMIDIINCAPSA;

struct MIDIOUTCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    CHAR szPname[MAXPNAMELEN];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
};
typedef MIDIOUTCAPSA* LPMIDIOUTCAPSA;

typedef void (*MIDIINPROC)(HMIDIIN hMidiIn, UINT wMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1, DWORD_PTR dwParam2);

UINT midiInGetNumDevs();
MMRESULT midiInGetDevCapsA(UINT_PTR uDeviceID, LPMIDIINCAPSA pmic, UINT cbmic);
/// CALLBACK_FUNCTION (dwCallback a MIDIINPROC) or CALLBACK_NULL; other kinds MMSYSERR_INVALFLAG.
MMRESULT midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen);
/// MIDIERR_STILLPLAYING while buffers are queued; refused (MMSYSERR_ERROR) from the callback.
MMRESULT midiInClose(HMIDIIN hmi);
MMRESULT midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiInStart(HMIDIIN hmi);
MMRESULT midiInStop(HMIDIIN hmi);
/// Stops input and gives every queued buffer back (MIM_LONGDATA) before it returns.
MMRESULT midiInReset(HMIDIIN hmi);
MMRESULT midiInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText);

UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, LPMIDIOUTCAPSA pmoc, UINT cbmoc);
/// CALLBACK_NULL only.
MMRESULT midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT midiOutClose(HMIDIOUT hmo);
/// One message packed status | data1 << 8 | data2 << 16 (running status allowed).
MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg);
/// Sends a note-off for every note that this handle left sounding.
MMRESULT midiOutReset(HMIDIOUT hmo);
MMRESULT midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
/// MMSYSERR_NOERROR also for a header that was never prepared.
MMRESULT midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh);
MMRESULT midiOutGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText);
