/*
 * uart.h - polled transmit, interrupt driven receive.
 */
#ifndef UART_H
#define UART_H

#include <stdint.h>

#define UART_BAUD_115200 115200ul

void Uart_Init(uint32_t baud);
void Uart_PutChar(uint8_t c);
void Uart_Write(const uint8_t *buf, uint16_t len);
void Uart_RxIsr(void);

#endif /* UART_H */
