/*
 * uart.c - UART1 driver. Received bytes are handed to the protocol layer
 * from interrupt context; the protocol layer queues complete frames.
 */
#include "board.h"
#include "uart.h"
#include "../comm/protocol.h"

static uint32_t rxOverruns;

void Uart_Init(uint32_t baud)
{
    UART1->CR1 = 0u;
    UART1->BRR = (uint32_t)(CPU_CLOCK_HZ / baud);
    UART1->CR1 = 0x2Du;   /* UE | RE | TE | RXNEIE */
    rxOverruns = 0u;
}

void Uart_PutChar(uint8_t c)
{
    while ((UART1->SR & UART_SR_TXE) == 0u) {
        /* wait for the transmit register */
    }
    UART1->DR = c;
}

void Uart_Write(const uint8_t *buf, uint16_t len)
{
    uint16_t i;

    DBG_PRINT("Uart_Write(%u bytes)\n", len);
    for (i = 0u; i < len; i++) {
        Uart_PutChar(buf[i]);
    }
}

void Uart_RxIsr(void)
{
    uint32_t sr = UART1->SR;

    if ((sr & UART_SR_RXNE) != 0u) {
        Proto_Feed((uint8_t)UART1->DR);
    } else {
        rxOverruns++;
    }
}

void USART1_IRQHandler(void)
{
    Uart_RxIsr();
}
