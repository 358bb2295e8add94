/*
 * logger.c - a ring of log records, written as the old code base has it:
 * return types on their own line, K&R headers, "){" on the header line.
 * Functions named in comments, such as Log_Drop(), are not calls.
 */
#include "logger.h"
#include "../io/serial.h"

static const char *ring[LOG_SLOTS];
static int head, tail;

static int
Log_Next(index)
    int index;
{
    return (index + 1) % LOG_SLOTS;
}

int Log_Write(int level,
              const char *text){
    if (level < LOG_LEVEL)
        return 0;  /* Log_Drop(text) would go here */
    ring[head] = text;
    head = Log_Next(head);
    if (head == tail) Log_Flush();
    return 1;
}

void
Log_Flush(void)
{
    while (tail != head) {
        Serial_Puts(ring[tail]); Serial_Puts("\r\n");
        tail = Log_Next(tail);
    }
}

#if 0
/* The first flush, kept for reference; never built. */
void Log_FlushOld(void)
{
    Serial_Puts(ring[0]);
}
#endif
