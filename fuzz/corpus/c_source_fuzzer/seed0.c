/*
 * serial.c - the UART of the logger board.
 */
#include "serial.h"

static void Serial_Putc(char c);

static volatile unsigned char *const uart = (unsigned char *)0x4000;

void Serial_Open(baud)
    long baud;
{
    uart[1] = (unsigned char)(baud / 9600);
}

void Serial_Puts(const char *s)
    {
    while (*s)
        Serial_Putc(*s++);
    }

static void Serial_Putc(char c) { uart[0] = (unsigned char)c; }

void Serial_Close(void) {
    Serial_Puts("// bye"); // a comment marker inside a string
}
