/* The C interface of the remote conform library "TyvRemoteClient.dll" ("libTyvRemoteClient.so"
 * on this system), which a conform loads by name to hand its ranges to an outside conform and
 * filing system. Texts are zero-terminated; the project client is an int handle that the
 * create call fills (0 = none); a message slot is where the library may leave a text for the
 * caller, which the conform never reads. Positions are frames. */
#ifndef TREVANNY_TYV_REMOTE_CLIENT_H
#define TREVANNY_TYV_REMOTE_CLIENT_H

#ifdef __cplusplus
extern "C" {
#endif

#define TYV_MESSAGE_SIZE 256
typedef struct TyvMessage {
    char text[TYV_MESSAGE_SIZE];
} TyvMessage;

/* Entry points that are called. */
int fnCreateTyvProjectClient(int* client, const char* serverName, TyvMessage* message);
int fnDestroyTyvProjectClient(int client);
int fnSetSystemSampleRate(int client, const char* sampleRate, TyvMessage* message);
int fnSetSystemFrameRate(int client, const char* rateCode, int dropFrame, TyvMessage* message);
int fnInitiateReconform(int client);
int fnAddConformEntry(int client, int track, int sourceIn, int sourceOut, int destinationIn, int destinationOut,
                      TyvMessage* message);
int fnDoTheConform(int client, TyvMessage* message);

/* Entry points that are looked up but not called. */
int fnCreateTyvControlClient(void);
int fnDestroyTyvControlClient(void);
int fnCreateTyvMeteringClient(void);
int fnDestroyTyvMeteringClient(void);
int fnCreateTyvThinEditClient(void);
int fnDestroyTyvThinEditClient(void);
int fnCreateTyvFullEditClient(void);

typedef int (*PFN_TyvCreateProjectClient)(int*, const char*, TyvMessage*);
typedef int (*PFN_TyvDestroyProjectClient)(int);
typedef int (*PFN_TyvSetSystemSampleRate)(int, const char*, TyvMessage*);
typedef int (*PFN_TyvSetSystemFrameRate)(int, const char*, int, TyvMessage*);
typedef int (*PFN_TyvInitiateReconform)(int);
typedef int (*PFN_TyvAddConformEntry)(int, int, int, int, int, int, TyvMessage*);
typedef int (*PFN_TyvDoTheConform)(int, TyvMessage*);
typedef int (*PFN_TyvUnused)(void);

#ifdef __cplusplus
}
#endif

#endif
