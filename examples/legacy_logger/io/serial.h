/* serial.h - the UART of the legacy logger example. */
#ifndef SERIAL_H
#define SERIAL_H

#define SERIAL_BAUD 115200L

void Serial_Open();
void Serial_Puts(const char *s);
void Serial_Close(void);

#endif
