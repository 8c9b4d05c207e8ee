/* ProjSmsDLL: sends and receives SMS through a GSM modem on a serial port.
 *
 * Five entries, called by name. Conventions:
 *  - long: int32_t. Boolean result: int32_t, 1 for true and 0 for false.
 *  - Texts are NUL-terminated byte strings in code page 936 (GBK).
 *  - A by-reference text is a writable buffer with room for 500 bytes and the
 *    NUL; the library writes at most 500 bytes (cut on a character boundary)
 *    and the NUL. On success the error text is set to the empty text.
 *  - 32-bit Windows: __stdcall with undecorated names (hs_open_device, not
 *    _hs_open_device@24). Elsewhere the platform's C calling convention.
 */
#ifndef PROJSMSDLL_H
#define PROJSMSDLL_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define PROJSMSDLL_CALL __stdcall
#else
#define PROJSMSDLL_CALL
#endif

#if defined(_WIN32)
#define PROJSMSDLL_API /* exported through ProjSmsDLL.def */
#else
#define PROJSMSDLL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Room of every by-reference text, without the NUL. */
#define PROJSMSDLL_TEXT_BYTES 500

/* Opens serial port `comport` at `icb_baud` bit/s and starts the modem on it
 * in PDU mode, or in text mode when the modem has no PDU mode (the error text
 * names both answers when it has neither); sets the service centre when
 * `csca` is not empty. Writes the device handle
 * to *dllhandle. A device already open is closed first. `ahandle` is the
 * caller's window, owner of the form of DLLFormShow. */
PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_open_device(int32_t ahandle, int32_t comport,
                                                      int32_t icb_baud, const char* csca,
                                                      int32_t* dllhandle, char* errorstring);

/* Closes the open device when `dllhandle` is its handle and `comport` its port. */
PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_close_device(int32_t comport, int32_t dllhandle,
                                                       char* err);

/* Fetches the received message with the lowest storage index from the open
 * device and deletes it there (in PDU mode a concatenated message is put
 * together from all its parts, which are all deleted): its text (cut to 500
 * bytes on a whole character), the service centre's time stamp
 * ("2026-12-08 19:10:00 +08:00"), the local time of the fetch
 * ("2026-12-08 19:12:31") and the sender's number. With no message stored the
 * result is false ("no received message ...") and the four texts are empty. */
PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_get_onemessage(char* messages, char* sdatetimes,
                                                         char* rdatetimes, char* phonenumber,
                                                         char* errorstring);

/* Sends one message through the open device. `mode` 1: GSM 7-bit when every
 * character has a place in the GSM alphabet, else UCS2; `mode` 2: always
 * UCS2. A text longer than one SMS (160 GSM characters, 70 UCS2) goes as a
 * concatenated message of up to 16 parts (153 GSM or 67 UCS2 characters
 * each). A non-empty `csca` that differs from the service centre set at open
 * is set first. */
PROJSMSDLL_API int32_t PROJSMSDLL_CALL hs_send_onemessage(const char* csca, const char* messages,
                                                          const char* phonenumber, int32_t mode,
                                                          char* errorstring);

/* Shows the library's form: version, the open device, the modem, the outcome
 * of the last call. Never writes into its argument (which may have no room). */
PROJSMSDLL_API int32_t PROJSMSDLL_CALL DLLFormShow(char* l_err);

/* Types for callers that bind the entries by name. */
typedef int32_t(PROJSMSDLL_CALL* hs_open_device_fn)(int32_t, int32_t, int32_t, const char*,
                                                    int32_t*, char*);
typedef int32_t(PROJSMSDLL_CALL* hs_close_device_fn)(int32_t, int32_t, char*);
typedef int32_t(PROJSMSDLL_CALL* hs_get_onemessage_fn)(char*, char*, char*, char*, char*);
typedef int32_t(PROJSMSDLL_CALL* hs_send_onemessage_fn)(const char*, const char*, const char*,
                                                        int32_t, char*);
typedef int32_t(PROJSMSDLL_CALL* DLLFormShow_fn)(char*);

#ifdef __cplusplus
}
#endif

#endif /* PROJSMSDLL_H */
