/*
 * board.h - register map and helpers of the sensor node board (Cortex-M0 class MCU).
 */
#ifndef BOARD_H
#define BOARD_H

#include <stdint.h>
#include <stddef.h>

#define CPU_CLOCK_HZ      48000000ul
#define SYSTICK_PERIOD_MS 1u

typedef struct
{
    volatile uint32_t SR;
    volatile uint32_t DR;
    volatile uint32_t BRR;
    volatile uint32_t CR1;
} UartRegs;

typedef struct
{
    volatile uint32_t CR;
    volatile uint32_t CHSELR;
    volatile uint32_t DR;
    volatile uint32_t ISR;
} AdcRegs;

#define UART1 ((UartRegs *)0x40013800ul)
#define ADC1  ((AdcRegs *)0x40012400ul)
#define GPIOA_ODR (*(volatile uint32_t *)0x48000014ul)

#define UART_SR_RXNE 0x20u
#define UART_SR_TXE  0x80u
#define ADC_ISR_EOC  0x04u
#define LED_PIN      (1u << 5)

#ifdef DEBUG
#include <stdio.h>
#define DBG_PRINT(...) printf(__VA_ARGS__)
#else
#define DBG_PRINT(...) ((void)0)
#endif

void Board_Init(void);
void Board_IrqLock(void);
void Board_IrqUnlock(void);
void Board_Sleep(void);
void Board_ToggleLed(void);

#endif /* BOARD_H */
