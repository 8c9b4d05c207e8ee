/* The component's C interface: every method of clsSMS for C and for any
 * language with a C foreign-function interface (Python's ctypes, Go, Rust,
 * Node). Plain C; no C++ type crosses it.
 *
 * Strings are UTF-8, in and out. The component's texts are UTF-16: what
 * cannot be written as UTF-8 (a lone surrogate in a terminal's text) is
 * written as its three-byte form (generalised UTF-8), and such bytes read
 * back give the same unit, so a UTF-16 text comes through exactly.
 *
 * Every call that can fail returns 0 on success and the error number on
 * failure (the numbers of mobi/errors.h), and fills *error when error is not
 * NULL. Strings the component returns are the caller's: free them with
 * mobi_free. The threading rules are the class's: every object belongs to
 * the thread that created it, and replies are handled only while that thread
 * waits in a call or runs mobi_do_events. */
#ifndef MOBI_MOBI_H
#define MOBI_MOBI_H

#include <stdint.h>

#include "mobi/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One clsSMS object. */
typedef struct mobi_sms mobi_sms;

/* A failure: its number and description (UTF-8, cut at a whole character). */
typedef struct mobi_error {
  int32_t number;
  char description[512];
} mobi_error;

/* The statuses of mobi_sms_send (enuStatus_Type). */
enum {
  MOBI_TYPE_NO_SEND = 1,
  MOBI_TYPE_SEND_OK = 2,
  MOBI_TYPE_CENTER_OK = 3,
  MOBI_TYPE_CUST_ERROR = 4,
  MOBI_TYPE_CUST_OK = 5,
  MOBI_TYPE_ERROR = 6
};

/* The SMSError event: the terminal's error text, and the pointer given at
 * subscription. Runs on the objects' thread; it may call into the component. */
typedef void (*mobi_sms_error_handler)(const char* text, void* user);

MOBI_API const char* mobi_version(void);
MOBI_API void mobi_free(char* text);

/* NULL on failure (another thread owns the component's objects). */
MOBI_API mobi_sms* mobi_sms_new(mobi_error* error);
/* Closes the shared port; never fails. NULL is allowed. */
MOBI_API void mobi_sms_free(mobi_sms* sms);

/* Opens the port; as the class, it ignores every failure of the port itself. */
MOBI_API int32_t mobi_sms_initialize(mobi_sms* sms, int16_t port, const char* settings,
                                     mobi_error* error);
/* *text: the terminal's check text ("" when none came). */
MOBI_API int32_t mobi_sms_check(mobi_sms* sms, char** text, mobi_error* error);
/* *accepted: 0 only when the terminal answered exactly "ERROR". */
MOBI_API int32_t mobi_sms_set_code(mobi_sms* sms, const char* centre, int* accepted,
                                   mobi_error* error);
MOBI_API int32_t mobi_sms_reset(mobi_sms* sms, mobi_error* error);
/* *status: one of MOBI_TYPE_*. */
MOBI_API int32_t mobi_sms_send(mobi_sms* sms, const char* tel, const char* data, int32_t* status,
                               mobi_error* error);
MOBI_API int32_t mobi_sms_signal(mobi_sms* sms, int16_t* level, mobi_error* error);
MOBI_API int32_t mobi_sms_at_send(mobi_sms* sms, const char* command, mobi_error* error);
/* *subscription: what mobi_sms_unsubscribe_error takes. */
MOBI_API int32_t mobi_sms_subscribe_error(mobi_sms* sms, mobi_sms_error_handler handler, void* user,
                                          uint64_t* subscription, mobi_error* error);
MOBI_API int32_t mobi_sms_unsubscribe_error(mobi_sms* sms, uint64_t subscription,
                                            mobi_error* error);

/* A late delivery report: one that came after mobi_sms_send returned without
 * it, while the thread handled what arrived (mobi_do_events, or a later
 * call). `destination` is the number the report names (at most 11
 * characters), `status` MOBI_TYPE_CUST_OK or MOBI_TYPE_CUST_ERROR, `user` the
 * pointer given at subscription. Runs on the objects' thread. */
typedef void (*mobi_sms_report_handler)(const char* destination, int32_t status, void* user);

/* *subscription: what mobi_sms_unsubscribe_report takes. */
MOBI_API int32_t mobi_sms_subscribe_report(mobi_sms* sms, mobi_sms_report_handler handler,
                                           void* user, uint64_t* subscription, mobi_error* error);
MOBI_API int32_t mobi_sms_unsubscribe_report(mobi_sms* sms, uint64_t subscription,
                                             mobi_error* error);

/* Port n opens this device (mobi::SetPortDevice). */
MOBI_API int32_t mobi_set_port_device(int port, const char* path, mobi_error* error);
/* Handles what has arrived (mobi::DoEvents). */
MOBI_API int32_t mobi_do_events(mobi_error* error);
/* Readable when mobi_do_events has work (mobi::EventFd). */
MOBI_API int mobi_event_fd(void);
/* The standard text of an error number ("Unknown error" for a number the
 * component does not use). */
MOBI_API const char* mobi_error_text(int32_t number);

#ifdef __cplusplus
}
#endif

#endif /* MOBI_MOBI_H */
