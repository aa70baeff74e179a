/*
 * Marovex: the lane server client of a toll lane's equipment controller.
 *
 * docs/operations.md is the reference of every function: the request members, the commands
 * sent, the outputs and the result codes, with an example of each.
 *
 * Every function may be called from any thread, also from several threads at once. Texts are
 * NUL-terminated 8-bit strings passed through unchanged. The JSON texts the library writes itself
 * are indented, with members sorted by name; the outputs of SendNonCashPay, StopNonCashPay,
 * ListUpLoad, ListQuery, BlackListQuery and QueryTransDetail are the lane server's answers as
 * received.
 *
 * Output buffers: `out` is the caller's buffer and *pLen is the total size of the buffer,
 * including space for the zero terminator. An output of length n fits when n < *pLen (a *pLen of
 * zero or below never fits, not even an empty output). When it does not fit, the function keeps
 * the output for the calling thread, sets *pLen to the needed capacity (n + 1) and returns
 * MAROVEX_STASHED; the caller then enlarges its buffer and fetches the output on the same thread
 * with GetResponse. A later overflow on the same thread replaces an output not yet fetched. The
 * operations leave *pLen unchanged when the output fits; Init sets it to n + 1 in both cases.
 * On MAROVEX_EXCEPTION and MAROVEX_NO_SESSION `out` is left untouched. A lane server's own
 * "ErrorCode" comes back as the result even when it equals one of the codes below (a server's 5
 * leaves *pLen unchanged and fills out).
 *
 * Null pointers: a null `out` or `pLen` (and, for GetResponse, a null `code`) makes the function
 * return MAROVEX_EXCEPTION at once without doing anything: no lane is looked up, nothing is
 * logged, nothing is written, no stash is changed. A null `input` is taken as the empty text,
 * which the operations that read their request reject as not being JSON (result 3).
 */
#ifndef MAROVEX_H
#define MAROVEX_H

#if defined(_WIN32)
#define MAROVEX_CALL __stdcall
#if defined(MAROVEX_BUILDING_LIBRARY)
#define MAROVEX_API __declspec(dllexport)
#else
#define MAROVEX_API __declspec(dllimport)
#endif
#else
#define MAROVEX_CALL
#if defined(MAROVEX_BUILDING_LIBRARY)
#define MAROVEX_API __attribute__((visibility("default")))
#else
#define MAROVEX_API
#endif
#endif

/* Result codes of the boundary. An operation may also return its own result (see below). */
#define MAROVEX_OK 0              /* success */
#define MAROVEX_INIT_FAILED (-1)  /* Init: configuration rejected or a lane failed to start; the
                                     output holds the reason */
#define MAROVEX_NOTHING_STASHED 3 /* GetResponse: no output is kept for this thread */
#define MAROVEX_STASHED 5         /* the output did not fit; *pLen holds the needed capacity and
                                     GetResponse on the same thread delivers it */
#define MAROVEX_EXCEPTION 999     /* the call failed inside (or got a null pointer); nothing was
                                     returned through out */
#define MAROVEX_NO_SESSION 1000   /* no running session for the lane number; nothing was done */

/* Results an operation returns from its lane session: 0 success, 1 the device channel is busy,
   2 no answer before the time-out, 3 the request was rejected (not JSON, a required member
   missing or invalid), 4 an intermediate answer of a two-step read was unusable, 6 the request
   could not be written, 998 the server's "ErrorCode" was not a number, any other value the
   server's "ErrorCode". */

#ifdef __cplusplus
extern "C" {
#endif

/* Reads EtcConfig/Marovex.ini below the current working directory and starts every configured
   lane. Output: the lanes read (a JSON array) with 0, or the reason with MAROVEX_INIT_FAILED. May
   be called again; lanes that start replace the running ones. */
MAROVEX_API int MAROVEX_CALL Init(char* out, int* pLen);

/* Stops every running lane; 0. May be called without Init and any number of times; afterwards
   every operation returns MAROVEX_NO_SESSION until the next Init. */
MAROVEX_API int MAROVEX_CALL Uninit(void);

/* Delivers the output this thread kept after a MAROVEX_STASHED result: *code receives the result
   of the call that kept it, out the text; returns 0 (and leaves *pLen alone), MAROVEX_STASHED
   again when the buffer is still too small, or MAROVEX_NOTHING_STASHED. */
MAROVEX_API int MAROVEX_CALL GetResponse(int* code, char* out, int* pLen);

/* The lane operations: `lane` is the LaneNo of a configured lane, `input` the JSON request. */
MAROVEX_API int MAROVEX_CALL ReaderRead(int lane, const char* input, char* out, int* pLen);
MAROVEX_API int MAROVEX_CALL ReaderWrite(int lane, const char* input, char* out, int* pLen);
MAROVEX_API int MAROVEX_CALL RSURead(int lane, const char* input, char* out, int* pLen);
MAROVEX_API int MAROVEX_CALL RSUWrite(int lane, const char* input, char* out, int* pLen);
MAROVEX_API int MAROVEX_CALL ETCStatusQuery(int lane, const char* input, char* out, int* pLen);
MAROVEX_API int MAROVEX_CALL SendNonCashPay(int lane, const char* input, char* out, int* pLen);
MAROVEX_API int MAROVEX_CALL StopNonCashPay(int lane, const char* input, char* out, int* pLen);
MAROVEX_API int MAROVEX_CALL ListUpLoad(int lane, const char* input, char* out, int* pLen);
MAROVEX_API int MAROVEX_CALL BlackListQuery(int lane, const char* input, char* out, int* pLen);
MAROVEX_API int MAROVEX_CALL ListQuery(int lane, const char* input, char* out, int* pLen);
MAROVEX_API int MAROVEX_CALL QueryTransDetail(int lane, const char* input, char* out, int* pLen);

/* The function types, for programs that load the library at run time and bind by name. */
typedef int(MAROVEX_CALL* MarovexInitFn)(char* out, int* pLen);
typedef int(MAROVEX_CALL* MarovexUninitFn)(void);
typedef int(MAROVEX_CALL* MarovexGetResponseFn)(int* code, char* out, int* pLen);
typedef int(MAROVEX_CALL* MarovexOperationFn)(int lane, const char* input, char* out, int* pLen);

#ifdef __cplusplus
}
#endif

#endif /* MAROVEX_H */
