/* The component from C, through mobi/mobi.h, against the terminal on the
 * device given (mobi-terminal --error-text "LOW BALANCE"): every function of
 * the C interface once, then one line of what came back. */
#include <mobi/mobi.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>

struct seen {
  int count;
  char last[64];
};

static void on_error(const char* text, void* user) {
  struct seen* s = (struct seen*)user;
  s->count++;
  snprintf(s->last, sizeof s->last, "%s", text);
}

/* Late delivery reports: the send's own report comes within its wait, so
 * none is expected here. */
static void on_report(const char* destination, int32_t status, void* user) {
  (void)destination;
  (void)status;
  ++*(int*)user;
}

static int failed(const char* what, int32_t rc, const mobi_error* e) {
  fprintf(stderr, "consumer_c: %s: error %d: %s\n", what, (int)rc, e->description);
  return 1;
}

int main(int argc, char** argv) {
  mobi_error e;
  struct seen seen = {0, ""};
  char* check = NULL;
  int accepted = 0;
  int16_t level = 0;
  int32_t status = 0, sent = 0, rc;
  uint64_t subscription = 0, reports = 0;
  int late = 0;
  mobi_sms* sms;
  if (argc != 2) {
    fprintf(stderr, "usage: consumer_c DEVICE\n");
    return 2;
  }
  if (mobi_version()[0] == '\0' || strcmp(mobi_error_text(8020), "Error reading comm device"))
    return failed("version or error text", 0, &e);
  if ((rc = mobi_set_port_device(1, argv[1], &e))) return failed("set_port_device", rc, &e);
  if (!(sms = mobi_sms_new(&e))) return failed("new", e.number, &e);
  if ((rc = mobi_sms_subscribe_error(sms, on_error, &seen, &subscription, &e)))
    return failed("subscribe", rc, &e);
  if ((rc = mobi_sms_subscribe_report(sms, on_report, &late, &reports, &e)))
    return failed("subscribe_report", rc, &e);
  if ((rc = mobi_sms_initialize(sms, 1, "9600,n,8,1", &e))) return failed("initialize", rc, &e);
  if ((rc = mobi_sms_check(sms, &check, &e))) return failed("check", rc, &e);
  if ((rc = mobi_sms_set_code(sms, "+8613800290500", &accepted, &e)))
    return failed("set_code", rc, &e);
  if ((rc = mobi_sms_signal(sms, &level, &e))) return failed("signal", rc, &e);
  /* Chinese and a character beyond the BMP (a surrogate pair inside). */
  if ((rc = mobi_sms_send(sms, "13800138000", "\xE4\xBD\xA0\xE5\xA5\xBD \xF0\x9F\x98\x80", &sent,
                          &e)))
    return failed("send", rc, &e);
  /* Failures: bytes that are not UTF-8, and an empty number. */
  int32_t bad = mobi_sms_send(sms, "13800138000", "\xC3(", &status, &e);
  int bad_named = bad == 380 && strstr(e.description, "not UTF-8") != NULL;
  int32_t empty = mobi_sms_send(sms, "", "x", &status, NULL);
  if ((rc = mobi_sms_unsubscribe_error(sms, subscription, &e)))
    return failed("unsubscribe", rc, &e);
  if ((rc = mobi_sms_unsubscribe_report(sms, reports, &e)))
    return failed("unsubscribe_report", rc, &e);
  if ((rc = mobi_sms_at_send(sms, "AT", &e))) return failed("at_send", rc, &e);
  if ((rc = mobi_sms_reset(sms, &e))) return failed("reset", rc, &e);
  struct pollfd p = {mobi_event_fd(), POLLIN, 0};
  if (p.fd < 0 || poll(&p, 1, 0) < 0) return failed("event_fd", 0, &e);
  if ((rc = mobi_do_events(&e))) return failed("do_events", rc, &e);
  printf("check=%s code=%d signal=%d send=%d errors=%d:%s bad=%d:%d empty=%d late=%d\n", check,
         accepted, (int)level, (int)sent, seen.count, seen.last, (int)bad, bad_named, (int)empty,
         late);
  mobi_free(check);
  mobi_sms_free(sms);
  return 0;
}
