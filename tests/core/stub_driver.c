/* A small driver of our own for the instrument's edge cases: it opens anything, answers
   every call with success, and fills each text buffer to its last byte without a
   terminating zero. Built without WITH_SET_MESSAGE it lacks ksm7720_setMessage, the last
   entry point the instrument looks up. It remembers the session it was last asked to
   close, for stub_closed_session. */
#include <stdint.h>
#include <string.h>

#define TEXT_LEN 256

int32_t ksm7720_init(char* name, uint16_t idQuery, uint16_t reset, uint32_t* vi) {
    (void)name, (void)idQuery, (void)reset;
    *vi = 1;
    return 0;
}
int32_t ksm7720_timeOut(uint32_t vi, int32_t ms) {
    return (void)vi, (void)ms, 0;
}

int32_t ksm7720_self_test(uint32_t vi, int16_t* result, char* message) {
    (void)vi;
    *result = -2;
    memset(message, 'S', TEXT_LEN);
    return 0;
}
int32_t ksm7720_reset(uint32_t vi) {
    return (void)vi, 0;
}
int32_t ksm7720_error_query(uint32_t vi, int32_t* code, char* message) {
    (void)vi;
    *code = 0;
    memset(message, 'E', TEXT_LEN);
    return 0;
}
/* Fails for status 1, to show a failed look-up of a text. */
int32_t ksm7720_error_message(uint32_t vi, int32_t status, char* message) {
    (void)vi;
    if (status == 1)
        return -1;
    memset(message, 'M', TEXT_LEN);
    return 0;
}
int32_t ksm7720_getHistogram_Q(uint32_t vi, int16_t code, int16_t part, int32_t* values) {
    (void)vi, (void)code, (void)part;
    for (int i = 0; i < 10; ++i)
        values[i] = i;
    return 0;
}
int32_t ksm7720_resetHistory(uint32_t vi, int16_t code) {
    return (void)vi, (void)code, 0;
}
int32_t ksm7720_setAttribute(uint32_t vi, int32_t a, int32_t v) {
    return (void)vi, (void)a, (void)v, 0;
}
int32_t ksm7720_getAttribute_Q(uint32_t vi, int32_t a, int32_t* v) {
    (void)vi, (void)a;
    *v = 18;
    return 0;
}
int32_t ksm7720_getLevel_Q(uint32_t vi, int16_t code, int16_t which, double* levels) {
    (void)vi, (void)which;
    levels[0] = levels[1] = levels[2] = code;
    return 0;
}
int32_t ksm7720_setLimit(uint32_t vi, int16_t code, double limit) {
    return (void)vi, (void)code, (void)limit, 0;
}
int32_t ksm7720_NVMem(uint32_t vi, int16_t op) {
    return (void)vi, (void)op, 0;
}
static uint32_t closedSession;
int32_t ksm7720_close(uint32_t vi) {
    closedSession = vi;
    return 0;
}
uint32_t stub_closed_session(void) {
    return closedSession;
}
#ifdef WITH_SET_MESSAGE
int32_t ksm7720_setMessage(uint32_t vi, char* text) {
    return (void)vi, (void)text, 0;
}
#endif
